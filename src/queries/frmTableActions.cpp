#include "queries/frmTableActions.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QtConcurrent/QtConcurrentRun>

#include "engine/Database.h"
#include "platform/ErrorBox.h"
#include "queries/SortFilterText.h"
#include "store/Auction.h"

namespace corv {

namespace {

constexpr int kTwipsPerPixel = 15;
// The designed positions inside the tab control count from its top edge, tab strip included; a Qt page
// starts below the strip.
constexpr int kTabStripTwips = 360;

int Px(int twips) {
    return twips / kTwipsPerPixel;
}

// Places a control as designed. Text that needs more room than designed (the font here is larger than the
// one the layout was drawn for) widens the control rather than being cut off: rightwards, or leftwards for
// a control whose right edge must stay where it is.
void Place(QWidget* w, int left, int top, int width, int height, bool inTab, bool growLeft = false) {
    int x = Px(left);
    int y = Px(top - (inTab ? kTabStripTwips : 0));
    int wd = Px(width);
    int ht = Px(height);
    const QSize hint = w->sizeHint();
    if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w)) {
        if (hint.width() > wd) {
            if (growLeft) x -= hint.width() - wd;
            wd = hint.width();
        }
    }
    if (qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QPushButton*>(w))
        ht = std::max(ht, hint.height());
    if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w)) ht = std::max(ht, hint.height());
    w->setGeometry(x, y, wd, ht);
}

QLabel* NewLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QComboBox* NewDropDown(const QString& name, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(false);
    return list;
}

// Appending to an empty drop-down selects the new entry; a list that showed nothing keeps showing nothing.
void Append(QComboBox* list, const QString& text) {
    const int shown = list->currentIndex();
    list->addItem(text);
    if (shown < 0) list->setCurrentIndex(-1);
}

}  // namespace

DragList::DragList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // A copy never removes the entry on the dragging side: the drop handler does the moving.
    setDefaultDropAction(Qt::CopyAction);
}

void DragList::startDrag(Qt::DropActions actions) {
    BeginDrag();
    QListWidget::startDrag(Qt::CopyAction);
}

