#pragma once

#include <memory>
#include <vector>

#include <QList>
#include <QString>
#include <QWidget>

#include "viewer/DataControl.h"
#include "viewer/SelectionStats.h"
#include "viewer/ViewState.h"

class QComboBox;
class QItemSelection;
class QLabel;
class QTableView;

namespace corv {

class Database;
class ViewerHost;
class Recordset;
class RecordsetModel;

// A child window showing one table of the open auction, one round at a time or whole.
class frmFlexGrid : public QWidget {
    Q_OBJECT
  public:
    explicit frmFlexGrid(ViewerHost& host, QWidget* parent = nullptr);
    ~frmFlexGrid() override;

    QLabel* lblTableName = nullptr;
    QComboBox* ddlTableName = nullptr;  // choose only; selecting an entry loads the table
    QLabel* lblRoundNum = nullptr;
    QComboBox* ddlRoundNum = nullptr;  // choose only; disabled while a whole table is shown
    QTableView* MSFlexGrid1 = nullptr;
    DataControl Data1;

    long SavedTableIndex = 0;
    long SavedRoundIndex = 0;

    // Loads the table named by ddlTableName: per round or whole, caption and status text follow.
    void ddlTableName_Click();
    // Loads the chosen round of the current table.
    void ddlRoundNum_Click();
    // The round the round list's choice stands for, Latest's included; empty with none chosen.
    QString ChosenRound() const;
    // The rounds in the round list, Latest left out.
    int RoundCount() const;
    // The window became the active child: status panel 1 shows what it shows.
    void Activate();
    QString CaptionText() const;
    QSize sizeHint() const override;
    // "Sum", "Average" or "Count" of the selected cells of one column, into status panel 3.
    void ComputeSelection(const QString& operation);
    // Shows a record set derived from the current one (sorted, filtered) without running the query again.
    void SetRecordset(std::shared_ptr<Recordset> recordset);

    const ViewState& State() const { return state_; }
    // After rounds were written to the file: viewers whose rows hold a read of the file open let them go,
    // the log is folded back into the file (best effort), and those viewers read their rows again, with
    // table, round, sort, filter, column widths, scroll position and current cell as they were. A viewer on
    // Latest moves on to the newest round instead, its sort and filter kept.
    static void ReadAgainAfterWrites(const QList<frmFlexGrid*>& viewers, Database* db);
    // Rows that hold a read of the file open are let go (the grid empties), so that the file can be
    // renamed or replaced; the place they were shown at is kept for ReadAgainAfterWrites. Returns whether
    // there were such rows.
    bool LetGoOfFile();
    // The table actions dialog's OK: the sort and filter become the state's and are applied to the rows
    // shown now, filter first. A failure is reported in the error box; the rows shown stay.
    void ChooseSortAndFilter(std::vector<SortKey> sort, std::vector<FilterRow> filter);

    RecordsetModel* GridModel() const { return model_; }
    ViewerHost& Host() const { return host_; }
    // The grid's selection as blocks. A column selected through its header is whole (rows -1); cells
    // dragged over every row are an ordinary block.
    std::vector<SelectionBlock> SelectedBlocks() const;
    // The shown record set with every row, for commands that need the whole result (statistics over a
    // column, export, print, spreadsheet, sort, filter): waits under the busy pointer while it loads, and
    // the grid then shows every row. Throws the loading failure. nullptr when nothing is shown.
    std::shared_ptr<Recordset> WholeResult();

  private:
    struct Place {
        int top = 0;
        int left = 0;
        int row = -1;
        int column = -1;
        std::vector<int> widths;
    };
    void ReadAgain();
    // On Latest, with a newer round than the one shown: the list's Latest stands for it from now on.
    bool NewerLatestRound();
    bool IsLatestEntry(int index) const;

    void BindGrid();
    void SizeColumns();
    void ShowCaption(const QString& text);
    void DroppingDown(QComboBox* list, long& savedIndex, bool tables);
    void ClosedUp(QComboBox* list, const long& savedIndex);
    void ApplySortAndFilter();
    void HandelFlt();
    void HandelSort();
    void ShowDerived(const std::string& filter, const std::string& sort);
    void ColumnHeaderChosen(int column);
    void SelectionChanged(const QItemSelection& deselected);

    ViewerHost& host_;
    ViewState state_;
    RecordsetModel* model_ = nullptr;
    bool refilling_ = false;
    std::vector<bool> headerColumns_;  // columns selected through the header and still whole
    Place place_;                      // where the rows let go of were shown
};

}  // namespace corv
