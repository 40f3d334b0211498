// The Auction Overview window: standings of the open auction's bids round by round, in tables and charts.
//
// Threads: the window, its models and charts belong to the user-interface thread. Reading the bids and every
// computation from them run on the global thread pool, a chart's points included; a job gets copies and
// shared read-only data (the standings::BidHistory), never the window, and reports back through a
// QFutureWatcher owned by the window. A result asked for before a newer one is dropped when it arrives. The
// window follows the session's news, and ends with the auction.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "overview/OverviewCharts.h"
#include "standings/BidReader.h"
#include "standings/Standings.h"
#include "store/Auction.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace corv::overview {

class ChartPane;
class MarketsModel;
class BiddersModel;
class OverviewFilter;

class frmOverview : public QWidget, public store::AuctionListener {
    Q_OBJECT
  public:
    // session must have an auction open.
    explicit frmOverview(store::AuctionSession& session, QWidget* parent = nullptr);
    ~frmOverview() override;

    // Whether a job is under way.
    bool Busy() const { return jobs_ > 0; }
    // The round shown; 0 before any.
    int ShownRound() const { return shown_ ? shown_->round : 0; }
    const standings::RoundStandings* Shown() const { return shown_.get(); }
    const standings::BidHistory* History() const { return history_.get(); }
    // Which chart the Charts tab shows.
    enum class ChartKind { Total, Market, Bidder };
    ChartKind ShownChart() const { return chartKind_; }

    QLabel* lblProblem;
    QComboBox* cboRound;
    QRadioButton* optGross;
    QRadioButton* optNet;
    QLineEdit* txtFilter;
    QTabWidget* tabs;
    QTableView* grdMarkets;
    QTableView* grdBidders;
    QLabel* lblTotals;
    ChartPane* charts;
    MarketsModel* markets;
    BiddersModel* bidders;
    OverviewFilter* marketsShown;
    OverviewFilter* biddersShown;

  signals:
    // A round's standings are on screen.
    void RoundShown(int round);
    // A market's or a bidder's chart is on screen.
    void ChartShown();

  protected:
    void AuctionOpened(store::Auction& auction) override;
    void AuctionClosed() override;
    void RoundImported(store::Auction& auction, int round) override;

  private:
    template <class Result>
    void Run(std::function<Result()> work, std::function<void(Result&)> done);
    // rounds empty: everything; else the rounds newly imported.
    void Load(const std::vector<int>& rounds);
    void Loaded(standings::LoadedAuction& loaded);
    void Compute();
    void ShowChart(ChartKind kind, std::int32_t which);
    void ShowProblem(const QString& sentence);
    void EndWithAuction();
    standings::Measure ChosenMeasure() const;
    int ChosenRound() const;

    store::AuctionSession* session_;
    std::string path_;
    bool readInPlace_ = false;  // a Jet auction lives in memory: it is read on this thread
    std::shared_ptr<const standings::BidHistory> history_;
    std::vector<int> rounds_;
    std::shared_ptr<const standings::RoundStandings> shown_;
    ChartData totalChart_;  // of the round shown
    int jobs_ = 0;
    bool loading_ = false;
    std::vector<int> pending_;  // rounds imported while a load ran
    unsigned computeAsked_ = 0, chartAsked_ = 0;
    ChartKind chartKind_ = ChartKind::Total;
    std::int32_t chartOf_ = 0;
};

}  // namespace corv::overview