void DragList::dragEnterEvent(QDragEnterEvent* event) {
    if (qobject_cast<DragList*>(event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DragList::dragMoveEvent(QDragMoveEvent* event) {
    if (qobject_cast<DragList*>(event->source())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DragList::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool space = event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier;
    const QListWidgetItem* item = currentItem();
    // Space on an entry with a check box ticks it instead, as nothing else reaches that box by keyboard.
    if (item && (enter || (space && !item->data(Qt::CheckStateRole).isValid()))) {
        // Taken here, so Enter does not also press the dialog's default button.
        event->accept();
        emit EntryChosen();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DragList::dropEvent(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit Dropped();
}

frmTableActions::frmTableActions(std::function<QString()> tableName, QWidget* parent,
                                 std::function<store::Auction*()> auction)
    : QDialog(parent), tableName_(std::move(tableName)), auction_(std::move(auction)) {
    setObjectName(QStringLiteral("frmTableActions"));
    setWindowTitle(QStringLiteral("Table Actions"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(Px(6876), Px(4200));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(0, Px(120), Px(6855), Px(3375));
    auto* sortPage = new QWidget;
    auto* filterPage = new QWidget;
    auto* wizardPage = new QWidget;
    SSTab1->addTab(sortPage, QStringLiteral("Sort"));
    SSTab1->addTab(filterPage, QStringLiteral("Filter"));
    SSTab1->addTab(wizardPage, QStringLiteral("Table Wizzard"));
    BuildSortTab(sortPage);
    BuildFilterTab(filterPage);
    BuildWizardTab(wizardPage);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    Place(cmdOK, 4200, 3600, 1215, 495, false);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    Place(cmdCancel, 5520, 3600, 1215, 495, false);
    connect(cmdOK, &QPushButton::clicked, this, &frmTableActions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmTableActions::cmdCancel_Click);
}

frmTableActions::~frmTableActions() {
    // No worker's connection to the auction outlives the viewer that owns the dialog.
    for (QFutureWatcherBase* job : findChildren<QFutureWatcherBase*>()) job->waitForFinished();
}

void frmTableActions::BuildSortTab(QWidget* page) {
    Label11 =
        NewLabel(QStringLiteral("Label11"), QStringLiteral("Drag and drop or double click items."), page);
    Label9 = NewLabel(QStringLiteral("Label9"), QStringLiteral("                    Source Data"), page);
    Label10 = NewLabel(QStringLiteral("Label10"), QStringLiteral("Ascending        Columns"), page);
    lstSource = new DragList(page);
    lstSource->setObjectName(QStringLiteral("lstSource"));
    lstSortCols = new DragList(page);
    lstSortCols->setObjectName(QStringLiteral("lstSortCols"));
    Place(Label11, 480, 540, 2895, 255, true);
    Place(Label9, 480, 840, 2775, 255, true);
    Place(Label10, 3660, 840, 2775, 255, true);
    Place(lstSource, 480, 1140, 2775, 1968, true);
    Place(lstSortCols, 3660, 1140, 2775, 1992, true);

    connect(lstSource, &QListWidget::itemDoubleClicked, this, [this] { lstSource_DblClick(); });
    connect(lstSortCols, &QListWidget::itemDoubleClicked, this, [this] { lstSortCols_DblClick(); });
    connect(lstSource, &DragList::EntryChosen, this, &frmTableActions::lstSource_DblClick);
    connect(lstSortCols, &DragList::EntryChosen, this, &frmTableActions::lstSortCols_DblClick);
    connect(lstSource, &DragList::Dropped, this, &frmTableActions::lstSource_DragDrop);
    connect(lstSortCols, &DragList::Dropped, this, &frmTableActions::lstSortCols_DragDrop);
}

void frmTableActions::BuildFilterTab(QWidget* page) {
    Label1 = NewLabel(QStringLiteral("Label1"), QStringLiteral("Column"), page);
    Label3 = NewLabel(QStringLiteral("Label3"), QStringLiteral("Operator"), page);
    Label2 = NewLabel(QStringLiteral("Label2"), QStringLiteral("Filter"), page);
    Label4 = NewLabel(QStringLiteral("Label4"), QStringLiteral("And/Or"), page);
    Place(Label1, 908, 600, 1000, 255, true);
    Place(Label3, 2535, 600, 800, 255, true);
    Place(Label2, 4268, 600, 800, 255, true);
    Place(Label4, 5955, 600, 800, 255, true);

    constexpr int kRowTops[kFilterRows] = {990, 1470, 1950, 2430};
    for (int r = 0; r < kFilterRows; ++r) {
        const QString n = QString::number(r + 1);
        lstFiltCol[r] = NewDropDown(QStringLiteral("lstFiltCol") + n, page);
        lstOp[r] = NewDropDown(QStringLiteral("lstOp") + n, page);
        lstOp[r]->addItems({"=", "<>", ">", ">=", "<", "<="});
        lstOp[r]->setCurrentIndex(0);
        txtFilter[r] = NewDropDown(QStringLiteral("txtFilter") + n, page);
        Place(lstFiltCol[r], 188, kRowTops[r], 2055, 315, true);
        Place(lstOp[r], 2475, kRowTops[r], 855, 315, true);
        Place(txtFilter[r], 3548, kRowTops[r], 2055, 315, true);
        if (r < kFilterRows - 1) {
            lstAndOr[r] = NewDropDown(QStringLiteral("lstAndOr") + n, page);
            lstAndOr[r]->addItems({"And", "Or"});
            lstAndOr[r]->setCurrentIndex(0);
            Place(lstAndOr[r], 5835, kRowTops[r], 855, 315, true);
        }
        // activated, not currentIndexChanged: picking the same column again asks again.
        connect(lstFiltCol[r], &QComboBox::activated, this, [this, r] { lstFiltCol_Click(r); });
    }
}

void frmTableActions::BuildWizardTab(QWidget* page) {
    chkIncludeAll = new QCheckBox(QStringLiteral("Include All Rounds"), page);
    chkIncludeAll->setObjectName(QStringLiteral("chkIncludeAll"));
    chkIncludeAll->setChecked(true);
    lblTableName = NewLabel(QStringLiteral("lblTableName"), QStringLiteral("Target Table Name:"), page);
    lblTableName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtTableName = new QLineEdit(page);
    txtTableName->setObjectName(QStringLiteral("txtTableName"));
    lblSourceTable =
        NewLabel(QStringLiteral("lblSourceTable"), QStringLiteral("                    Source Table"), page);
    lblTargetTable =
        NewLabel(QStringLiteral("lblTargetTable"), QStringLiteral("                     Target Table"), page);
    lstSourceTable = new DragList(page);
    lstSourceTable->setObjectName(QStringLiteral("lstSourceTable"));
    lstTargetTable = new DragList(page);
    lstTargetTable->setObjectName(QStringLiteral("lstTargetTable"));
    Place(chkIncludeAll, 480, 540, 1815, 255, true);
    Place(txtTableName, 4560, 480, 2055, 315, true);
    Place(lblTableName, 3060, 540, 1425, 195, true, true);
    Place(lblSourceTable, 480, 840, 2775, 255, true);
    Place(lblTargetTable, 3660, 840, 2775, 255, true);
    Place(lstSourceTable, 480, 1140, 2775, 1968, true);
    Place(lstTargetTable, 3660, 1140, 2775, 1968, true);

    connect(lstSourceTable, &QListWidget::itemDoubleClicked, this, [this] { lstSourceTable_DblClick(); });
    connect(lstTargetTable, &QListWidget::itemDoubleClicked, this, [this] { lstTargetTable_DblClick(); });
    connect(lstSourceTable, &DragList::EntryChosen, this, &frmTableActions::lstSourceTable_DblClick);
    connect(lstTargetTable, &DragList::EntryChosen, this, &frmTableActions::lstTargetTable_DblClick);
    connect(lstSourceTable, &DragList::Dropped, this, &frmTableActions::lstSourceTable_DragDrop);
    connect(lstTargetTable, &DragList::Dropped, this, &frmTableActions::lstTargetTable_DragDrop);
}

void frmTableActions::ClearColumnLists() {
    lstSource->clear();
    lstSortCols->clear();
    for (int r = 0; r < kFilterRows; ++r) {
        lstFiltCol[r]->clear();
        txtFilter[r]->clear();
    }
}

void frmTableActions::AddColumn(const QString& name) {
    lstSource->addItem(name);
    for (QComboBox* list : lstFiltCol) Append(list, name);
}

std::vector<SortKey> frmTableActions::SortKeys() const {
    std::vector<SortKey> keys;
    for (int i = 0; i < lstSortCols->count(); ++i) {
        const QListWidgetItem* item = lstSortCols->item(i);
        keys.push_back({item->text().toStdString(), item->checkState() == Qt::Checked});
    }
    return keys;
}

std::vector<FilterRow> frmTableActions::FilterRows(const std::vector<std::string>& booleanColumns) const {
    std::vector<FilterRow> rows;
    for (int r = 0; r < kFilterRows; ++r) {
        const std::string column = lstFiltCol[r]->currentText().toStdString();
        rows.push_back(
            {column, lstOp[r]->currentText().toStdString(), txtFilter[r]->currentText().toStdString(),
             r > 0 ? lstAndOr[r - 1]->currentText().toStdString() : std::string(),
             std::find(booleanColumns.begin(), booleanColumns.end(), column) != booleanColumns.end()});
    }
    return rows;
}

// ---- sort tab moves ----

void frmTableActions::ToSortColumns(int row) {
    if (row < 0 || row >= lstSource->count()) return;
    auto* item = new QListWidgetItem(lstSource->item(row)->text());
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    lstSortCols->addItem(item);
    delete lstSource->takeItem(row);
}

void frmTableActions::ToSource(int row) {
    if (row < 0 || row >= lstSortCols->count()) return;
    lstSource->addItem(lstSortCols->item(row)->text());
    delete lstSortCols->takeItem(row);
}

void frmTableActions::lstSource_DblClick() {
    lstSortCols->Tag.clear();
    ToSortColumns(lstSource->currentRow());
}

void frmTableActions::lstSortCols_DblClick() {
    lstSource->Tag.clear();
    ToSource(lstSortCols->currentRow());
}

void frmTableActions::lstSource_DragDrop() {
    if (!lstSource->Tag.isEmpty()) {
        lstSource->Tag.clear();
        return;
    }
    ToSource(lstSortCols->currentRow());
    lstSortCols->Tag.clear();
}

void frmTableActions::lstSortCols_DragDrop() {
    if (!lstSortCols->Tag.isEmpty()) {
        lstSortCols->Tag.clear();
        return;
    }
    ToSortColumns(lstSource->currentRow());
    lstSource->Tag.clear();
}

// ---- table wizard tab moves: the filter columns and lstSource follow the target list ----

void frmTableActions::ToTarget(int row) {
    if (row < 0 || row >= lstSourceTable->count()) return;
    const QString name = lstSourceTable->item(row)->text();
    lstTargetTable->addItem(name);
    for (QComboBox* list : lstFiltCol) Append(list, name);
    lstSource->addItem(name);
    delete lstSourceTable->takeItem(row);
}

void frmTableActions::ToSourceTable(int row) {
    if (row < 0 || row >= lstTargetTable->count()) return;
    const QString name = lstTargetTable->item(row)->text();
    lstSourceTable->addItem(name);
    for (QComboBox* list : lstFiltCol) {
        // A row on the removed column is left with none: Qt would move it to the neighbouring column and
        // filter on that with the old value.
        const bool onRemoved = list->currentIndex() == row;
        list->removeItem(row);
        if (onRemoved) list->setCurrentIndex(-1);
    }
    // Once the sort tab has been used lstSource no longer lines up with the target list, so the column
    // leaves it by name. A sort key on it stays: ordering by a column the new table lacks is valid.
    const QList<QListWidgetItem*> found = lstSource->findItems(name, Qt::MatchExactly);
    if (!found.isEmpty()) delete lstSource->takeItem(lstSource->row(found.first()));
    delete lstTargetTable->takeItem(row);
}

void frmTableActions::lstSourceTable_DblClick() {
    lstTargetTable->Tag.clear();
    ToTarget(lstSourceTable->currentRow());
}

void frmTableActions::lstTargetTable_DblClick() {
    lstSourceTable->Tag.clear();
    ToSourceTable(lstTargetTable->currentRow());
}

void frmTableActions::lstSourceTable_DragDrop() {
    if (!lstSourceTable->Tag.isEmpty()) {
        lstSourceTable->Tag.clear();
        return;
    }
    ToSourceTable(lstTargetTable->currentRow());
    lstTargetTable->Tag.clear();
}

void frmTableActions::lstTargetTable_DragDrop() {
    if (!lstTargetTable->Tag.isEmpty()) {
        lstTargetTable->Tag.clear();
        return;
    }
    ToTarget(lstSourceTable->currentRow());
    lstSourceTable->Tag.clear();
}

// ---- filter value lists ----

namespace {

std::vector<std::string> ReadValueList(Database& db, const std::string& sql) {
    auto rs = db.OpenRecordset(sql, RecordsetType::Snapshot);
    rs->WaitComplete();
    const FieldInfo field = rs->Field(0);
    std::vector<std::string> texts;
    texts.reserve(rs->RowCount());
    rs->ScanColumn(0, [&](const Value& v) {
        texts.push_back(ValueListText(v, field));
        return true;
    });
    rs->Close();
    return texts;
}

}  // namespace

void frmTableActions::lstFiltCol_Click(int row) {
    const std::string sql = ValueListQuery(lstFiltCol[row]->currentText().toStdString(),
                                           tableName_ ? tableName_().toStdString() : std::string());
    if (sql.empty()) return;
    txtFilter[row]->clear();
    store::Auction* auction = auction_ ? auction_() : nullptr;
    if (!auction) return;
    const unsigned asked = ++valuesAsked_[row];
    if (auction->Db()->Origin() == DatabaseOrigin::Jet) {
        // A Jet auction is held in memory by this thread's connection: no other connection can read it.
        ValueList list;
        try {
            list.texts = ReadValueList(auction->Data(), sql);
        } catch (...) {
            list.failure = std::current_exception();
        }
        ShowValues(row, asked, list);
        return;
    }
    txtFilter[row]->setCursor(Qt::BusyCursor);
    auto* watcher = new QFutureWatcher<ValueList>(this);
    connect(watcher, &QFutureWatcher<ValueList>::finished, this, [this, watcher, row, asked] {
        watcher->deleteLater();
        ShowValues(row, asked, watcher->result());
    });
    // A read transaction of its own: it never holds up an import, and sees what was committed when it began.
    watcher->setFuture(QtConcurrent::run([path = auction->Path(), sql] {
        ValueList list;
        try {
            const std::shared_ptr<Database> db = Engine().OpenReadOnly(path);
            list.texts = ReadValueList(*db, sql);
            db->Close();
        } catch (...) {
            list.failure = std::current_exception();
        }
        return list;
    }));
}

void frmTableActions::ShowValues(int row, unsigned asked, const ValueList& values) {
    if (asked != valuesAsked_[row]) return;  // another column was picked meanwhile
    valuesShown_[row] = asked;
    QComboBox* list = txtFilter[row];
    list->unsetCursor();
    if (values.failure) {
        try {
            std::rethrow_exception(values.failure);
        } catch (const std::exception& e) {
            // The list stays empty; the user learns why.
            ShowErrorBox(ErrorForm::NumberColon, e);
        }
        return;
    }
    for (const std::string& text : values.texts) Append(list, QString::fromStdString(text));
}

// ---- showing ----

void frmTableActions::cmdOK_Click() {
    hide();
    done(QDialog::Accepted);
}

void frmTableActions::cmdCancel_Click() {
    Cancelled = true;
    hide();
    done(QDialog::Rejected);
}

// Escape and the close box leave the viewer as it was, as Cancel does.
void frmTableActions::reject() {
    Cancelled = true;
    QDialog::reject();
}

void frmTableActions::closeEvent(QCloseEvent* event) {
    Cancelled = true;
    QDialog::closeEvent(event);
}

void frmTableActions::ExecModal() {
    exec();
}

void frmTableActions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // The keyboard starts on the shown tab's first control: on the tab strip, Down would do nothing and
    // Enter would press OK.
    QWidget* page = SSTab1->currentWidget();
    for (QWidget* w = page ? page->nextInFocusChain() : nullptr; w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(page)) {
            w->setFocus(Qt::TabFocusReason);
            break;
        }
    }
}

}  // namespace corv
