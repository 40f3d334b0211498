#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <map>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "store/Auction.h"
#include "store/LatestRound.h"
#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "viewer/CellFormatter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/ViewerHost.h"
#include "viewer/frmFlexGrid.h"

using corv::frmFlexGrid;

namespace {

using FakeHost = corv::test::FakeViewerHost;

class ViewerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        corv::test::TestApp();
        desktop_.Install();
        options_.rounds = 3;
        options_.bidsPerRound = 20;
        path_ = corv::test::BuildAuctionDatabase(folder_.Path(), options_);
        host_.session.Open(path_);
    }
    void TearDown() override { host_.session.Close(); }

    // What the main window's New command does.
    std::unique_ptr<frmFlexGrid> NewViewer() {
        auto viewer = std::make_unique<frmFlexGrid>(host_);
        viewer->resize(700, 500);
        viewer->show();
        host_.active = viewer.get();
        host_.PopulateTables();
        host_.PopulateRounds();
        viewer->ddlRoundNum->setCurrentIndex(0);
        viewer->ddlTableName->setCurrentIndex(0);
        return viewer;
    }
    static void Choose(QComboBox* list, const QString& text) {
        const int i = list->findText(text);
        ASSERT_GE(i, 0) << text.toStdString();
        list->setCurrentIndex(i);
    }
    void AddViewableTable(const std::string& name, bool supplied) {
        std::string sql = "INSERT INTO sysTables VALUES ('" + name + "');";
        if (supplied) sql += "INSERT INTO sysSuppliedTables VALUES ('" + name + "');";
        corv::test::RunSqlite(path_, sql);
    }
    int Rows(const frmFlexGrid& v) const { return v.GridModel()->rowCount(); }
    int Column(const frmFlexGrid& v, const QString& name) const {
        for (int c = 0; c < v.GridModel()->columnCount(); ++c)
            if (v.GridModel()->headerData(c, Qt::Horizontal).toString() == name) return c;
        return -1;
    }
    long long Count(const std::string& sql) const { return corv::test::QueryCount(path_, sql); }

    corv::test::TempFolder folder_;
    corv::test::ScriptedDesktop desktop_;
    corv::fixture::AuctionOptions options_;
    std::string path_;
    FakeHost host_;
};

}  // namespace

