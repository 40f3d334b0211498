// The viewers in the main window's area: opening them, their lists, the Window menu and arranging them.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStringList>
#include <QTableView>
#include <QTest>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "shell/frmMain.h"
#include "store/LatestRound.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

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
        EXPECT_EQ(rounds, (std::vector<std::string>{"1", "2", "3", store::kLatestRoundEntry}));
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
    EXPECT_EQ(rounds, (QStringList{"1", "3", "2", store::kLatestRoundEntry}));
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
