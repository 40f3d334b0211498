// The status bar's panels and the Compute menu over its third panel.
#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMenu>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include "ShellTestSupport.h"
#include "shell/frmMain.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

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

}  // namespace
}  // namespace corv::test