TEST_F(ViewerWindowTest, FreshWindowBeforeAnyChoice) {
    frmFlexGrid viewer(host_);
    EXPECT_EQ(viewer.CaptionText(), "New Table Selection");
    EXPECT_EQ(viewer.windowTitle(), "New Table Selection");
    EXPECT_EQ(viewer.lblTableName->text(), "Table:");
    EXPECT_EQ(viewer.lblRoundNum->text(), "Round:");
    EXPECT_FALSE(viewer.ddlTableName->isEditable());
    EXPECT_FALSE(viewer.ddlRoundNum->isEditable());
    EXPECT_EQ(viewer.State().tableLoads, 0u);
    EXPECT_TRUE(viewer.State().sort.empty());
    EXPECT_TRUE(viewer.State().filter.empty());
    EXPECT_EQ(viewer.SavedTableIndex, 0);
    EXPECT_EQ(viewer.SavedRoundIndex, 0);
    EXPECT_EQ(viewer.MSFlexGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(viewer.MSFlexGrid1->selectionMode(), QAbstractItemView::ExtendedSelection);
    host_.panels[1] = "Markets and Bidders";
    viewer.Activate();
    EXPECT_EQ(host_.panels[1], "Status");
}

TEST_F(ViewerWindowTest, NewViewerShowsFirstTableForRoundOne) {
    auto viewer = NewViewer();
    EXPECT_EQ(viewer->CaptionText(), "Markets and Bidders - Round 1");
    EXPECT_EQ(host_.panels[1], "Markets and Bidders - Round 1");
    EXPECT_TRUE(viewer->ddlRoundNum->isEnabled());
    EXPECT_EQ(viewer->Data1.RecordSource, "SELECT * FROM [Markets and Bidders] WHERE [Round] = 1");
    EXPECT_EQ(viewer->Data1.DatabaseName(), path_);
    ASSERT_EQ(Rows(*viewer), options_.bidsPerRound);
    const int round = Column(*viewer, "Round");
    ASSERT_GE(round, 0);
    for (int r = 0; r < Rows(*viewer); ++r) ASSERT_EQ(viewer->GridModel()->CellText(r, round), "1");
    EXPECT_EQ(viewer->GridModel()->headerData(0, Qt::Vertical).toString(), "1");
    // Every column header readable: no column narrower than its name.
    const QFontMetrics fm = viewer->MSFlexGrid1->horizontalHeader()->fontMetrics();
    for (int c = 0; c < viewer->GridModel()->columnCount(); ++c)
        EXPECT_GE(viewer->MSFlexGrid1->columnWidth(c),
                  fm.horizontalAdvance(viewer->GridModel()->headerData(c, Qt::Horizontal).toString()));
    EXPECT_EQ(desktop_.boxes.size(), 0u);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

// A crosstab as the window's source: a column per bidder, its sums shown as money.
TEST_F(ViewerWindowTest, CrosstabSourceShowsMoneyColumns) {
    auto viewer = NewViewer();
    viewer->Data1.RecordSource =
        "TRANSFORM Sum([Bid Amount]) SELECT [Round] FROM [Markets and Bidders] GROUP BY [Round] "
        "PIVOT [Bidder Name]";
    viewer->Data1.Refresh();
    EXPECT_EQ(Rows(*viewer), Count("SELECT COUNT(DISTINCT Round) FROM [Markets and Bidders]"));
    const auto rs = viewer->Data1.GetRecordset();
    ASSERT_GT(rs->FieldCount(), 1);
    EXPECT_EQ(viewer->GridModel()->CellText(0, 1),
              corv::CellFormatter().Format(rs->Cell(0, 1), corv::CellKind::Currency));
}

TEST_F(ViewerWindowTest, StatisticsTableShownWholeWithRoundListDisabled) {
    auto viewer = NewViewer();
    Choose(viewer->ddlTableName, "Round Statistics");
    EXPECT_EQ(viewer->CaptionText(), "Round Statistics");
    EXPECT_EQ(host_.panels[1], "Round Statistics");
    EXPECT_FALSE(viewer->ddlRoundNum->isEnabled());
    EXPECT_EQ(viewer->Data1.RecordSource, "SELECT * FROM [Round Statistics]");
    EXPECT_EQ(Rows(*viewer), Count("SELECT COUNT(*) FROM \"Round Statistics\""));
    EXPECT_GT(Rows(*viewer), Count("SELECT COUNT(*) FROM \"Round Statistics\" WHERE Round = 1"));

    // Back to a per-round table: the round list comes back.
    Choose(viewer->ddlTableName, "Bidder Eligibility");
    EXPECT_TRUE(viewer->ddlRoundNum->isEnabled());
    EXPECT_EQ(viewer->CaptionText(), "Bidder Eligibility - Round 1");
    EXPECT_EQ(Rows(*viewer), Count("SELECT COUNT(*) FROM \"Bidder Eligibility\" WHERE Round = 1"));
}

TEST_F(ViewerWindowTest, UserBuiltTableShownWholeEvenWithRoundColumn) {
    corv::test::RunSqlite(path_, "CREATE TABLE \"High Bids\" AS SELECT * FROM \"Markets and Bidders\"");
    AddViewableTable("High Bids", false);
    auto viewer = NewViewer();
    Choose(viewer->ddlTableName, "High Bids");
    EXPECT_EQ(viewer->CaptionText(), "High Bids");
    EXPECT_FALSE(viewer->ddlRoundNum->isEnabled());
    EXPECT_EQ(Rows(*viewer), options_.bidsPerRound * options_.rounds);
    viewer->Activate();
    EXPECT_EQ(host_.panels[1], "High Bids");
}

TEST_F(ViewerWindowTest, QuoteInTableNameIsNoError) {
    // The supplied-table lookup breaks on the quote; the table is then shown whole.
    corv::test::RunSqlite(path_,
                          "CREATE TABLE \"Bidder's Notes\" (\"Round\" Long, \"Note\" Text);"
                          "INSERT INTO \"Bidder's Notes\" VALUES (1, 'a'), (2, 'b');");
    AddViewableTable("Bidder''s Notes", true);
    auto viewer = NewViewer();
    Choose(viewer->ddlTableName, "Bidder's Notes");
    EXPECT_EQ(desktop_.boxes.size(), 0u);
    EXPECT_EQ(viewer->CaptionText(), "Bidder's Notes");
    EXPECT_FALSE(viewer->ddlRoundNum->isEnabled());
    EXPECT_EQ(Rows(*viewer), 2);
}

TEST_F(ViewerWindowTest, PerRoundTableWithoutRoundColumnReportsError) {
    corv::test::RunSqlite(path_,
                          "CREATE TABLE \"Notes\" (\"Note\" Text); INSERT INTO \"Notes\" VALUES ('x');");
    AddViewableTable("Notes", true);
    auto viewer = NewViewer();
    const auto shownBefore = viewer->Data1.GetRecordset();
    Choose(viewer->ddlTableName, "Notes");
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    const auto& box = desktop_.boxes[0];
    EXPECT_EQ(box.text.rfind("Error ", 0), 0u) << box.text;
    EXPECT_NE(box.text.find(": "), std::string::npos) << box.text;
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.icon, corv::MsgIcon::None);
    EXPECT_EQ(box.buttons, corv::MsgButtons::OK);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
    // The grid keeps the rows it showed; the caption is not changed by a failed load.
    EXPECT_EQ(viewer->Data1.GetRecordset(), shownBefore);
    EXPECT_EQ(viewer->CaptionText(), "Markets and Bidders - Round 1");
}

TEST_F(ViewerWindowTest, RoundChangeFiltersByRoundAndKeepsSortFilterState) {
    auto viewer = NewViewer();
    viewer->ChooseSortAndFilter({{"Market", true}}, {});
    const unsigned long loads = viewer->State().tableLoads;
    Choose(viewer->ddlRoundNum, "2");
    EXPECT_EQ(viewer->CaptionText(), "Markets and Bidders - Round 2");
    EXPECT_EQ(host_.panels[1], "Markets and Bidders - Round 2");
    EXPECT_EQ(viewer->Data1.RecordSource, "SELECT * FROM [Markets and Bidders] WHERE [Round] = 2");
    const int round = Column(*viewer, "Round");
    ASSERT_EQ(Rows(*viewer), options_.bidsPerRound);
    EXPECT_EQ(viewer->GridModel()->CellText(0, round), "2");
    EXPECT_EQ(viewer->State().round, "2");
    EXPECT_EQ(viewer->State().tableLoads, loads);
    EXPECT_EQ(viewer->State().sort.size(), 1u);

    // A table change forgets the sort and filter.
    Choose(viewer->ddlTableName, "Waiver Statistics");
    EXPECT_GT(viewer->State().tableLoads, loads);
    EXPECT_TRUE(viewer->State().sort.empty());
    viewer->ChooseSortAndFilter({}, {{"Round", "=", "2", ""}});
    Choose(viewer->ddlTableName, "Bidder Eligibility");
    EXPECT_TRUE(viewer->State().filter.empty());
    EXPECT_EQ(viewer->State().table, "Bidder Eligibility");
    EXPECT_EQ(viewer->CaptionText(), "Bidder Eligibility - Round 2");
}

TEST_F(ViewerWindowTest, NothingLoadsWithoutBothChoices) {
    frmFlexGrid viewer(host_);
    host_.active = &viewer;
    // Filling an empty list chooses nothing, even without the filler saying so.
    viewer.ddlTableName->addItem("Markets and Bidders");
    viewer.ddlTableName->addItem("Round Statistics");
    EXPECT_EQ(viewer.ddlTableName->currentIndex(), -1);
    EXPECT_EQ(viewer.ddlTableName->currentText(), "");
    viewer.ddlTableName->setCurrentIndex(0);
    EXPECT_EQ(viewer.Data1.GetRecordset(), nullptr);
    EXPECT_EQ(viewer.CaptionText(), "New Table Selection");
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(ViewerWindowTest, CaptionReachesTheChildWindowFrame) {
    QMdiArea area;
    auto* viewer = new frmFlexGrid(host_);
    QMdiSubWindow* sub = area.addSubWindow(viewer);
    area.show();
    sub->show();
    EXPECT_EQ(sub->windowTitle(), "New Table Selection");
    host_.active = viewer;
    host_.PopulateTables();
    host_.PopulateRounds();
    viewer->ddlRoundNum->setCurrentIndex(0);
    viewer->ddlTableName->setCurrentIndex(0);
    EXPECT_EQ(sub->windowTitle(), "Markets and Bidders - Round 1");
    // The grid fills the window below the lists.
    sub->resize(640, 480);
    QTest::qWait(10);
    const QRect grid = viewer->MSFlexGrid1->geometry();
    EXPECT_EQ(grid.left(), 0);
    EXPECT_EQ(grid.right(), viewer->width() - 1);
    EXPECT_EQ(grid.bottom(), viewer->height() - 1);
    EXPECT_GE(grid.top(), viewer->ddlTableName->geometry().bottom());
}

TEST_F(ViewerWindowTest, SetRecordsetBindsWithoutRunningTheQuery) {
    auto viewer = NewViewer();
    auto narrowed = host_.OpenAuction()->Data().OpenRecordset(
        "SELECT * FROM [Markets and Bidders] WHERE [Round] = 3 AND [Bid Amount] > 0",
        corv::RecordsetType::Snapshot);
    viewer->SetRecordset(narrowed);
    EXPECT_EQ(viewer->Data1.GetRecordset(), narrowed);
    EXPECT_EQ(viewer->Data1.RecordSource, "SELECT * FROM [Markets and Bidders] WHERE [Round] = 1");
    EXPECT_EQ(viewer->GridModel()->CellText(0, Column(*viewer, "Round")), "3");
}

TEST_F(ViewerWindowTest, RoundListReselectsOnCloseWithoutChoiceAndListsNewRound) {
    auto viewer = NewViewer();
    Choose(viewer->ddlRoundNum, "2");
    // A round imported while the viewer is open.
    corv::test::RunSqlite(path_, "INSERT INTO sysRounds VALUES (4)");
    const auto before = viewer->Data1.GetRecordset();

    viewer->ddlRoundNum->showPopup();
    EXPECT_EQ(host_.roundFills, 2);
    EXPECT_EQ(viewer->SavedRoundIndex, 1);
    EXPECT_EQ(viewer->ddlRoundNum->count(), 5);
    EXPECT_EQ(viewer->ddlRoundNum->itemText(3), "4");
    EXPECT_EQ(viewer->ddlRoundNum->itemText(4), corv::store::kLatestRoundEntry);
    EXPECT_EQ(viewer->ddlRoundNum->currentIndex(), -1);
    viewer->ddlRoundNum->hidePopup();
    QTest::qWait(20);
    EXPECT_EQ(viewer->ddlRoundNum->currentIndex(), 1);
    EXPECT_NE(viewer->Data1.GetRecordset(), before);  // reselecting reloads
    EXPECT_EQ(viewer->CaptionText(), "Markets and Bidders - Round 2");
}

TEST_F(ViewerWindowTest, ChoiceMadeInTheDropDownWins) {
    auto viewer = NewViewer();
    viewer->ddlRoundNum->showPopup();
    // The list closes first, then reports the chosen entry.
    viewer->ddlRoundNum->hidePopup();
    viewer->ddlRoundNum->setCurrentIndex(2);
    QTest::qWait(20);
    EXPECT_EQ(viewer->ddlRoundNum->currentIndex(), 2);
    EXPECT_EQ(viewer->CaptionText(), "Markets and Bidders - Round 3");
}

TEST_F(ViewerWindowTest, TableListShowsNewTablesAndReselects) {
    auto viewer = NewViewer();
    Choose(viewer->ddlTableName, "Waiver Statistics");
    const int shownIndex = viewer->ddlTableName->currentIndex();
    corv::test::RunSqlite(path_, "CREATE TABLE \"Wizard Table\" AS SELECT * FROM \"Waiver Statistics\"");
    AddViewableTable("Wizard Table", false);
    const unsigned long loads = viewer->State().tableLoads;

    viewer->ddlTableName->showPopup();
    EXPECT_EQ(viewer->SavedTableIndex, shownIndex);
    EXPECT_GE(viewer->ddlTableName->findText("Wizard Table"), 0);
    viewer->ddlTableName->hidePopup();
    QTest::qWait(20);
    EXPECT_EQ(viewer->ddlTableName->currentText(), "Waiver Statistics");
    EXPECT_GT(viewer->State().tableLoads, loads);  // reselecting is choosing: the table loaded again

    // Dropped down twice without a choice: the remembered position stays.
    viewer->ddlTableName->setCurrentIndex(-1);
    viewer->ddlTableName->showPopup();
    viewer->ddlTableName->hidePopup();
    QTest::qWait(20);
    EXPECT_EQ(viewer->ddlTableName->currentText(), "Waiver Statistics");

    // A remembered position the list no longer reaches (a table dropped meanwhile) selects nothing.
    viewer->SavedTableIndex = 99;
    viewer->ddlTableName->setCurrentIndex(-1);
    viewer->ddlTableName->showPopup();
    viewer->ddlTableName->hidePopup();
    QTest::qWait(20);
    EXPECT_EQ(viewer->ddlTableName->currentIndex(), -1);
    EXPECT_EQ(viewer->CaptionText(), "Waiver Statistics");
    EXPECT_EQ(desktop_.boxes.size(), 0u);
}

TEST_F(ViewerWindowTest, ActivationShowsEachWindowsTableAndRound) {
    auto first = NewViewer();
    auto second = NewViewer();
    Choose(second->ddlTableName, "Increment Statistics");
    Choose(first->ddlRoundNum, "3");
    first->Activate();
    EXPECT_EQ(host_.panels[1], "Markets and Bidders - Round 3");
    second->Activate();
    EXPECT_EQ(host_.panels[1], "Increment Statistics");
}

TEST_F(ViewerWindowTest, NoAuctionOpenReportsTheError) {
    auto viewer = NewViewer();
    host_.session.Close();
    Choose(viewer->ddlRoundNum, "2");
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text.rfind("Error 91: ", 0), 0u) << desktop_.boxes[0].text;
    EXPECT_EQ(viewer->CaptionText(), "Markets and Bidders - Round 1");
}

// --- selection statistics through the grid ---

class ViewerStatisticsTest : public ViewerWindowTest {
  protected:
    void SetUp() override {
        ViewerWindowTest::SetUp();
        corv::test::RunSqlite(
            path_,
            "CREATE TABLE Figures (\"Round\" Long, Label Text, Amount Currency, Gap Double);"
            "INSERT INTO Figures VALUES (1, 'a', 10, NULL), (2, 'b', 20, 5), (3, 'Alpine', 30, 6),"
            "(4, 'd', 1234.5, 7), (5, 'e', 0.5, 8), (6, NULL, NULL, 9), (7, 'g', 40, 10);");
        AddViewableTable("Figures", false);
        viewer_ = NewViewer();
        Choose(viewer_->ddlTableName, "Figures");
        ASSERT_EQ(Rows(*viewer_), 7);
    }
    void Select(int top, int column, int bottom, int lastColumn = -1) {
        auto* m = viewer_->GridModel();
        viewer_->MSFlexGrid1->selectionModel()->select(
            QItemSelection(m->index(top, column), m->index(bottom, lastColumn < 0 ? column : lastColumn)),
            QItemSelectionModel::Select);
    }
    std::string Panel3(const char* op) {
        viewer_->ComputeSelection(op);
        return host_.panels[3].toStdString();
    }
    QPoint CellCenter(int row, int column) {
        return viewer_->MSFlexGrid1->visualRect(viewer_->GridModel()->index(row, column)).center();
    }
    void ClickHeader(int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QHeaderView* header = viewer_->MSFlexGrid1->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers, QPoint(x, header->height() / 2));
    }
    std::unique_ptr<frmFlexGrid> viewer_;
};

