// The tables of the Markets tab and the Bidders tab: models over one round's standings, and the filter and
// sort over them. User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <memory>

#include "standings/Standings.h"

namespace corv::overview {

// The raw value a column sorts by: numbers as numbers, text without regard to letter case.
constexpr int kSortRole = Qt::UserRole + 1;

// Whether an amount shows cents: only when it has any.
bool HasCents(double amount);
// An amount with thousands separators and that many decimals.
QString FormatAmount(double amount, int decimals);
// The same with cents only when there are any.
QString FormatAmount(double amount);
// The same with a plus sign when above 0.
QString FormatSigned(double amount, int decimals);
// A percentage with two decimals, so that a small rise does not show as nothing.
QString FormatPercent(double percent);
// A price per MHz-pop: four decimals, as the press quotes it.
QString FormatPrice(double price);
// A block as shown: blank for the two-space block of a market sold whole.
QString ShownBlock(const std::string& block);
// The marks of a market's row: the leader changed in the round, or a new high bid was placed.
QIcon LeaderChangedIcon();
QIcon NewHighIcon();

// One round's standings as a table; the tabs differ in which rows and columns they show.
class StandingsModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;
    void Set(std::shared_ptr<const standings::BidHistory> history,
             std::shared_ptr<const standings::RoundStandings> shown);

  protected:
    // Without market data the $/MHz-pop column, the last, is not there.
    int ColumnsShown(int columns) const { return standings_ && standings_->priced ? columns : columns - 1; }

    std::shared_ptr<const standings::BidHistory> history_;
    std::shared_ptr<const standings::RoundStandings> standings_;
    // A column shows every amount with cents once one has them, so that its figures line up.
    int highDecimals_ = 0, previousDecimals_ = 0, heldDecimals_ = 0;
};

class MarketsModel : public StandingsModel {
    Q_OBJECT
  public:
    enum Column {
        Market,
        Block,
        HighBid,
        HighBidder,
        SinceRound,
        PreviousHigh,
        ChangePercent,
        Bids,
        LastBid,
        Stood,
        PricePerMHzPop,
        Columns
    };
    using StandingsModel::StandingsModel;
    const standings::MarketRow& Row(int row) const {
        return standings_->markets[static_cast<std::size_t>(row)];
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};

class BiddersModel : public StandingsModel {
    Q_OBJECT
  public:
    enum Column { Bidder, Leads, Held, Bids, FirstRound, LastRound, PricePerMHzPop, Columns };
    using StandingsModel::StandingsModel;
    const standings::BidderRow& Row(int row) const {
        return standings_->bidders[static_cast<std::size_t>(row)];
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};

// Sorts by kSortRole; keeps the rows whose text columns hold the filter text, letter case ignored.
class OverviewFilter : public QSortFilterProxyModel {
    Q_OBJECT
  public:
    OverviewFilter(QList<int> textColumns, QObject* parent);
    void SetText(const QString& text);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    QList<int> textColumns_;
    QString text_;
};

}  // namespace corv::overview
