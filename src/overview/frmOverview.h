// The Auction Overview window: standings of the open auction's bids round by round, in tables and charts.
//
// Threads: the window, its models and charts belong to the user-interface thread. The bids come from the
// session's AuctionBids, which reads them; every computation from them runs on the global thread pool, a
// chart's points included. A job gets copies and shared read-only data (the BidHistory), never the window,
// and reports back through a QFutureWatcher owned by the window. A result asked for before a newer one is
// dropped when it arrives. The news of new bids may come on any thread: the window posts it to itself. The
// window ends with the auction.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "overview/OverviewCharts.h"
#include "report/WatchList.h"
#include "standings/AuctionBids.h"
#include "standings/Standings.h"
#include "store/Auction.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableView;

namespace corv::overview {

class AlertLogPage;
class ChartPane;
class ChangesPage;
class EligibilityPage;
class MarketsModel;
class PacePage;
class BiddersModel;
class OverviewFilter;

class frmOverview : public QWidget, public store::AuctionListener {
    Q_OBJECT
  public:
    // session must have an auction open; bids listens to it.
    frmOverview(store::AuctionSession& session, standings::AuctionBids& bids, QWidget* parent = nullptr);
    ~frmOverview() override;

    // Whether a job is under way, the bids' reading included.
    bool Busy() const;
    // The round shown; 0 before any.
    int ShownRound() const { return shown_ ? shown_->round : 0; }
    const standings::RoundStandings* Shown() const { return shown_.get(); }
    const standings::BidHistory* History() const { return history_.get(); }
    // Shows round's standings and the alerts (a notification's "Show"); a round not read yet is shown once
    // it is.
    void ShowRound(int round);
    // Which chart the Charts tab shows.
    enum class ChartKind { Total, Market, Bidder };
    ChartKind ShownChart() const { return chartKind_; }

    QLabel* lblProblem;
    QComboBox* cboRound;
    QRadioButton* optGross;
    QRadioButton* optNet;
    // The market data the $/MHz-pop figures come from; hidden without any.
    QComboBox* cboMarketData;
    QLineEdit* txtFilter;
    QPushButton* cmdExportReport;
    QTabWidget* tabs;
    QTableView* grdMarkets;
    QTableView* grdBidders;
    QLabel* lblTotals;
    ChangesPage* changesPage;
    EligibilityPage* eligibilityPage;
    PacePage* pacePage;
    ChartPane* charts;
    AlertLogPage* alertsPage;
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

  private:
    template <class Result>
    void Run(std::function<Result()> work, std::function<void(Result&)> done);
    // Takes the bids' newest state.
    void BidsChanged();
    void ShowHistory(const standings::BidsSnapshot& bids);
    // The market data tables to choose from, the one chosen last for this auction first.
    void ShowMarketDataChoices();
    void Compute();
    // The Changes tab alone, when another round to compare with is chosen.
    void ComputeChanges();
    void ShowChart(ChartKind kind, std::int32_t which);
    // sentence above the tables; without tables: nothing to show.
    void ShowNote(const QString& sentence, bool tables);
    void EndWithAuction();
    // "Watch…" in the table's context menu: the watch list opened with a rule made from the current row.
    void AddWatchEntry(QTableView* view, std::function<report::WatchRule(const QModelIndex&)> ruleOf);
    standings::Measure ChosenMeasure() const;
    int ChosenRound() const;

    store::AuctionSession* session_;
    standings::AuctionBids* bids_;
    int listening_ = 0;
    std::uint64_t seen_ = 0;  // the version of the bids shown
    std::shared_ptr<const standings::BidHistory> history_;
    std::vector<int> rounds_;
    std::shared_ptr<const standings::UserTables> tables_;
    std::string settingsKey_;  // the auction's canonical path
    std::shared_ptr<const standings::RoundStandings> shown_;
    ChartData totalChart_;  // of the round shown
    int jobs_ = 0;
    unsigned computeAsked_ = 0, chartAsked_ = 0, changesAsked_ = 0;
    ChartKind chartKind_ = ChartKind::Total;
    std::int32_t chartOf_ = 0;
    int wantedRound_ = 0;  // asked for by ShowRound before the bids held it
};

}  // namespace corv::overview