TEST_F(ViewerStatisticsTest, NoSelectionLeavesPanelUnchanged) {
    viewer_->MSFlexGrid1->clearSelection();
    EXPECT_EQ(Panel3("Sum"), "NUM");
    EXPECT_EQ(desktop_.boxes.size(), 0u);
}

TEST_F(ViewerStatisticsTest, BlockOfShownMoney) {
    Select(0, 2, 2);
    EXPECT_EQ(Panel3("Sum"), "60.00");
    EXPECT_EQ(Panel3("Average"), "20.00");
    EXPECT_EQ(Panel3("Count"), "3.00");
    viewer_->MSFlexGrid1->clearSelection();
    Select(3, 2, 4);  // shown as 1,234.50 and 0.50
    EXPECT_EQ(Panel3("Sum"), "1,235.00");
    EXPECT_EQ(Panel3("Unknown"), "1,235.00");
}

TEST_F(ViewerStatisticsTest, CtrlClickAddsABlockInTheSameColumn) {
    QWidget* cells = viewer_->MSFlexGrid1->viewport();
    QTest::mouseClick(cells, Qt::LeftButton, Qt::NoModifier, CellCenter(0, 0));
    QTest::mouseClick(cells, Qt::LeftButton, Qt::ControlModifier, CellCenter(4, 0));
    EXPECT_EQ(Panel3("Sum"), "6.00");
    EXPECT_EQ(Panel3("Count"), "2.00");
    QTest::mouseClick(cells, Qt::LeftButton, Qt::ControlModifier, CellCenter(1, 3));
    EXPECT_EQ(Panel3("Sum"), "0");
}

