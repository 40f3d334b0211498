#include "overview/OverviewModels.h"

#include <QApplication>
#include <QFont>
#include <QLocale>
#include <QStyle>
#include <cmath>

namespace corv::overview {

bool HasCents(double amount) {
    return std::abs(amount - std::round(amount)) >= 0.005;
}

QString FormatAmount(double amount, int decimals) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(amount, 'f', decimals);
}

QString FormatAmount(double amount) {
    return FormatAmount(amount, HasCents(amount) ? 2 : 0);
}

QString FormatSigned(double amount, int decimals) {
    return (amount > 0 ? "+" : "") + FormatAmount(amount, decimals);
}

QString FormatPercent(double percent) {
    return QLocale().toString(percent, 'f', 2) + "%";
}

QString FormatPrice(double price) {
    return QLocale().toString(price, 'f', 4);
}

QString ShownBlock(const std::string& block) {
    return block == "  " ? QString() : QString::fromStdString(block);
}

QIcon LeaderChangedIcon() {
    return QApplication::style()->standardIcon(QStyle::SP_BrowserReload);
}

QIcon NewHighIcon() {
    return QApplication::style()->standardIcon(QStyle::SP_ArrowUp);
}

namespace {

QString Name(const standings::BidHistory& history, std::int32_t bidder) {
    return QString::fromStdString(history.Bidders()[static_cast<std::size_t>(bidder)]);
}

QVariant RightAligned() {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
}

// Blank without market data; sorted below every figure.
QVariant Price(const std::optional<double>& price, bool sorting) {
    if (!price) return sorting ? QVariant(-1.0) : QVariant();
    return sorting ? QVariant(*price) : QVariant(FormatPrice(*price));
}

}  // namespace

void StandingsModel::Set(std::shared_ptr<const standings::BidHistory> history,
                         std::shared_ptr<const standings::RoundStandings> shown) {
    beginResetModel();
    history_ = std::move(history);
    standings_ = std::move(shown);
    bool high = false, previous = false, held = false;
    if (standings_) {
        for (const standings::MarketRow& r : standings_->markets) {
            high = high || HasCents(r.high);
            previous = previous || (r.previous && HasCents(*r.previous));
        }
        for (const standings::BidderRow& r : standings_->bidders) held = held || HasCents(r.held);
    }
    highDecimals_ = high ? 2 : 0;
    previousDecimals_ = previous ? 2 : 0;
    heldDecimals_ = held ? 2 : 0;
    endResetModel();
}

// ---- markets ----

int MarketsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !standings_ ? 0 : static_cast<int>(standings_->markets.size());
}

int MarketsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnsShown(Columns);
}

QVariant MarketsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !standings_) return {};
    const standings::MarketRow& r = Row(index.row());
    const standings::Licence& licence = history_->Licences()[static_cast<std::size_t>(r.licence)];
    const bool marked = r.newHigh || r.leaderChanged;
    const int column = index.column();
    const bool sorting = role == kSortRole;
    if (role == Qt::DisplayRole || sorting) {
        switch (column) {
            case Market:
                return sorting ? QVariant(QString::fromStdString(licence.market).toCaseFolded())
                               : QString::fromStdString(licence.market);
            case Block:
                return sorting ? ShownBlock(licence.block).toCaseFolded() : ShownBlock(licence.block);
            case HighBid:
                return sorting ? QVariant(r.high) : FormatAmount(r.high, highDecimals_);
            case HighBidder:
                return sorting ? Name(*history_, r.leader).toCaseFolded() : Name(*history_, r.leader);
            case SinceRound:
                return r.since;
            case PreviousHigh:
                if (!r.previous) return sorting ? QVariant(-1.0) : QVariant();
                return sorting ? QVariant(*r.previous) : FormatAmount(*r.previous, previousDecimals_);
            case ChangePercent: {
                if (!r.previous || *r.previous == 0) return sorting ? QVariant(-1e300) : QVariant();
                const double change = (r.high - *r.previous) / *r.previous * 100;
                return sorting ? QVariant(change) : FormatPercent(change);
            }
            case Bids:
                return r.bids;
            case LastBid:
                return r.lastBid;
            case Stood:
                return r.stood;
            case PricePerMHzPop:
                return Price(r.pricePerMHzPop, sorting);
        }
    }
    if (role == Qt::FontRole && marked) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::DecorationRole && column == Market && marked)
        return r.leaderChanged ? LeaderChangedIcon() : NewHighIcon();
    if (role == Qt::ToolTipRole && marked)
        return r.leaderChanged ? QStringLiteral("The leader changed in round %1").arg(standings_->round)
                               : QStringLiteral("New high bid in round %1").arg(standings_->round);
    if (role == Qt::TextAlignmentRole && column >= HighBid && column != HighBidder) return RightAligned();
    return {};
}

QVariant MarketsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kNames[Columns] = {"Market",      "Block",         "High Bid", "High Bidder",
                                                "Since Round", "Previous High", "Change %", "Bids",
                                                "Last Bid",    "Stood",         "$/MHz-pop"};
    return QString::fromLatin1(kNames[section]);
}

// ---- bidders ----

int BiddersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !standings_ ? 0 : static_cast<int>(standings_->bidders.size());
}

int BiddersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnsShown(Columns);
}

QVariant BiddersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !standings_) return {};
    const standings::BidderRow& r = Row(index.row());
    const bool sorting = role == kSortRole;
    if (role == Qt::DisplayRole || sorting) {
        switch (index.column()) {
            case Bidder:
                return sorting ? Name(*history_, r.bidder).toCaseFolded() : Name(*history_, r.bidder);
            case Leads:
                return r.leads;
            case Held:
                return sorting ? QVariant(r.held) : FormatAmount(r.held, heldDecimals_);
            case Bids:
                return r.bids;
            case FirstRound:
                return r.firstRound;
            case LastRound:
                return r.lastRound;
            case PricePerMHzPop:
                return Price(r.pricePerMHzPop, sorting);
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() != Bidder) return RightAligned();
    return {};
}

QVariant BiddersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kNames[Columns] = {
        "Bidder", "Markets Led", "High Bids Held", "Bids in Round", "First Round", "Last Round", "$/MHz-pop"};
    return QString::fromLatin1(kNames[section]);
}

// ---- filter ----

OverviewFilter::OverviewFilter(QList<int> textColumns, QObject* parent)
    : QSortFilterProxyModel(parent), textColumns_(std::move(textColumns)) {
    setSortRole(kSortRole);
}

void OverviewFilter::SetText(const QString& text) {
    text_ = text.trimmed();
    invalidateFilter();
}

bool OverviewFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (text_.isEmpty()) return true;
    for (int column : textColumns_)
        if (sourceModel()
                ->index(sourceRow, column, sourceParent)
                .data()
                .toString()
                .contains(text_, Qt::CaseInsensitive))
            return true;
    return false;
}

}  // namespace corv::overview
