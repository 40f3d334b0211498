// Running the command table's commands: what each needs, the guard before it, and the function it names.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <string>
#include <utility>
#include <vector>

#include "ShellTestSupport.h"
#include "engine/CorvError.h"
#include "queries/frmQuery.h"
#include "shell/frmMain.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

TEST_F(MainWindowTest, CommandsAreEnabledOnlyWhileBound) {
    frmMain w;
    for (const char* name : {"mnuFileExport", "mnuFilePrint", "mnuToolsTableWizard", "mnuToolsSQLCommandLine",
                             "mnuToolsDropTable", "mnuToolsAnalysis", "mnuFileNew", "mnuFileImport"})
        EXPECT_TRUE(w.MenuItem(name)->isEnabled()) << name;
    for (const char* key : {"Print", "TableWizard", "SQL", "DropTable"})
        EXPECT_TRUE(w.ToolbarButton(key)->isEnabled()) << key;

    frmMain unbound(nullptr, {},
                    CommandsWith({{"mnuToolsTableWizard", nullptr},
                                  {"mnuToolsSQLCommandLine", nullptr},
                                  {"mnuToolsAnalysisMarkets", nullptr},
                                  {"mnuToolsAnalysisBidders", nullptr}}));
    EXPECT_FALSE(unbound.MenuItem("mnuToolsTableWizard")->isEnabled());
    EXPECT_FALSE(unbound.ToolbarButton("TableWizard")->isEnabled());
    EXPECT_TRUE(unbound.ToolbarButton("DropTable")->isEnabled());
    EXPECT_FALSE(unbound.ToolbarButton("SQL")->isEnabled());
    // The pivot submenu is usable while any one of its analyses is.
    EXPECT_TRUE(unbound.MenuItem("mnuToolsAnalysis")->isEnabled());
    frmMain none(nullptr, {},
                 CommandsWith({{"mnuToolsAnalysisMarkets", nullptr},
                               {"mnuToolsAnalysisBidders", nullptr},
                               {"mnuToolsAnalysisRounds", nullptr}}));
    EXPECT_FALSE(none.MenuItem("mnuToolsAnalysis")->isEnabled());
}

TEST_F(MainWindowTest, ToolbarClickRunsTheCommandOfItsExactKey) {
    int sorts = 0, drops = 0;
    frmMain w(nullptr, {},
              CommandsWith({{"mnuToolsSortTable", [&](CommandContext&) { ++sorts; }},
                            {"mnuToolsDropTable", [&](CommandContext&) { ++drops; }}}));
    OpenFixtureAuction(w);
    w.FileNew();
    ASSERT_EQ(w.Viewers().size(), 1);
    w.ToolbarClick("Sort");
    EXPECT_EQ(sorts, 1);
    w.ToolbarClick("sort");
    w.ToolbarClick("Sorting");
    w.ToolbarClick("");
    EXPECT_EQ(sorts, 1);
    w.ToolbarButton("DropTable")->trigger();
    EXPECT_EQ(drops, 1);
    w.ToolbarButton("New")->trigger();
    EXPECT_EQ(w.Viewers().size(), 2);
    EXPECT_TRUE(desktop.boxes.empty()) << desktop.boxes[0].text;
}

TEST_F(MainWindowTest, ACommandAddedAsOneRowIsInTheMenuAndOnTheToolbarAndRunsWithItsContext) {
    std::vector<CommandContext> runs;
    std::vector<CommandRow> rows = CommandTable();
    rows.push_back({.kind = RowKind::Item,
                    .parent = "mnuTools",
                    .name = "mnuToolsCount",
                    .caption = "&Count Rounds",
                    .needs = Needs::Auction,
                    .run = [&](CommandContext& c) { runs.push_back(c); },
                    .toolbarKey = "Count",
                    .icon = ":/icons/Sort.png",
                    .toolTip = "Count Rounds",
                    .toolbarPlace = 13});
    frmMain w(nullptr, {}, rows);
    QAction* item = w.MenuItem("mnuToolsCount");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(w.Menu("mnuTools")->actions().back(), item);
    EXPECT_EQ(w.tbToolBar->actions().back(), w.ToolbarButton("Count"));
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(w.ToolbarButton("Count")->isEnabled());

    OpenFixtureAuction(w);
    w.FileNew();
    w.ToolbarClick("Count");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(&runs[0].session, &w.Session());
    EXPECT_EQ(runs[0].viewer, w.ActiveViewer());
    EXPECT_EQ(&runs[0].window, &w);
    w.Session().Close();
    EXPECT_FALSE(item->isEnabled());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(MainWindowTest, ViewerCommandWithoutViewerIsRefused) {
    int calls = 0;
    frmMain w(nullptr, {}, CommandsWith({{"mnuFileExport", [&](CommandContext&) { ++calls; }}}));
    w.MenuItem("mnuFileExport")->trigger();
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text,
              "  A data grid must be opened to use this function.\r"
              "Open a data grid with the New button and try again");
    EXPECT_EQ(desktop.boxes[0].title, "Error");
    EXPECT_EQ(desktop.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(desktop.boxes[0].buttons, MsgButtons::OK);
}

TEST_F(MainWindowTest, QueryBuilderOpensWithoutViewerAndItsOkAsksForOne) {
    frmMain w;
    w.MenuItem("mnuToolsSQLCommandLine")->trigger();
    corv::frmQuery* builder = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* q = qobject_cast<corv::frmQuery*>(top)) builder = q;
    ASSERT_NE(builder, nullptr);
    EXPECT_TRUE(builder->isVisible());
    EXPECT_TRUE(desktop.boxes.empty());
    builder->cmdOK_Click();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind("  A data grid must be opened", 0), 0u);
    builder->txtSelect->setPlainText("*");
    QTest::keyClick(builder, Qt::Key_Escape);  // as Cancel: hidden, its texts kept
    EXPECT_FALSE(builder->isVisible());
    EXPECT_EQ(builder->txtSelect->toPlainText(), "*");
}