TEST_F(ViewerStatisticsTest, SpanningTwoColumnsShowsZero) {
    Select(0, 2, 1, 3);
    EXPECT_EQ(Panel3("Sum"), "0");
}

TEST_F(ViewerStatisticsTest, WordOrEmptyCellShowsZeroWithoutMessage) {
    Select(1, 1, 2);
    EXPECT_EQ(Panel3("Sum"), "0");
    viewer_->MSFlexGrid1->clearSelection();
    Select(4, 2, 6);
    EXPECT_EQ(Panel3("Count"), "0");
    EXPECT_EQ(desktop_.boxes.size(), 0u);
}

TEST_F(ViewerStatisticsTest, HeaderClickSumsWholeColumnToFirstEmptyCell) {
    ClickHeader(2);
    const auto blocks = viewer_->SelectedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].firstRow, -1);
    EXPECT_EQ(Panel3("Sum"), "1,295.00");  // 10+20+30+1234.5+0.5, stopping at the empty sixth row
    EXPECT_EQ(Panel3("Count"), "5.00");
    // The current cell is left where the scan stopped.
    EXPECT_EQ(viewer_->MSFlexGrid1->currentIndex().row(), 5);
}

TEST_F(ViewerStatisticsTest, OnlyAHeaderClickSelectsAWholeColumn) {
    // Cells dragged over every row are a block: its empty cell is a mismatch, not the end of a column.
    Select(0, 2, 6);
    EXPECT_EQ(Panel3("Sum"), "0");
    // A header click, then a Ctrl+click taking one cell out: what is left is two blocks.
    ClickHeader(2);
    QTest::mouseClick(viewer_->MSFlexGrid1->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      CellCenter(5, 2));
    EXPECT_EQ(Panel3("Count"), "6.00");
    // The header clicked again: whole once more.
    ClickHeader(2);
    EXPECT_EQ(Panel3("Count"), "5.00");
}

