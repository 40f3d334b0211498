// The main window's menus and toolbar as the command table builds them.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "shell/frmMain.h"

namespace corv::test {
namespace {

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
                                        "Import &Table from Text File...", "&Export...",
                                        "Export Round &Report...", "-", "&Print...", "-", "E&xit"}));
    EXPECT_EQ(Entries(w.Menu("mnuView")), (std::vector<std::string>{"&Toolbar", "Status &Bar"}));
    EXPECT_EQ(Entries(w.Menu("mnuTools")),
              (std::vector<std::string>{"&Pivot Table Wizard", "Export Table To Excel", "-", "&Sort Table...",
                                        "&Filter Table...", "&Reset Table", "-", "&Table Wizard...",
                                        "S&QL Query Builder...", "&Drop Table", "-", "Follow Do&wnloads", "-",
                                        "Auction &Overview", "Watch &List..."}));
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

}  // namespace
}  // namespace corv::test