TEST_F(MainWindowTest, EachMenuItemRunsItsOwnCommandOnTheActiveViewerAndReportsEscapingErrors) {
    std::vector<std::pair<std::string, frmFlexGrid*>> runs;
    bool resetFails = false;
    std::vector<CommandRow> rows = CommandTable();
    for (CommandRow& c : rows)
        if (c.needs == Needs::Viewer)
            c.run = [&, name = std::string(c.name)](CommandContext& context) {
                if (resetFails && name == "mnuToolsResetTable") throw CorvError(3021, "No current record");
                runs.emplace_back(name, context.viewer);
            };
    frmMain w(nullptr, {}, rows);
    OpenFixtureAuction(w);
    w.FileNew();
    w.FileNew();
    ASSERT_EQ(w.Viewers().size(), 2);
    w.mdiArea->setActiveSubWindow(w.SubWindowOf(w.Viewers().front()));
    const char* const items[] = {
        "mnuFileExport",           "mnuFilePrint",          "mnuToolsExcel",
        "mnuToolsDropTable",       "mnuToolsSortTable",     "mnuToolsResetTable",
        "mnuToolsFilterTable",     "mnuToolsTableWizard",   "mnuToolsAnalysisMarkets",
        "mnuToolsAnalysisBidders", "mnuToolsAnalysisRounds"};
    for (const char* item : items) {
        runs.clear();
        w.MenuItem(item)->trigger();
        ASSERT_EQ(runs.size(), 1u) << item;
        EXPECT_EQ(runs[0].first, item) << item;
        EXPECT_EQ(runs[0].second, w.Viewers().front()) << item;
    }
    EXPECT_TRUE(desktop.boxes.empty());

    resetFails = true;
    w.MenuItem("mnuToolsResetTable")->trigger();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text, "Error: 3021 No current record");
    EXPECT_EQ(desktop.boxes[0].title, "");
    EXPECT_EQ(desktop.boxes[0].icon, MsgIcon::None);
}

TEST_F(MainWindowTest, EveryCommandOnAViewerWithNoAuctionBehindItReportsInItsOwnForm) {
    frmMain w;
    w.show();
    w.FileNew();  // after a failed open: an empty viewer
    ASSERT_NE(w.ActiveViewer(), nullptr);
    std::vector<QAction*> commands;
    for (const CommandRow& c : CommandTable())
        if (c.needs == Needs::Viewer) commands.push_back(w.MenuItem(c.name));
    for (QAction* item : commands) {
        desktop.boxes.clear();
        item->trigger();
        ASSERT_EQ(desktop.boxes.size(), 1u) << item->objectName().toStdString();
        const ShownBox& box = desktop.boxes[0];
        const bool export_ = item->objectName() == "mnuFileExport";
        EXPECT_EQ(box.text,
                  export_ ? "Error 91 No auction database is open" : "Error 91: No auction database is open")
            << item->objectName().toStdString();
        EXPECT_EQ(box.busyDepth, 0) << item->objectName().toStdString();
    }
    desktop.boxes.clear();
    w.MenuItem("mnuToolsSQLCommandLine")->trigger();
    frmQuery* builder = w.findChild<frmQuery*>();
    ASSERT_NE(builder, nullptr);
    builder->txtSelect->setPlainText("*");
    builder->txtInto->setPlainText("Copy");
    builder->txtFrom->setPlainText("[Markets and Bidders]");
    QTest::mouseClick(builder->cmdOK, Qt::LeftButton);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text, "Error 91: No auction database is open");
}

TEST_F(MainWindowTest, ImportNeedsNoViewer) {
    frmMain w;
    w.MenuItem("mnuFileImport")->trigger();
    // The import's own file dialog comes up (and is cancelled); no "data grid" refusal.
    EXPECT_EQ(desktop.fileDialogs.size(), 1u);
    for (const ShownBox& b : desktop.boxes) EXPECT_NE(b.title, "Error") << b.text;
}

}  // namespace
}  // namespace corv::test
