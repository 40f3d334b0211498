#include "viewer/frmFlexGrid.h"

#include <algorithm>
#include <optional>

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/CorvError.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "store/Auction.h"
#include "store/LatestRound.h"
#include "viewer/DerivedRecordset.h"
#include "viewer/RecordsetModel.h"
#include "viewer/ViewStateText.h"
#include "viewer/ViewerComboBox.h"
#include "viewer/ViewerHost.h"

namespace corv {

namespace {

// Rows looked at when sizing columns: enough to be representative, few enough for a million-row table.
constexpr int kSizingSampleRows = 60;
constexpr int kMaxColumnWidth = 360;

}  // namespace

frmFlexGrid::frmFlexGrid(ViewerHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setWindowTitle(QStringLiteral("New Table Selection"));

    lblTableName = new QLabel(QStringLiteral("Table:"), this);
    lblTableName->setObjectName(QStringLiteral("lblTableName"));
    auto* tables = new ViewerComboBox(this);
    tables->setObjectName(QStringLiteral("ddlTableName"));
    tables->setMinimumContentsLength(22);
    tables->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ddlTableName = tables;
    lblTableName->setBuddy(ddlTableName);

    lblRoundNum = new QLabel(QStringLiteral("Round:"), this);
    lblRoundNum->setObjectName(QStringLiteral("lblRoundNum"));
    auto* rounds = new ViewerComboBox(this);
    rounds->setObjectName(QStringLiteral("ddlRoundNum"));
    rounds->setMinimumContentsLength(5);
    rounds->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ddlRoundNum = rounds;
    lblRoundNum->setBuddy(ddlRoundNum);

    MSFlexGrid1 = new QTableView(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    model_ = new RecordsetModel(this);
    MSFlexGrid1->setModel(model_);
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    MSFlexGrid1->setSelectionBehavior(QAbstractItemView::SelectItems);
    MSFlexGrid1->setWordWrap(false);
    MSFlexGrid1->setSortingEnabled(false);
    // Tab moves on to the lists rather than through the cells, which the arrow keys reach.
    MSFlexGrid1->setTabKeyNavigation(false);
    // Fixed, uniform rows keep scrolling a million-row table as cheap as a small one.
    QHeaderView* rowsHeader = MSFlexGrid1->verticalHeader();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(MSFlexGrid1->fontMetrics().height() + 6);
    rowsHeader->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QHeaderView* columnsHeader = MSFlexGrid1->horizontalHeader();
    columnsHeader->setSectionResizeMode(QHeaderView::Interactive);
    columnsHeader->setSectionsClickable(true);
    columnsHeader->setHighlightSections(true);

    auto* lists = new QHBoxLayout;
    lists->setContentsMargins(8, 2, 4, 0);
    lists->setSpacing(6);
    lists->addWidget(lblTableName);
    lists->addWidget(ddlTableName);
    lists->addSpacing(8);
    lists->addWidget(lblRoundNum);
    lists->addWidget(ddlRoundNum);
    lists->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addLayout(lists);
    layout->addWidget(MSFlexGrid1, 1);

    // Qt's own header handling selects the column first; these then note how it was selected.
    connect(columnsHeader, &QHeaderView::sectionPressed, this, &frmFlexGrid::ColumnHeaderChosen);
    connect(columnsHeader, &QHeaderView::sectionEntered, this, &frmFlexGrid::ColumnHeaderChosen);
    connect(
        MSFlexGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this](const QItemSelection&, const QItemSelection& deselected) { SelectionChanged(deselected); });

    connect(&Data1, &DataControl::RecordsetChanged, this, &frmFlexGrid::BindGrid);
    for (auto failed : {&RecordsetModel::LoadingFailed, &RecordsetModel::RowsUnreadable})
        connect(model_, failed, this, [](int number, const QString& description) {
            ShowErrorBox(ErrorForm::NumberColon, number, description.toStdString());
        });
    // The state follows every choice made in the lists, loaded or not; a refill chooses nothing.
    connect(ddlTableName, &QComboBox::currentIndexChanged, this, [this](int index) {
        state_.table = ddlTableName->currentText().toStdString();
        if (index >= 0 && !refilling_) ddlTableName_Click();
    });
    connect(ddlRoundNum, &QComboBox::currentIndexChanged, this, [this](int index) {
        state_.latest = IsLatestEntry(index);
        state_.round = ChosenRound().toStdString();
        if (index >= 0 && !refilling_) ddlRoundNum_Click();
    });
    connect(tables, &ViewerComboBox::DroppingDown, this,
            [this] { DroppingDown(ddlTableName, SavedTableIndex, true); });
    connect(rounds, &ViewerComboBox::DroppingDown, this,
            [this] { DroppingDown(ddlRoundNum, SavedRoundIndex, false); });
    connect(tables, &ViewerComboBox::ClosedUp, this, [this] { ClosedUp(ddlTableName, SavedTableIndex); });
    connect(rounds, &ViewerComboBox::ClosedUp, this, [this] { ClosedUp(ddlRoundNum, SavedRoundIndex); });
}

frmFlexGrid::~frmFlexGrid() = default;

void frmFlexGrid::ddlTableName_Click() {
    const QString table = ddlTableName->currentText();
    const QString round = ChosenRound();
    if (table.isEmpty() || round.isEmpty()) return;
    std::optional<BusyPointer> busy(std::in_place);

    store::Auction* auction = host_.OpenAuction();
    const std::string name = table.toStdString();
    try {
        const bool perRound = auction && auction->IsPerRound(name);
        ddlRoundNum->setEnabled(perRound);
        Data1.SetDatabase(auction ? auction->Db() : nullptr);
        Data1.RecordSource = QString::fromStdString(
            store::Auction::RowsSource(name, perRound ? round.toStdString() : std::string()));
        Data1.Refresh();
        if (ddlRoundNum->isEnabledTo(this))
            ShowCaption(table + QStringLiteral(" - Round ") + round);
        else
            ShowCaption(table);
        // Sort and filter were chosen for the rows of the previous load.
        state_.sort.clear();
        state_.filter.clear();
        ++state_.tableLoads;
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

void frmFlexGrid::ddlRoundNum_Click() {
    const QString table = ddlTableName->currentText();
    const QString round = ChosenRound();
    if (table.isEmpty() || round.isEmpty()) return;
    std::optional<BusyPointer> busy(std::in_place);
    try {
        store::Auction* auction = host_.OpenAuction();
        Data1.SetDatabase(auction ? auction->Db() : nullptr);
        Data1.RecordSource =
            QString::fromStdString(store::Auction::RowsSource(table.toStdString(), round.toStdString()));
        Data1.Refresh();
        ShowCaption(table + QStringLiteral(" - Round ") + round);
        ApplySortAndFilter();
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

bool frmFlexGrid::IsLatestEntry(int index) const {
    return index >= 0 && ddlRoundNum->itemText(index) == QLatin1String(store::kLatestRoundEntry);
}

QString frmFlexGrid::ChosenRound() const {
    const int index = ddlRoundNum->currentIndex();
    if (index < 0) return {};
    // Latest holds the round it stands for; the shell's filling and each import set it.
    return IsLatestEntry(index) ? ddlRoundNum->itemData(index).toString() : ddlRoundNum->itemText(index);
}

int frmFlexGrid::RoundCount() const {
    const int count = ddlRoundNum->count();
    return count > 0 && IsLatestEntry(count - 1) ? count - 1 : count;
}

void frmFlexGrid::ChooseSortAndFilter(std::vector<SortKey> sort, std::vector<FilterRow> filter) {
    state_.sort = std::move(sort);
    state_.filter = std::move(filter);
    ApplySortAndFilter();
}

void frmFlexGrid::ApplySortAndFilter() {
    QPointer<frmFlexGrid> alive(this);
    if (!state_.filter.empty() && !state_.filter.front().column.empty()) HandelFlt();
    if (alive && !state_.sort.empty()) HandelSort();
}

void frmFlexGrid::HandelSort() {
    std::optional<BusyPointer> busy;
    try {
        busy.emplace();
        ShowDerived({}, SortText(state_.sort));
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

void frmFlexGrid::HandelFlt() {
    std::optional<BusyPointer> busy;
    try {
        // A viewer with no round or no table chosen has nothing to narrow.
        if (state_.round.empty() || state_.table.empty()) return;
        busy.emplace();
        const std::string filter = FilterText(state_.filter);
        if (filter.empty()) return;
        ShowDerived(filter, {});
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::ColonNoSpace, e);
    }
}

void frmFlexGrid::ShowDerived(const std::string& filter, const std::string& sort) {
    const std::shared_ptr<Recordset> shown = WholeResult();
    if (!shown) return;
    QPointer<frmFlexGrid> alive(this);
    std::shared_ptr<Recordset> derived = DeriveRecordset(shown, filter, sort);
    // The window may have been closed while the rows were computed.
    if (alive) SetRecordset(std::move(derived));
}

void frmFlexGrid::Activate() {
    if (ddlTableName->count() == 0 && ddlRoundNum->count() == 0) {
        host_.SetStatusPanel(1, QStringLiteral("Status"));
        return;
    }
    const QString round = ChosenRound();
    if (!round.isEmpty() && ddlRoundNum->isEnabledTo(this))
        host_.SetStatusPanel(1, ddlTableName->currentText() + QStringLiteral(" - Round ") + round);
    else
        host_.SetStatusPanel(1, ddlTableName->currentText());
}

QString frmFlexGrid::CaptionText() const {
    return windowTitle();
}

// The designed window: the lists above a grid of 7590 by 4860 twips.
QSize frmFlexGrid::sizeHint() const {
    return {520, 360};
}

void frmFlexGrid::ShowCaption(const QString& text) {
    host_.SetStatusPanel(1, text);
    setWindowTitle(text);
}

void frmFlexGrid::ReadAgainAfterWrites(const QList<frmFlexGrid*>& viewers, Database* db) {
    QList<QPointer<frmFlexGrid>> renew;
    QList<QPointer<frmFlexGrid>> onward;
    bool letGo = false;
    for (frmFlexGrid* v : viewers) {
        const bool held = v->LetGoOfFile();
        letGo = letGo || held;
        // A whole table shown has no round to move on; it is read again like any other.
        if (v->NewerLatestRound() && v->ddlRoundNum->isEnabledTo(v))
            onward.append(v);
        else if (held)
            renew.append(v);
    }
    // With no read of ours left open, the whole log is folded back unless another program is reading; the
    // rows read again then come from the file itself, so the next writes start the log afresh instead of
    // lengthening it.
    try {
        if (letGo && db) db->Checkpoint();
    } catch (const std::exception&) {
    }
    for (const QPointer<frmFlexGrid>& v : renew)
        if (v) v->ReadAgain();
    for (const QPointer<frmFlexGrid>& v : onward)
        if (v) v->ddlRoundNum_Click();
}

bool frmFlexGrid::NewerLatestRound() {
    const int index = ddlRoundNum->currentIndex();
    store::Auction* auction = host_.OpenAuction();
    if (!IsLatestEntry(index) || !auction) return false;
    QString newest;
    try {
        newest = QString::number(auction->LastRound());
    } catch (const std::exception&) {
        return false;  // the round shown stays; the next import tries again
    }
    if (newest == ddlRoundNum->itemData(index).toString()) return false;
    ddlRoundNum->setItemData(index, newest);
    state_.round = newest.toStdString();
    return true;
}

bool frmFlexGrid::LetGoOfFile() {
    const std::shared_ptr<Recordset>& shown = model_->GetRecordset();
    if (!shown || !shown->HoldsFileSnapshot() || Data1.RecordSource.isEmpty()) return false;
    place_ = Place{MSFlexGrid1->verticalScrollBar()->value(),
                   MSFlexGrid1->horizontalScrollBar()->value(),
                   MSFlexGrid1->currentIndex().row(),
                   MSFlexGrid1->currentIndex().column(),
                   {}};
    for (int c = 0; c < model_->columnCount(); ++c) place_.widths.push_back(MSFlexGrid1->columnWidth(c));
    Data1.SetRecordset(nullptr);
    return true;
}

void frmFlexGrid::ReadAgain() {
    std::optional<BusyPointer> busy(std::in_place);
    try {
        Data1.Refresh();
        ApplySortAndFilter();
        // The place may lie in rows still arriving.
        if (std::max(place_.top, place_.row) >= model_->rowCount()) WholeResult();
        for (int c = 0; c < model_->columnCount() && c < static_cast<int>(place_.widths.size()); ++c)
            MSFlexGrid1->setColumnWidth(c, place_.widths[static_cast<std::size_t>(c)]);
        const QModelIndex current = model_->index(place_.row, place_.column);
        if (current.isValid())
            MSFlexGrid1->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        MSFlexGrid1->verticalScrollBar()->setValue(place_.top);
        MSFlexGrid1->horizontalScrollBar()->setValue(place_.left);
    } catch (const std::exception& e) {
        busy.reset();
        ShowErrorBox(ErrorForm::NumberColon, e);
    }
}

void frmFlexGrid::SetRecordset(std::shared_ptr<Recordset> recordset) {
    Data1.SetRecordset(std::move(recordset));
}

void frmFlexGrid::BindGrid() {
    headerColumns_.clear();
    model_->SetRecordset(Data1.GetRecordset());
    SizeColumns();
}

void frmFlexGrid::SizeColumns() {
    const QFontMetrics cells = MSFlexGrid1->fontMetrics();
    const QFontMetrics headers = MSFlexGrid1->horizontalHeader()->fontMetrics();
    const int sample = std::min(model_->rowCount(), kSizingSampleRows);
    for (int c = 0; c < model_->columnCount(); ++c) {
        int width = headers.horizontalAdvance(model_->headerData(c, Qt::Horizontal).toString()) + 24;
        for (int r = 0; r < sample; ++r)
            width = std::max(width, cells.horizontalAdvance(model_->CellText(r, c)) + 16);
        MSFlexGrid1->setColumnWidth(c, std::min(width, kMaxColumnWidth));
    }
}

void frmFlexGrid::DroppingDown(QComboBox* list, long& savedIndex, bool tables) {
    if (list->currentIndex() >= 0) savedIndex = list->currentIndex();
    const bool latest = !tables && state_.latest;
    // Refilling is not a choice: the entries come and go without loading anything.
    refilling_ = true;
    try {
        if (tables)
            host_.PopulateTables();
        else
            host_.PopulateRounds();
    } catch (...) {
        refilling_ = false;
        throw;
    }
    refilling_ = false;
    // Latest stays chosen wherever the new rounds put it.
    if (latest && list->count() > 0) savedIndex = list->count() - 1;
}

void frmFlexGrid::ClosedUp(QComboBox* list, const long& savedIndex) {
    // The choice, if any, arrives after the list closes: look once it has.
    QTimer::singleShot(0, this, [this, list, &savedIndex] {
        if (list->currentIndex() >= 0) return;
        if (savedIndex >= 0 && savedIndex < list->count())
            list->setCurrentIndex(static_cast<int>(savedIndex));
    });
}

void frmFlexGrid::ColumnHeaderChosen(int column) {
    if (column < 0) return;
    if (static_cast<std::size_t>(column) >= headerColumns_.size()) headerColumns_.resize(column + 1);
    // A Ctrl+click on the header of a selected column takes it out again.
    headerColumns_[column] = MSFlexGrid1->selectionModel()->isColumnSelected(column, QModelIndex());
}

void frmFlexGrid::SelectionChanged(const QItemSelection& deselected) {
    // A header-selected column that loses any cell is no longer whole.
    for (const QItemSelectionRange& range : deselected) {
        for (int c = range.left(); c <= range.right(); ++c)
            if (static_cast<std::size_t>(c) < headerColumns_.size()) headerColumns_[c] = false;
    }
}

std::vector<SelectionBlock> frmFlexGrid::SelectedBlocks() const {
    std::vector<SelectionBlock> blocks;
    const QItemSelectionModel* selection = MSFlexGrid1->selectionModel();
    if (!selection) return blocks;
    for (const QItemSelectionRange& range : selection->selection()) {
        if (!range.isValid()) continue;
        SelectionBlock block{range.left(), range.right(), range.top(), range.bottom()};
        // Rows that arrived after the header click are outside the range, yet the column stays whole.
        bool whole = range.top() == 0;
        for (int c = range.left(); whole && c <= range.right(); ++c)
            whole = static_cast<std::size_t>(c) < headerColumns_.size() && headerColumns_[c];
        if (whole) block.firstRow = block.lastRow = -1;
        blocks.push_back(block);
    }
    return blocks;
}

std::shared_ptr<Recordset> frmFlexGrid::WholeResult() {
    std::shared_ptr<Recordset> shown = model_->GetRecordset();
    if (!shown) return shown;
    std::optional<BusyPointer> busy;
    if (shown->IsLoading()) busy.emplace();
    model_->WaitForAllRows();
    return shown;
}

void frmFlexGrid::ComputeSelection(const QString& operation) {
    int lastColumn = -1;
    int lastRow = -1;
    try {
        const CellTextReader reader = [this, &lastColumn, &lastRow](int column, int row) {
            lastColumn = column;
            lastRow = row;
            return model_->CellText(row, column);
        };
        // A whole column reads its values straight from the set: no text is built where the value alone
        // tells the number its text shows.
        const ColumnNumberReader column = [this, &lastColumn, &lastRow](
                                              int c, const std::function<void(double)>& add) {
            lastColumn = c;
            lastRow = 0;
            const std::shared_ptr<Recordset>& rs = model_->GetRecordset();
            if (!rs) return;
            const CellFormatter& formatter = model_->Formatter();
            const CellKind kind = model_->ColumnKind(c);
            const NumberReader numbers(formatter.Locale());
            rs->ScanColumn(c, [&](const Value& v) {
                if (v.isNull()) return false;
                if (const std::optional<double> d = formatter.ShownNumber(v, kind)) {
                    add(*d);
                } else {
                    const QString text = formatter.Format(v, kind);
                    if (text.isEmpty()) return false;
                    add(numbers.Read(text));
                }
                ++lastRow;
                return true;
            });
        };
        const std::vector<SelectionBlock> blocks = SelectedBlocks();
        // A whole column is scanned to its first empty cell, which may lie in rows not yet arrived.
        if (std::any_of(blocks.begin(), blocks.end(), [](const SelectionBlock& b) { return b.firstRow < 0; }))
            WholeResult();
        const std::optional<QString> text =
            ComputeSelectionText(blocks, reader, operation, model_->Formatter().Locale(), column);
        if (text) host_.SetStatusPanel(3, *text);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::ColonSpace, e);
    }
    // The current cell stays where the scan ended; the selection itself is left alone.
    const QModelIndex last = model_->index(std::min(lastRow, model_->rowCount() - 1), lastColumn);
    if (last.isValid()) {
        // Moving the current cell must not scroll a whole-column scan's end into view.
        const bool autoScroll = MSFlexGrid1->hasAutoScroll();
        MSFlexGrid1->setAutoScroll(false);
        MSFlexGrid1->selectionModel()->setCurrentIndex(last, QItemSelectionModel::NoUpdate);
        MSFlexGrid1->setAutoScroll(autoScroll);
    }
}

}  // namespace corv
