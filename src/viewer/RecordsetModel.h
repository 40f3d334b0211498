#pragma once

#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>

#include "engine/Recordset.h"
#include "viewer/CellFormatter.h"

namespace corv {

// The grid's view of a snapshot: cells are read by position on demand and formatted as shown; nothing of
// the result is copied into Qt objects, so a million-row table costs no more than the rows on screen.
// A set still loading shows the rows it has; the rest are added as they arrive, without ever waiting.
// The model lives on the user-interface thread; only the set's loader runs elsewhere.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit RecordsetModel(QObject* parent = nullptr);

    // The view does bookkeeping for every row added (a slice of this size costs it some 20 ms): rows that
    // arrive faster (a paged set's ids) are added a slice a tick, the next tick coming at once while rows
    // wait, so the grid fills fast and no tick holds up the window.
    static constexpr int kRowsPerTick = 1 << 20;

    void SetRecordset(std::shared_ptr<Recordset> recordset);
    const std::shared_ptr<Recordset>& GetRecordset() const { return recordset_; }

    // What a cell whose row cannot be read from the file shows.
    static inline const QString kUnreadableCell = QStringLiteral("#Error");

    // The text a cell shows; empty outside the rows and columns.
    QString CellText(int row, int column) const;
    const CellFormatter& Formatter() const { return formatter_; }
    CellKind ColumnKind(int column) const { return kinds_.at(static_cast<size_t>(column)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Shows the rows that have arrived since the last look; stops looking once loading has ended. Nothing
    // once it has stopped.
    void AddArrivedRows();
    // Waits for the rest of the set and shows every row. A loading failure is thrown to the caller, which
    // reports it; the grid then does not report it again.
    void WaitForAllRows();

  signals:
    // Reading the rest of the set failed; the rows shown so far stay.
    void LoadingFailed(int number, const QString& description);
    // Rows the grid shows could not be read from the file (said once a set, after the paint that met them).
    void RowsUnreadable(int number, const QString& description);

  private:
    void ShowRows(std::size_t count);
    // Stops looking for rows; reports a load that ended short.
    void LoadingEnded();

    QTimer arrivals_;
    std::shared_ptr<Recordset> recordset_;
    // The grid's own handle on the rows: whoever opened the set may close it, the rows go on arriving.
    std::shared_ptr<Recordset> handle_;
    std::vector<CellKind> kinds_;
    std::vector<QString> headers_;
    int rows_ = 0;
    mutable bool unreadableSaid_ = false;
    CellFormatter formatter_;
};

}  // namespace corv
