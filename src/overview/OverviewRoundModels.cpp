#include "overview/OverviewRoundModels.h"

#include <QApplication>
#include <QBrush>
#include <QFont>
#include <QPalette>

#include "overview/OverviewModels.h"

namespace corv::overview {

namespace {

// Missing figures sort below every real one.
constexpr double kMissing = -1e300;

QVariant Text(const QString& text, bool sorting) {
    return sorting ? QVariant(text.toCaseFolded()) : QVariant(text);
}

QVariant Amount(std::optional<double> amount, int decimals, bool sorting, bool sign = false) {
    if (!amount) return sorting ? QVariant(kMissing) : QVariant();
    if (sorting) return *amount;
    return sign ? FormatSigned(*amount, decimals) : FormatAmount(*amount, decimals);
}

QVariant Percent(std::optional<double> percent, bool sorting) {
    if (!percent) return sorting ? QVariant(kMissing) : QVariant();
    return sorting ? QVariant(*percent) : QVariant(FormatPercent(*percent));
}

// Cents on every amount of a column once one has them.
template <class Rows, class Get>
int Decimals(const Rows& rows, Get get) {
    for (const auto& r : rows) {
        const std::optional<double> amount = get(r);
        if (amount && HasCents(*amount)) return 2;
    }
    return 0;
}

}  // namespace

RowsModel::RowsModel(QStringList headers, QList<int> textColumns, QObject* parent)
    : QAbstractTableModel(parent), headers_(std::move(headers)), textColumns_(std::move(textColumns)) {}

int RowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows();
}

int RowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant RowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Rows()) return {};
    if (role == Qt::DisplayRole || role == kSortRole)
        return Cell(index.row(), index.column(), role == kSortRole);
    if (role == Qt::TextAlignmentRole && !textColumns_.contains(index.column()))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return Other(index.row(), index.column(), role);
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return headers_.value(section);
}

QString RowsModel::Name(std::int32_t bidder) const {
    if (bidder < 0) return {};
    return QString::fromStdString(history_->Bidders()[static_cast<std::size_t>(bidder)]);
}

// ---- changes ----

ChangesModel::ChangesModel(QObject* parent)
    : RowsModel({"Market", "Block", "Change", "Leader Before", "Leader Now", "High Before", "High Now",
                 "Rise", "Rise %"},
                {Market, Block, Change, LeaderBefore, LeaderNow}, parent) {}

void ChangesModel::Set(std::shared_ptr<const standings::BidHistory> history,
                       std::shared_ptr<const standings::RoundChanges> changes) {
    beginResetModel();
    history_ = std::move(history);
    changes_ = std::move(changes);
    if (changes_) {
        const auto& rows = changes_->rows;
        beforeDecimals_ = Decimals(rows, [](const standings::ChangeRow& r) { return r.highBefore; });
        nowDecimals_ = Decimals(rows, [](const standings::ChangeRow& r) { return std::optional(r.highNow); });
        riseDecimals_ = Decimals(rows, [](const standings::ChangeRow& r) { return std::optional(r.rise); });
    }
    endResetModel();
}

int ChangesModel::Rows() const {
    return changes_ ? static_cast<int>(changes_->rows.size()) : 0;
}

QVariant ChangesModel::Cell(int row, int column, bool sorting) const {
    const standings::ChangeRow& r = Row(row);
    const standings::Licence& licence = history_->Licences()[static_cast<std::size_t>(r.licence)];
    switch (column) {
        case Market:
            return Text(QString::fromStdString(licence.market), sorting);
        case Block:
            return Text(ShownBlock(licence.block), sorting);
        case Change:
            return Text(QString::fromLatin1(standings::ChangeKindText(r.kind)), sorting);
        case LeaderBefore:
            return Text(Name(r.leaderBefore), sorting);
        case LeaderNow:
            return Text(Name(r.leaderNow), sorting);
        case HighBefore:
            return Amount(r.highBefore, beforeDecimals_, sorting);
        case HighNow:
            return Amount(r.highNow, nowDecimals_, sorting);
        case Rise:
            return Amount(r.rise, riseDecimals_, sorting);
        case RisePercent:
            return Percent(r.risePercent, sorting);
    }
    return {};
}

ChangeBiddersModel::ChangeBiddersModel(QObject* parent)
    : RowsModel({"Bidder", "Leads Gained", "Leads Lost", "Change in High Bids Held"}, {Bidder}, parent) {}

void ChangeBiddersModel::Set(std::shared_ptr<const standings::BidHistory> history,
                             std::shared_ptr<const standings::RoundChanges> changes) {
    beginResetModel();
    history_ = std::move(history);
    changes_ = std::move(changes);
    if (changes_)
        heldDecimals_ = Decimals(
            changes_->bidders, [](const standings::BidderChange& b) { return std::optional(b.heldChange); });
    endResetModel();
}