TEST_F(ViewerStatisticsTest, AverageOfEmptyWholeColumnIsAnErrorBox) {
    ClickHeader(3);  // its first cell is empty
    EXPECT_EQ(Panel3("Sum"), ".00");
    EXPECT_EQ(Panel3("Average"), ".00");  // unchanged by the failure
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text, "Error: 11 Division by zero");
    EXPECT_EQ(desktop_.boxes[0].title, "");
    EXPECT_EQ(desktop_.boxes[0].icon, corv::MsgIcon::None);
}

// --- commands that need the whole result, on a table still loading ---

class ViewerWholeResultTest : public ViewerWindowTest {
  protected:
    static constexpr int kBig = 200000;
    void SetUp() override {
        ViewerWindowTest::SetUp();
        corv::test::RunSqlite(
            path_,
            "CREATE TABLE Big (N Long, Code Text);"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                std::to_string(kBig) +
                ") INSERT INTO Big SELECT i, CASE WHEN i = 150000 THEN 'x' ELSE i END FROM n;");
        viewer_ = NewViewer();
    }
    void ClickHeader(int column) {
        QHeaderView* header = viewer_->MSFlexGrid1->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(x, header->height() / 2));
    }
    std::unique_ptr<frmFlexGrid> viewer_;
};

TEST_F(ViewerWholeResultTest, SumOverAColumnStillLoadingCoversEveryRow) {
    viewer_->SetRecordset(host_.OpenAuction()->Data().OpenRecordset("SELECT [N] FROM [Big]"));
    ClickHeader(0);
    ASSERT_LT(Rows(*viewer_), kBig);  // the grid has only the first rows so far
    viewer_->ComputeSelection("Sum");
    EXPECT_EQ(host_.panels[3], "20,000,100,000.00");
    EXPECT_EQ(Rows(*viewer_), kBig);
    EXPECT_EQ(desktop_.boxes.size(), 0u);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(ViewerWholeResultTest, ALoadingFailureIsReportedByTheCommandOnce) {
    viewer_->SetRecordset(host_.OpenAuction()->Data().OpenRecordset("SELECT CLng([Code]) AS N FROM [Big]"));
    ClickHeader(0);
    viewer_->ComputeSelection("Sum");
    EXPECT_EQ(host_.panels[3], "NUM");
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text.rfind("Error: 13 ", 0), 0u) << desktop_.boxes[0].text;
    viewer_->GridModel()->AddArrivedRows();  // the grid's own look must not report it again
    EXPECT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(Rows(*viewer_), 149999);
}

