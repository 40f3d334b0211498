#include <gtest/gtest.h>

#include <QComboBox>

#include <filesystem>

#include "RecordingExcel.h"
#include "analysis/ExcelView.h"
#include "engine/Recordset.h"
#include "shell/frmMain.h"
#include "support/AuctionDatabase.h"
#include "support/FakeViewerHost.h"
#include "support/ScriptedDesktop.h"
#include "support/ViewerTest.h"
#include "viewer/RecordsetModel.h"
#include "viewer/frmFlexGrid.h"

using corv::frmFlexGrid;

namespace {

class ExcelViewTest : public corv::test::ViewerTest {
  protected:
    void SetUp() override {
        options_.rounds = 2;
        options_.bidsPerRound = 12;
        OpenAuction();
        viewer_ = NewViewer();
        Show(*viewer_, 1, "Markets and Bidders");  // round 2
    }

    // The calls an export of rs must make, from its first row.
    static std::vector<std::string> ExpectedCalls(corv::Recordset& rs) {
        std::vector<std::string> calls{"Workbooks.Add(1033)", "Sheets(\"sheet1\").Activate"};
        for (int k = 0; k < rs.FieldCount(); ++k)
            calls.push_back(corv::test::CellLine(1, k + 1, {corv::Value(rs.Field(k).name)}));
        for (std::size_t r = 0; r < rs.RowCount(); ++r)
            for (int k = 0; k < rs.FieldCount(); ++k)
                calls.push_back(corv::test::CellLine(
                    static_cast<long>(r) + 2, k + 1,
                    {rs.Cell(r, k), corv::FieldTypeFromDeclared(rs.Field(k).declaredType)}));
        calls.push_back("Visible(True, 1033)");
        return calls;
    }

    corv::test::RecordingExcelFactory excel_;
};

}  // namespace

TEST_F(ExcelViewTest, WritesHeaderThenEveryCellOfTheShownRoundThenShowsTheWorkbook) {
    corv::ExcelView(*viewer_);
    const auto rs = viewer_->GridModel()->GetRecordset();
    ASSERT_EQ(rs->RowCount(), static_cast<std::size_t>(options_.bidsPerRound));
    EXPECT_EQ(excel_.log->calls, ExpectedCalls(*rs));
    EXPECT_EQ(excel_.log->calls[10], "Cells(2, 2) = 2 [Long]");  // the round's own rows, typed
    EXPECT_EQ(excel_.log->applications, 1);
    EXPECT_TRUE(desktop_.boxes.empty());
    EXPECT_EQ(desktop_.maxBusyDepth, 1);
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(ExcelViewTest, ExportsTheSortedAndFilteredRowsTheGridShows) {
    auto rs = viewer_->GridModel()->GetRecordset();
    rs->Filter = "[Bid Amount] > 0 AND [Market] <> 'nothing'";
    rs->Sort = "[Bid Amount] DESC";
    auto narrowed = rs->OpenRecordset();
    rs->Filter = "[Market] = '" + narrowed->Cell(0, narrowed->FieldIndex("Market")).text() + "'";
    narrowed = rs->OpenRecordset();
    viewer_->SetRecordset(narrowed);
    ASSERT_LT(narrowed->RowCount(), static_cast<std::size_t>(options_.bidsPerRound));
    corv::ExcelView(*viewer_);
    EXPECT_EQ(excel_.log->calls, ExpectedCalls(*narrowed));
}

TEST_F(ExcelViewTest, EmptyResultIsAnErrorBoxWithoutAWorkbook) {
    auto rs = viewer_->GridModel()->GetRecordset();
    rs->Filter = "[Round] = 99";
    viewer_->SetRecordset(rs->OpenRecordset());
    corv::ExcelView(*viewer_);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text, "Error 3021: There is no current record.");
    EXPECT_EQ(desktop_.boxes[0].title, "");
    EXPECT_EQ(desktop_.boxes[0].icon, corv::MsgIcon::None);
    EXPECT_TRUE(excel_.log->calls.empty());
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
}

TEST_F(ExcelViewTest, SecondExportAddsAWorkbookToTheSameApplication) {
    corv::ExcelView(*viewer_);
    const std::size_t first = excel_.log->calls.size();
    corv::ExcelView(*viewer_);
    EXPECT_EQ(excel_.log->applications, 1);
    ASSERT_EQ(excel_.log->calls.size(), 2 * first);
    EXPECT_EQ(excel_.log->calls[first], "Workbooks.Add(1033)");
}

TEST_F(ExcelViewTest, ASpreadsheetFailureEndsTheExportInTheErrorBox) {
    excel_.log->failAt = 4;  // the second column name
    excel_.log->failDescription = "Refused";
    corv::ExcelView(*viewer_);
    EXPECT_EQ(excel_.log->calls.size(), 4u);
    ASSERT_EQ(desktop_.boxes.size(), 1u);
    EXPECT_EQ(desktop_.boxes[0].text, "Error 1004: Refused");
    EXPECT_EQ(desktop_.busyDepth, 0);
    EXPECT_EQ(desktop_.BusyAtOkBoxes(), 0);
    // The workbook added before the failure stays with the application, which the next export reuses.
    excel_.log->failAt = 0;
    corv::ExcelView(*viewer_);
    EXPECT_EQ(excel_.log->applications, 1);
    EXPECT_EQ(excel_.log->calls.back(), "Visible(True, 1033)");
}

TEST_F(ExcelViewTest, WithoutARecorderTheWorkbookIsSavedInTheProgramFolderAndOpened) {
    corv::SetExcelFactory({});
    desktop_.SetProgramFolder(folder_.Path());
    corv::ExcelView(*viewer_);
    const std::vector<std::string> book{folder_.File("Workbooks/Book1.xlsx")};
    EXPECT_EQ(desktop_.openedFiles, book);
    EXPECT_TRUE(std::filesystem::exists(book[0]));
    EXPECT_TRUE(desktop_.boxes.empty());
}

TEST_F(ExcelViewTest, MenuItemAndToolbarKeyRunTheExportOnTheActiveViewer) {
    corv::frmMain w;
    w.Session().Open(path_);
    EXPECT_TRUE(w.ToolbarButton("ExcelExp")->isEnabled());
    w.FileNew();
    w.MenuItem("mnuToolsExcel")->trigger();
    ASSERT_FALSE(excel_.log->calls.empty());
    EXPECT_EQ(excel_.log->calls.back(), "Visible(True, 1033)");
    EXPECT_TRUE(desktop_.boxes.empty());
}