int ChangeBiddersModel::Rows() const {
    return changes_ ? static_cast<int>(changes_->bidders.size()) : 0;
}

QVariant ChangeBiddersModel::Cell(int row, int column, bool sorting) const {
    const standings::BidderChange& b = changes_->bidders[static_cast<std::size_t>(row)];
    switch (column) {
        case Bidder:
            return Text(Name(b.bidder), sorting);
        case Gained:
            return b.gained;
        case Lost:
            return b.lost;
        case HeldChange:
            return Amount(b.heldChange, heldDecimals_, sorting, true);
    }
    return {};
}

// ---- eligibility ----

EligibilityModel::EligibilityModel(QObject* parent)
    : RowsModel({"Bidder", "Eligibility", "Previous", "Change", "Change %", "Status", "Leads",
                 "High Bids Held", "Bids in Round"},
                {Bidder, Status}, parent) {}

void EligibilityModel::Set(std::shared_ptr<const standings::BidHistory> history,
                           std::shared_ptr<const standings::EligibilityStandings> eligibility) {
    beginResetModel();
    history_ = std::move(history);
    eligibility_ = std::move(eligibility);
    if (eligibility_) {
        using Row = standings::EligibilityRow;
        const auto& rows = eligibility_->rows;
        eligibilityDecimals_ = Decimals(rows, [](const Row& r) { return r.eligibility; });
        previousDecimals_ = Decimals(rows, [](const Row& r) { return r.previous; });
        changeDecimals_ = Decimals(rows, [](const Row& r) { return r.change; });
        heldDecimals_ = Decimals(rows, [](const Row& r) { return std::optional(r.held); });
    }
    endResetModel();
}

int EligibilityModel::Rows() const {
    return eligibility_ ? static_cast<int>(eligibility_->rows.size()) : 0;
}

QVariant EligibilityModel::Cell(int row, int column, bool sorting) const {
    const standings::EligibilityRow& r = eligibility_->rows[static_cast<std::size_t>(row)];
    switch (column) {
        case Bidder:
            return Text(Name(r.bidder), sorting);
        case Eligibility:
            return Amount(r.eligibility, eligibilityDecimals_, sorting);
        case Previous:
            return Amount(r.previous, previousDecimals_, sorting);
        case Change:
            return Amount(r.change, changeDecimals_, sorting, true);
        case ChangePercent:
            return Percent(r.changePercent, sorting);
        case Status:
            return Text(QString::fromLatin1(standings::BidderStatusText(r.status)), sorting);
        case Leads:
            return r.leads;
        case Held:
            return Amount(r.held, heldDecimals_, sorting);
        case Bids:
            return r.bids;
    }
    return {};
}

// ---- the pace ----

PaceModel::PaceModel(QObject* parent)
    : RowsModel({"Round", "Standing Total", "Change", "Change %", "Bids", "Licences Bid",
                 "Licences with High Bid", "Leader Changes", "Total Eligibility"},
                {}, parent) {}

void PaceModel::Set(std::shared_ptr<const std::vector<standings::PaceRow>> pace) {
    beginResetModel();
    pace_ = std::move(pace);
    if (pace_) {
        using Row = standings::PaceRow;
        standingDecimals_ = Decimals(*pace_, [](const Row& r) { return std::optional(r.standing); });
        changeDecimals_ = Decimals(*pace_, [](const Row& r) { return std::optional(r.change); });
        eligibilityDecimals_ = Decimals(*pace_, [](const Row& r) { return r.eligibility; });
    }
    endResetModel();
}

int PaceModel::Rows() const {
    return pace_ ? static_cast<int>(pace_->size()) : 0;
}

QVariant PaceModel::Cell(int row, int column, bool sorting) const {
    const standings::PaceRow& r = (*pace_)[static_cast<std::size_t>(row)];
    switch (column) {
        case Round:
            return r.round;
        case Standing:
            return Amount(r.standing, standingDecimals_, sorting);
        case Change:
            return Amount(r.change, changeDecimals_, sorting, true);
        case ChangePercent:
            return Percent(r.changePercent, sorting);
        case Bids:
            // In words, not by colour alone.
            if (sorting || !r.NoNewBids()) return r.bids;
            return QStringLiteral("0 (no new bids)");
        case LicencesBid:
            return r.licencesBid;
        case WithHigh:
            return r.licencesWithHigh;
        case LeaderChanges:
            return r.leaderChanges;
        case Eligibility:
            return Amount(r.eligibility, eligibilityDecimals_, sorting);
    }
    return {};
}

QVariant PaceModel::Other(int row, int /*column*/, int role) const {
    if (role == Qt::ForegroundRole && (*pace_)[static_cast<std::size_t>(row)].NoNewBids())
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    return {};
}

}  // namespace corv::overview