TEST_F(ViewerWholeResultTest, AfterWritesAWholeTableLetsGoOfItsReadAndKeepsItsPlace) {
    corv::test::RunSqlite(path_, "INSERT INTO sysTables VALUES ('Big');");
    host_.PopulateTables();
    Choose(viewer_->ddlTableName, "Big");
    viewer_->ChooseSortAndFilter({{"N", false}}, {});
    ASSERT_TRUE(viewer_->GridModel()->GetRecordset()->HoldsFileSnapshot());
    auto* grid = viewer_->MSFlexGrid1;
    grid->setColumnWidth(1, 77);
    grid->scrollTo(viewer_->GridModel()->index(150000, 0), QAbstractItemView::PositionAtTop);
    grid->selectionModel()->setCurrentIndex(viewer_->GridModel()->index(150010, 1),
                                            QItemSelectionModel::NoUpdate);
    const int top = grid->verticalScrollBar()->value();
    corv::test::RunSqlite(path_, "INSERT INTO Big VALUES (" + std::to_string(kBig + 1) + ", 'new');");
    const std::string log = path_ + "-wal";
    const auto logged = std::filesystem::file_size(log);
    ASSERT_GT(logged, 0u);

    frmFlexGrid::ReadAgainAfterWrites({viewer_.get()}, host_.OpenAuction()->Db().get());
    // Folded back whole, the log is written afresh from its start by the next write.
    corv::test::RunSqlite(path_, "INSERT INTO Big VALUES (" + std::to_string(kBig + 2) + ", 'newer');");
    EXPECT_LE(std::filesystem::file_size(log), logged);
    EXPECT_EQ(viewer_->GridModel()->CellText(0, 0), QString::number(kBig + 1));  // still sorted
    EXPECT_EQ(Rows(*viewer_), kBig + 1);
    EXPECT_EQ(grid->verticalScrollBar()->value(), top);
    EXPECT_EQ(grid->currentIndex(), viewer_->GridModel()->index(150010, 1));
    EXPECT_EQ(grid->columnWidth(1), 77);
    EXPECT_EQ(desktop_.boxes.size(), 0u);
}

TEST_F(ViewerWholeResultTest, AWholeTableLetGoOfLeavesTheClosedFileFreeToRename) {
    corv::test::RunSqlite(path_, "INSERT INTO sysTables VALUES ('Big');");
    host_.PopulateTables();
    Choose(viewer_->ddlTableName, "Big");
    ASSERT_TRUE(viewer_->GridModel()->GetRecordset()->HoldsFileSnapshot());
    host_.session.Close();
    EXPECT_TRUE(viewer_->LetGoOfFile());
    EXPECT_EQ(Rows(*viewer_), 0);
    const std::string aside = folder_.File("aside.mdb");
    corv::Engine().RenameDatabaseFile(path_, aside);
    EXPECT_TRUE(std::filesystem::exists(aside));
}
