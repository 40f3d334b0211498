#pragma once

#include <array>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include <QDialog>
#include <QListWidget>

#include "platform/DesktopServices.h"
#include "viewer/ViewState.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace corv {

namespace store {
class Auction;
}

// A list whose entries can be dragged to its partner list. Tag is set when a drag starts here, so the
// drop handler can tell a drop back onto this list (ignored) from one arriving from the partner.
class DragList : public QListWidget {
    Q_OBJECT
  public:
    explicit DragList(QWidget* parent = nullptr);
    QString Tag;
    // What a drag starting here does before the entry leaves: marks this list.
    void BeginDrag() { Tag = QStringLiteral("True"); }

  signals:
    void Dropped();
    // Enter or Space on an entry: the keyboard's double click.
    void EntryChosen();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The table actions dialog: sort columns, up to four filter conditions and a new table's columns. It only
// collects choices (besides offering a filter column's values); its owner applies them.
//
// Threads: the dialog and its lists are the user-interface thread's. A filter column's values are read by a
// worker on a read-only connection of its own, opened and closed there; it shares nothing with the dialog and
// hands back the values through a watcher the dialog owns. The dialog waits for its workers when it goes.
class frmTableActions : public QDialog, public ModalDialog {
    Q_OBJECT
  public:
    static constexpr int kFilterRows = 4;

    // tableName gives the table shown by the viewer that owns the dialog, auction the open auction (for the
    // value lists).
    explicit frmTableActions(std::function<QString()> tableName, QWidget* parent = nullptr,
                             std::function<store::Auction*()> auction = {});
    ~frmTableActions() override;

    QTabWidget* SSTab1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    bool Cancelled = false;

    // Sort tab.
    QLabel* Label11 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    DragList* lstSource = nullptr;
    DragList* lstSortCols = nullptr;  // checked: ascending

    // Filter tab; index 0 is condition row 1.
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    std::array<QComboBox*, kFilterRows> lstFiltCol{};
    std::array<QComboBox*, kFilterRows> lstOp{};
    std::array<QComboBox*, kFilterRows> txtFilter{};
    std::array<QComboBox*, kFilterRows - 1> lstAndOr{};

    // Table wizard tab.
    QCheckBox* chkIncludeAll = nullptr;
    QLabel* lblTableName = nullptr;
    QLineEdit* txtTableName = nullptr;
    QLabel* lblSourceTable = nullptr;
    QLabel* lblTargetTable = nullptr;
    DragList* lstSourceTable = nullptr;
    DragList* lstTargetTable = nullptr;

    // The owner's view of the choices.
    void ClearColumnLists();              // lstSource, lstSortCols, the filter columns and their values
    void AddColumn(const QString& name);  // to lstSource and every filter column list
    std::vector<SortKey> SortKeys() const;
    // The condition rows; booleanColumns names the shown columns holding Yes/No values.
    std::vector<FilterRow> FilterRows(const std::vector<std::string>& booleanColumns = {}) const;

    // Handlers, named after the events that run them.
    void lstSource_DblClick();
    void lstSortCols_DblClick();
    void lstSource_DragDrop();
    void lstSortCols_DragDrop();
    void lstSourceTable_DblClick();
    void lstTargetTable_DblClick();
    void lstSourceTable_DragDrop();
    void lstTargetTable_DragDrop();
    // The user picked a column in condition row (0-based): offer that column's values. They arrive from a
    // worker while the dialog goes on; the value list shows the busy pointer meanwhile.
    void lstFiltCol_Click(int row);
    // Whether condition row's values are still being read.
    bool ListingValues(int row) const { return valuesShown_[row] != valuesAsked_[row]; }
    void cmdOK_Click();
    void cmdCancel_Click();

    void ExecModal() override;
    // Escape and the close box.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildSortTab(QWidget* page);
    void BuildFilterTab(QWidget* page);
    void BuildWizardTab(QWidget* page);
    void ToSortColumns(int row);
    void ToSource(int row);
    void ToTarget(int row);
    void ToSourceTable(int row);

    struct ValueList {
        std::vector<std::string> texts;
        std::exception_ptr failure;
    };
    // Shows the values of condition row's asked-th request, unless a later one was made meanwhile.
    void ShowValues(int row, unsigned asked, const ValueList& values);

    std::function<QString()> tableName_;
    std::function<store::Auction*()> auction_;
    std::array<unsigned, kFilterRows> valuesAsked_{}, valuesShown_{};
};

}  // namespace corv
