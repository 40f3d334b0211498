#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include "ShellTestSupport.h"
#include "engine/CorvError.h"
#include "platform/qt/TerminationSignals.h"
#include "queries/frmQuery.h"
#include "shell/frmMain.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

class MainWindowTest : public ShellTest {
  protected:
    std::string OpenFixtureAuction(frmMain& w) {
        const std::string path = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
        w.Session().Open(path);
        return path;
    }
    std::string Setting(const std::string& key) { return desktop.settings["Corvidel/Settings/" + key]; }
    void Store(const std::string& key, const std::string& value) {
        desktop.settings["Corvidel/Settings/" + key] = value;
    }
};

// Captions of a menu's entries in order, "-" for separators.
std::vector<std::string> Entries(QMenu* menu) {
    std::vector<std::string> out;
    for (QAction* a : menu->actions()) out.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return out;
}

TEST_F(MainWindowTest, MenuBarCaptionsAccessKeysAndOrder) {
    frmMain w;
    std::vector<std::string> bar;
    for (QAction* a : w.menuBar()->actions()) bar.push_back(a->text().toStdString());
    EXPECT_EQ(bar, (std::vector<std::string>{"&File", "&View", "&Tools", "&Window", "&Help"}));

    EXPECT_EQ(Entries(w.Menu("mnuFile")),
              (std::vector<std::string>{"&New", "&Open Auction...", "Recent &Auctions", "-", "&Import...",
                                        "&Export...", "-", "&Print...", "-", "E&xit"}));
    EXPECT_EQ(Entries(w.Menu("mnuView")), (std::vector<std::string>{"&Toolbar", "Status &Bar"}));
    EXPECT_EQ(Entries(w.Menu("mnuTools")),
              (std::vector<std::string>{"&Pivot Table Wizard", "Export Table To Excel", "-", "&Sort Table...",
                                        "&Filter Table...", "&Reset Table", "-", "&Table Wizard...",
                                        "S&QL Query Builder...", "&Drop Table", "-", "Follow Do&wnloads", "-",
                                        "Auction &Overview"}));
    EXPECT_EQ(Entries(w.Menu("mnuToolsAnalysis")),
              (std::vector<std::string>{"&Markets...", "&Rounds...", "&Bidders..."}));
    EXPECT_EQ(Entries(w.Menu("mnuWindow")),
              (std::vector<std::string>{"&New Window", "-", "&Cascade", "Tile &Horizontal", "Tile &Vertical",
                                        "&Arrange Icons"}));
    EXPECT_EQ(Entries(w.Menu("mnuHelp")),
              (std::vector<std::string>{"&Contents", "&Search For Help On...", "-", "&About Corvidel..."}));
    EXPECT_EQ(Entries(w.mnuComp), (std::vector<std::string>{"Sum", "Average", "Count"}));
    EXPECT_EQ(w.mnuComp->title(), "Compute");
    EXPECT_FALSE(w.menuBar()->actions().contains(w.mnuComp->menuAction()));

    // Object names are the program's own, separators included.
    for (const char* name : {"mnuFileNew",
                             "mnuFileOpenAuction",
                             "mnuFileRecent",
                             "mnuFileBar1",
                             "mnuFileImport",
                             "mnuFileExport",
                             "mnuFileBar3",
                             "mnuFilePrint",
                             "mnuFileBar4",
                             "mnuFileExit",
                             "mnuViewToolbar",
                             "mnuViewStatusBar",
                             "mnuToolsAnalysisMarkets",
                             "mnuToolsAnalysisRounds",
                             "mnuToolsAnalysisBidders",
                             "mnuToolsExcel",
                             "mnuToolsBar1",
                             "mnuToolsSortTable",
                             "mnuToolsFilterTable",
                             "mnuToolsResetTable",
                             "mnuToolsBar2",
                             "mnuToolsTableWizard",
                             "mnuToolsSQLCommandLine",
                             "mnuToolsDropTable",
                             "mnuToolsBar3",
                             "mnuToolsFollowDownloads",
                             "mnuToolsBar4",
                             "mnuToolsOverview",
                             "mnuWindowNewWindow",
                             "mnuWindowBar1",
                             "mnuWindowCascade",
                             "mnuWindowTileHorizontal",
                             "mnuWindowTileVertical",
                             "mnuWindowArrangeIcons",
                             "mnuHelpContents",
                             "mnuHelpSearch",
                             "mnuHelpBar1",
                             "mnuHelpAbout",
                             "mnuCompSum",
                             "mnuCompAverage",
                             "mnuCompCount"}) {
        QAction* a = w.MenuItem(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->objectName(), name);
    }
    EXPECT_EQ(w.MenuItem("mnuFilePrint")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    EXPECT_EQ(w.MenuItem("mnuFileOpenAuction")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_TRUE(w.MenuItem("mnuViewToolbar")->isCheckable());
    EXPECT_TRUE(w.MenuItem("mnuViewToolbar")->isChecked());
    EXPECT_TRUE(w.MenuItem("mnuViewStatusBar")->isChecked());
}

TEST_F(MainWindowTest, EveryMenuOpensWithAltAndItsLetter) {
    frmMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const std::pair<Qt::Key, const char*> keys[] = {{Qt::Key_F, "mnuFile"},
                                                    {Qt::Key_V, "mnuView"},
                                                    {Qt::Key_T, "mnuTools"},
                                                    {Qt::Key_W, "mnuWindow"},
                                                    {Qt::Key_H, "mnuHelp"}};
    for (const auto& [key, menu] : keys) {
        QTest::keyClick(&w, key, Qt::AltModifier);
        QTest::qWait(20);
        EXPECT_TRUE(w.Menu(menu)->isVisible()) << menu;
        w.Menu(menu)->hide();
        QTest::qWait(20);
    }
}

// Alt and a letter inside a menu must lead to one command, not cycle between two.
TEST(CommandTableKeys, NoTwoEntriesOfAMenuShareAnAccessKey) {
    std::map<std::string, std::set<QChar>> keys;
    for (const CommandRow& row : CommandTable()) {
        const QString caption = QString::fromLatin1(row.caption);
        const qsizetype amp = caption.indexOf('&');
        if (amp < 0 || amp + 1 >= caption.size()) continue;
        EXPECT_TRUE(keys[row.parent].insert(caption.at(amp + 1).toLower()).second)
            << row.name << " shares its access key in " << (*row.parent ? row.parent : "the menu bar");
    }
}

TEST_F(MainWindowTest, TabGoesFromTheTableListToTheRoundListToTheGridAndBack) {
    frmMain w;
    OpenFixtureAuction(w);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.FileNew();
    frmFlexGrid* v = w.ActiveViewer();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), v->ddlTableName);
    const QWidget* order[] = {v->ddlRoundNum, v->MSFlexGrid1, v->ddlTableName};
    for (const QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

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

TEST_F(MainWindowTest, ToolbarKeysTipsSeparatorsAndIcons) {
    frmMain w;
    std::vector<std::string> seen;
    for (QAction* a : w.tbToolBar->actions()) {
        if (a->isSeparator()) {
            seen.push_back("|");
            continue;
        }
        seen.push_back(a->data().toString().toStdString() + "=" + a->toolTip().toStdString());
        EXPECT_FALSE(a->icon().isNull()) << a->data().toString().toStdString();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"New=New", "Import=Import...", "|", "Print=Print", "|",
                                              "Sort=Sort...", "Filter=Filter...", "Reset=Reset Table", "|",
                                              "TableWizard=Table Wizard...", "SQL=SQL Query Builder...",
                                              "DropTable=Drop Table", "|", "ExcelExp=Export Table To Excel",
                                              "|", "Follow=Follow Downloads", "Overview=Auction Overview"}));
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

TEST_F(MainWindowTest, ViewTogglesHideAndShowBarsWithTheirCheckMarks) {
    frmMain w;
    w.show();
    QAction* toolbar = w.MenuItem("mnuViewToolbar");
    QAction* status = w.MenuItem("mnuViewStatusBar");
    toolbar->trigger();
    EXPECT_FALSE(toolbar->isChecked());
    EXPECT_FALSE(w.tbToolBar->isVisible());
    EXPECT_TRUE(w.sbStatusBar->isVisible());
    toolbar->trigger();
    EXPECT_TRUE(toolbar->isChecked());
    EXPECT_TRUE(w.tbToolBar->isVisible());

    status->trigger();
    EXPECT_FALSE(status->isChecked());
    EXPECT_FALSE(w.sbStatusBar->isVisible());
    status->trigger();
    EXPECT_TRUE(status->isChecked());
    EXPECT_TRUE(w.sbStatusBar->isVisible());
}

TEST_F(MainWindowTest, StatusPanelsStartWithTheirDesignTexts) {
    frmMain w;
    EXPECT_EQ(w.StatusPanel(1), "Status");
    EXPECT_EQ(w.StatusPanel(2), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_EQ(w.StatusPanel(3), "NUM");
    w.SetStatusPanel(3, "Sum = 12");
    EXPECT_EQ(w.StatusPanel(3), "Sum = 12");
    EXPECT_EQ(w.StatusPanel(1), "Status");
    w.SetStatusPanel(4, "nowhere");
    EXPECT_EQ(w.StatusPanel(4), "");
    for (int p = 1; p <= 3; ++p) EXPECT_EQ(w.StatusLabel(p)->minimumWidth(), 96) << p;
}

TEST_F(MainWindowTest, ComputeMenuPopsUpOnlyForRightClickOverPanelThree) {
    frmMain w;
    w.resize(900, 500);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto centre = [&](int panel) { return w.StatusLabel(panel)->geometry().center(); };
    QTest::mouseClick(w.sbStatusBar, Qt::RightButton, {}, centre(1));
    EXPECT_FALSE(w.mnuComp->isVisible());
    QTest::mouseClick(w.sbStatusBar, Qt::RightButton, {}, centre(2));
    EXPECT_FALSE(w.mnuComp->isVisible());
    QTest::mouseClick(w.sbStatusBar, Qt::LeftButton, {}, centre(3));
    EXPECT_FALSE(w.mnuComp->isVisible());
    QTest::mouseClick(w.sbStatusBar, Qt::RightButton, {}, centre(3));
    EXPECT_TRUE(w.mnuComp->isVisible());
    // It opens to the left of the pointer, above the status bar.
    const QPoint pointer = w.sbStatusBar->mapToGlobal(centre(3));
    EXPECT_LE(w.mnuComp->geometry().right(), pointer.x());
    EXPECT_LT(w.mnuComp->geometry().top(), w.sbStatusBar->mapToGlobal(QPoint(0, 0)).y());
    w.mnuComp->hide();

    // Without a viewer the choices are ignored.
    w.MenuItem("mnuCompSum")->trigger();
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(w.StatusPanel(3), "NUM");
}

TEST_F(MainWindowTest, ComputeChoicesGoToTheActiveViewer) {
    frmMain w;
    OpenFixtureAuction(w);
    w.show();
    // Two viewers, each with its own selection in the auction number column (14 in every row).
    auto selectAuctionIds = [](frmFlexGrid* v, int rows) {
        QAbstractItemModel* model = v->MSFlexGrid1->model();
        const int auction = v->Data1.GetRecordset()->FieldIndex("Auction Id");
        ASSERT_GE(auction, 0);
        const QItemSelection cells(model->index(0, auction), model->index(rows - 1, auction));
        v->MSFlexGrid1->selectionModel()->select(cells, QItemSelectionModel::ClearAndSelect);
    };
    w.FileNew();
    selectAuctionIds(w.ActiveViewer(), 3);
    w.FileNew();
    selectAuctionIds(w.ActiveViewer(), 2);
    w.MenuItem("mnuCompCount")->trigger();
    EXPECT_EQ(w.StatusPanel(3), "2.00");

    w.mdiArea->setActiveSubWindow(w.SubWindowOf(w.Viewers().front()));
    w.MenuItem("mnuCompCount")->trigger();
    EXPECT_EQ(w.StatusPanel(3), "3.00");
    w.MenuItem("mnuCompSum")->trigger();
    EXPECT_EQ(w.StatusPanel(3), "42.00");
    w.MenuItem("mnuCompAverage")->trigger();
    EXPECT_EQ(w.StatusPanel(3), "14.00");
    EXPECT_TRUE(desktop.boxes.empty()) << desktop.boxes[0].text;
}

TEST_F(MainWindowTest, FirstRunOpensAtDefaultTwipsAndWritesThemBack) {
    {
        frmMain w;
        EXPECT_EQ(w.pos(), QPoint(67, 67));
        EXPECT_EQ(w.height(), 433);
        // Wider than the default where the bars need it: no entry waits behind an extension button.
        w.show();
        for (const char* more : {"qt_toolbar_ext_button", "qt_menubar_ext_button"}) {
            const QWidget* button = w.findChild<QWidget*>(more);
            EXPECT_TRUE(!button || !button->isVisible()) << more;
        }
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "1000");
    EXPECT_EQ(Setting("MainTop"), "1000");
    EXPECT_EQ(Setting("MainWidth"), "6500");
    EXPECT_EQ(Setting("MainHeight"), "6500");
}

TEST_F(MainWindowTest, PositionRoundTripsInTwips) {
    Store("MainLeft", "1500");
    Store("MainTop", "3000");
    Store("MainWidth", "12000");
    Store("MainHeight", "9000");
    {
        frmMain w;
        EXPECT_EQ(w.geometry().topLeft(), QPoint(100, 200));
        EXPECT_EQ(w.size(), QSize(800, 600));
        w.move(120, 90);
        w.resize(700, 500);
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "1800");
    EXPECT_EQ(Setting("MainTop"), "1350");
    EXPECT_EQ(Setting("MainWidth"), "10500");
    EXPECT_EQ(Setting("MainHeight"), "7500");
    {
        frmMain again;
        EXPECT_EQ(again.pos(), QPoint(120, 90));
        EXPECT_EQ(again.size(), QSize(700, 500));
    }
}

TEST_F(MainWindowTest, MinimizedCloseKeepsStoredPosition) {
    Store("MainLeft", "2010");
    Store("MainTop", "990");
    Store("MainWidth", "9000");
    Store("MainHeight", "7000");
    {
        frmMain w;
        w.show();
        w.move(10, 10);
        w.showMinimized();
        ASSERT_TRUE(w.isMinimized());
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "2010");
    EXPECT_EQ(Setting("MainTop"), "990");
    EXPECT_EQ(Setting("MainWidth"), "9000");
    EXPECT_EQ(Setting("MainHeight"), "7000");
}

TEST_F(MainWindowTest, MaximizedCloseStoresMaximizedBounds) {
    frmMain w;
    w.showMaximized();
    QTest::qWait(50);
    ASSERT_TRUE(w.isMaximized());
    const QSize maxSize = w.size();
    ASSERT_GT(maxSize.width(), 433);
    w.close();
    EXPECT_EQ(Setting("MainWidth"), std::to_string(maxSize.width() * 15));
    EXPECT_EQ(Setting("MainHeight"), std::to_string(maxSize.height() * 15));
}

TEST_F(MainWindowTest, PositionOffEveryScreenOpensAtTheDefaultPlace) {
    Store("MainLeft", "600000");
    Store("MainTop", "-450000");
    Store("MainWidth", "9000");
    {
        frmMain w;
        EXPECT_EQ(w.pos(), QPoint(67, 67));
        EXPECT_EQ(w.width(), 600);
        w.close();
    }
    EXPECT_EQ(Setting("MainLeft"), "1005");
    EXPECT_EQ(Setting("MainTop"), "1005");
    EXPECT_EQ(Setting("MainWidth"), "9000");
}

TEST_F(MainWindowTest, UnusableStoredValueFallsBackToDefault) {
    Store("MainHeight", "tall");
    Store("MainLeft", "300");
    frmMain w;
    EXPECT_EQ(w.height(), 433);
    EXPECT_EQ(w.x(), 20);
}

TEST_F(MainWindowTest, ClosingClosesViewersAndTheAuction) {
    frmMain w;
    OpenFixtureAuction(w);
    w.show();
    w.FileNew();
    w.FileNew();
    ASSERT_EQ(w.Viewers().size(), 2);
    EXPECT_TRUE(w.close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.Viewers().isEmpty());
    EXPECT_FALSE(w.OpenAuction());
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(MainWindowTest, ClosingTakesTheQueryBuilderAlong) {
    frmMain w;
    w.show();
    w.MenuItem("mnuToolsSQLCommandLine")->trigger();
    QPointer<frmQuery> builder = w.findChild<frmQuery*>();
    ASSERT_TRUE(builder);
    ASSERT_TRUE(builder->isVisible());
    w.MenuItem("mnuFileExit")->trigger();
    EXPECT_FALSE(builder->isVisible());
}

TEST_F(MainWindowTest, TerminationSignalEndsAsExitDoesOnceTheCommandUnderWayEnds) {
    bool openThroughout = false;
    frmMain w(nullptr, {}, CommandsWith({{"mnuToolsResetTable", [&](CommandContext& c) {
                                              std::raise(SIGTERM);
                                              // Events flow meanwhile, as they do while a round file is read.
                                              QTest::qWait(300);
                                              openThroughout = c.session.Current() && c.window.isVisible();
                                          }}}));
    const std::string path = OpenFixtureAuction(w);
    w.show();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &w, &frmMain::QuitWhenIdle);
    w.FileNew();
    w.MenuItem("mnuToolsResetTable")->trigger();
    EXPECT_TRUE(openThroughout);
    EXPECT_TRUE(QTest::qWaitFor([&w] { return !w.isVisible(); }, 10000));
    EXPECT_FALSE(w.OpenAuction());
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    EXPECT_NE(Setting("MainWidth"), "");
}

TEST_F(MainWindowTest, ClosingWithNoAuctionOpenDoesNotFail) {
    frmMain w;
    w.show();
    w.MenuItem("mnuFileExit")->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_EQ(Setting("MainWidth"), "6500");
}

TEST_F(MainWindowTest, NewOpensViewerOnFirstTableAndRoundEvenIfAlreadyShown) {
    frmMain w;
    OpenFixtureAuction(w);
    w.FileNew();
    w.MenuItem("mnuWindowNewWindow")->trigger();
    ASSERT_EQ(w.Viewers().size(), 2);
    for (frmFlexGrid* v : w.Viewers()) {
        EXPECT_EQ(v->ddlTableName->currentText(), "Markets and Bidders");
        EXPECT_EQ(v->ddlRoundNum->currentText(), "1");
        std::vector<std::string> rounds;
        for (int i = 0; i < v->ddlRoundNum->count(); ++i)
            rounds.push_back(v->ddlRoundNum->itemText(i).toStdString());
        EXPECT_EQ(rounds, (std::vector<std::string>{"1", "2", "3"}));
    }
    EXPECT_EQ(w.ActiveViewer(), w.Viewers().back());
    EXPECT_EQ(w.SubWindowOf(w.Viewers().back())->windowTitle(), "Markets and Bidders - Round 1");
    EXPECT_TRUE(desktop.boxes.empty()) << desktop.boxes[0].text;
}

TEST_F(MainWindowTest, NewWithoutAuctionReportsAndLeavesAnEmptyViewer) {
    frmMain w;
    w.FileNew();
    ASSERT_EQ(w.Viewers().size(), 1);
    EXPECT_EQ(w.Viewers().front()->ddlTableName->count(), 0);
    ASSERT_EQ(desktop.boxes.size(), 2u);
    for (const ShownBox& b : desktop.boxes) {
        EXPECT_EQ(b.text, "Error 91: No auction database is open");
        EXPECT_EQ(b.title, "");
        EXPECT_EQ(b.icon, MsgIcon::None);
    }
}

TEST_F(MainWindowTest, ListFillersWithoutViewerReportAndChangeNothing) {
    frmMain w;
    OpenFixtureAuction(w);
    w.PopulateTables();
    w.PopulateRounds();
    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(desktop.boxes[0].text, "Error 91: No data grid is open");
    EXPECT_EQ(desktop.boxes[1].text, "Error 91: No data grid is open");
}

TEST_F(MainWindowTest, RoundsKeepTheEngineRowOrderAndFillingSelectsNothing) {
    const std::string path = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
    RunSqlite(path,
              "DELETE FROM sysRounds; INSERT INTO sysRounds VALUES (1); INSERT INTO sysRounds VALUES (3);"
              "INSERT INTO sysRounds VALUES (2);"
              "INSERT INTO sysTables VALUES ('My Table');");
    frmMain w;
    w.Session().Open(path);
    w.FileNew();
    frmFlexGrid* v = w.ActiveViewer();
    ASSERT_NE(v, nullptr);
    QStringList rounds;
    for (int i = 0; i < v->ddlRoundNum->count(); ++i) rounds << v->ddlRoundNum->itemText(i);
    EXPECT_EQ(rounds, (QStringList{"1", "3", "2"}));
    EXPECT_EQ(v->ddlTableName->itemText(v->ddlTableName->count() - 1), "My Table");

    // A refill leaves no entry chosen and does not reload what the viewer shows.
    const QString caption = w.SubWindowOf(v)->windowTitle();
    w.PopulateTables();
    w.PopulateRounds();
    EXPECT_EQ(v->ddlTableName->currentIndex(), -1);
    EXPECT_EQ(v->ddlRoundNum->currentIndex(), -1);
    EXPECT_EQ(w.SubWindowOf(v)->windowTitle(), caption);
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(MainWindowTest, ActivatingAViewerShowsItsTableInPanelOne) {
    frmMain w;
    OpenFixtureAuction(w);
    w.show();
    w.FileNew();
    w.FileNew();
    frmFlexGrid* second = w.ActiveViewer();
    second->ddlTableName->setCurrentIndex(second->ddlTableName->findText("Round Statistics"));
    EXPECT_EQ(w.StatusPanel(1), "Round Statistics");
    w.mdiArea->setActiveSubWindow(w.SubWindowOf(w.Viewers().front()));
    EXPECT_EQ(w.StatusPanel(1), "Markets and Bidders - Round 1");
    w.mdiArea->setActiveSubWindow(w.SubWindowOf(second));
    EXPECT_EQ(w.StatusPanel(1), "Round Statistics");
}

TEST_F(MainWindowTest, WindowMenuListsChildrenWithCheckOnTheActiveOne) {
    frmMain w;
    OpenFixtureAuction(w);
    w.show();
    w.RefreshWindowList();
    EXPECT_TRUE(w.WindowListItems().isEmpty());
    w.FileNew();
    w.FileNew();
    w.RefreshWindowList();
    ASSERT_EQ(w.WindowListItems().size(), 2);
    EXPECT_EQ(w.WindowListItems()[0]->text(), "&1 Markets and Bidders - Round 1");
    EXPECT_FALSE(w.WindowListItems()[0]->isChecked());
    EXPECT_TRUE(w.WindowListItems()[1]->isChecked());
    w.WindowListItems()[0]->trigger();
    EXPECT_EQ(w.ActiveViewer(), w.Viewers().front());
    w.RefreshWindowList();
    ASSERT_EQ(w.WindowListItems().size(), 2);
    EXPECT_TRUE(w.WindowListItems()[0]->isChecked());
    // The fixed items stay ahead of the list, and the list does not grow with every opening.
    EXPECT_EQ(w.Menu("mnuWindow")->actions().size(), 6 + 1 + 2);
}

TEST_F(MainWindowTest, TilingSharesTheAreaOneWayOrTheOther) {
    frmMain w;
    OpenFixtureAuction(w);
    w.resize(1000, 800);
    w.show();
    w.FileNew();
    w.FileNew();
    const QSize room = w.mdiArea->viewport()->size();
    QMdiSubWindow* a = w.SubWindowOf(w.Viewers()[0]);
    QMdiSubWindow* b = w.SubWindowOf(w.Viewers()[1]);
    w.MenuItem("mnuWindowTileHorizontal")->trigger();
    EXPECT_EQ(a->width(), room.width());
    EXPECT_EQ(b->width(), room.width());
    EXPECT_EQ(a->height() + b->height(), room.height());
    EXPECT_NE(a->y(), b->y());
    w.MenuItem("mnuWindowTileVertical")->trigger();
    EXPECT_EQ(a->height(), room.height());
    EXPECT_EQ(a->width() + b->width(), room.width());
    EXPECT_NE(a->x(), b->x());
    w.MenuItem("mnuWindowCascade")->trigger();
    EXPECT_NE(a->pos(), b->pos());
}

TEST_F(MainWindowTest, ArrangeIconsLinesMinimizedWindowsAlongTheBottom) {
    frmMain w;
    OpenFixtureAuction(w);
    w.resize(1000, 800);
    w.show();
    w.FileNew();
    w.FileNew();
    w.FileNew();
    QMdiSubWindow* open = w.SubWindowOf(w.Viewers()[1]);
    QMdiSubWindow* a = w.SubWindowOf(w.Viewers()[0]);
    QMdiSubWindow* c = w.SubWindowOf(w.Viewers()[2]);
    a->showMinimized();
    c->showMinimized();
    a->move(300, 100);
    c->move(500, 20);
    const QRect openBefore = open->geometry();
    w.MenuItem("mnuWindowArrangeIcons")->trigger();
    const int bottom = w.mdiArea->viewport()->height();
    EXPECT_EQ(a->geometry().bottom() + 1, bottom);
    EXPECT_EQ(c->geometry().bottom() + 1, bottom);
    EXPECT_EQ(a->x(), 0);
    EXPECT_EQ(c->x(), a->width());
    EXPECT_EQ(open->geometry(), openBefore);
}

}  // namespace
}  // namespace corv::test
