#include "viewer/RecordsetModel.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "engine/CorvError.h"

namespace corv {

namespace {

constexpr int kArrivalPollMs = 50;

int ShownRows(std::size_t count) {
    return count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

}  // namespace

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {
    arrivals_.setInterval(kArrivalPollMs);
    connect(&arrivals_, &QTimer::timeout, this, &RecordsetModel::AddArrivedRows);
}

void RecordsetModel::ShowRows(std::size_t count) {
    const int shown = ShownRows(count);
    if (shown <= rows_) return;
    beginInsertRows(QModelIndex(), rows_, shown - 1);
    rows_ = shown;
    endInsertRows();
}

void RecordsetModel::AddArrivedRows() {
    if (!recordset_ || !arrivals_.isActive()) {
        arrivals_.stop();
        return;
    }
    // Asked before counting, so rows that arrive in between are still picked up next time.
    const bool loading = recordset_->IsLoading();
    const int arrived = ShownRows(recordset_->RowCount());
    ShowRows(static_cast<std::size_t>(std::min(arrived, rows_ + std::min(kRowsPerTick, INT_MAX - rows_))));
    arrivals_.setInterval(rows_ < arrived ? 0 : kArrivalPollMs);
    if (!loading && rows_ == arrived) LoadingEnded();
}

void RecordsetModel::LoadingEnded() {
    arrivals_.stop();
    if (recordset_->IsComplete()) return;
    try {
        recordset_->WaitComplete();  // loading has ended: this only fetches the failure
    } catch (const CorvError& e) {
        emit LoadingFailed(e.number(), QString::fromStdString(e.description()));
    } catch (const std::exception& e) {
        emit LoadingFailed(err::EngineFailure, QString::fromUtf8(e.what()));
    }
}

void RecordsetModel::WaitForAllRows() {
    if (!recordset_) return;
    try {
        recordset_->WaitComplete();
    } catch (...) {
        arrivals_.stop();
        ShowRows(recordset_->RowCount());
        throw;
    }
    arrivals_.stop();
    ShowRows(recordset_->RowCount());
}

void RecordsetModel::SetRecordset(std::shared_ptr<Recordset> recordset) {
    arrivals_.stop();
    beginResetModel();
    recordset_ = std::move(recordset);
    handle_ = recordset_ && !recordset_->IsClosed() ? recordset_->Clone() : nullptr;
    kinds_.clear();
    headers_.clear();
    rows_ = 0;
    unreadableSaid_ = false;
    bool loading = false;
    int all = 0;
    if (recordset_) {
        const int n = recordset_->FieldCount();
        kinds_.reserve(static_cast<size_t>(n));
        headers_.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const FieldInfo& f = recordset_->Field(i);
            kinds_.push_back(CellKindOf(f));
            headers_.push_back(QString::fromStdString(f.name));
        }
        // Asked before counting: a load that ends in between must still have its last rows shown.
        loading = recordset_->IsLoading();
        // A large set there whole (a sorted copy) comes into the grid a slice a tick too.
        all = ShownRows(recordset_->RowCount());
        rows_ = std::min(all, kRowsPerTick);
    }
    endResetModel();
    if (loading || rows_ < all)
        arrivals_.start(rows_ < all ? 0 : kArrivalPollMs);
    else if (recordset_)
        LoadingEnded();
}

QString RecordsetModel::CellText(int row, int column) const {
    if (!recordset_ || row < 0 || row >= rows_ || column < 0 || column >= static_cast<int>(kinds_.size()))
        return {};
    try {
        return formatter_.Format(recordset_->Cell(static_cast<std::size_t>(row), column),
                                 kinds_[static_cast<size_t>(column)]);
    } catch (const CorvError& e) {
        // A page its file no longer gives: never shown as empty cells, and said once, after the paint.
        if (!unreadableSaid_) {
            unreadableSaid_ = true;
            auto* self = const_cast<RecordsetModel*>(this);
            QMetaObject::invokeMethod(
                self,
                [self, number = e.number(), text = QString::fromStdString(e.description())] {
                    emit self->RowsUnreadable(number, text);
                },
                Qt::QueuedConnection);
        }
        return kUnreadableCell;
    }
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return CellText(index.row(), index.column());
        case Qt::TextAlignmentRole: {
            const CellKind kind = kinds_[static_cast<size_t>(index.column())];
            bool right = IsNumericKind(kind);
            if (kind == CellKind::Auto) {
                try {
                    right =
                        recordset_->Cell(static_cast<std::size_t>(index.row()), index.column()).isNumber();
                } catch (const CorvError&) {
                }
            }
            return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
        }
        default:
            return {};
    }
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        if (section >= 0 && section < static_cast<int>(headers_.size()))
            return headers_[static_cast<size_t>(section)];
        return {};
    }
    return QString::number(section + 1);
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace corv
