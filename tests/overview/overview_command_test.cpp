// Tools > Auction Overview in the main window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "OverviewTestSupport.h"
#include "overview/OverviewPages.h"
#include "shell/frmMain.h"
#include "support/AuctionDatabase.h"
#include "support/ScriptedDesktop.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

using overview::frmOverview;

QList<frmOverview*> Overviews(frmMain& w) {
    QList<frmOverview*> found;
    for (QMdiSubWindow* sub : w.mdiArea->subWindowList())
        if (auto* o = qobject_cast<frmOverview*>(sub->widget())) found << o;
    return found;
}

TEST(OverviewCommandTest, OpensOnceRaisesOnTheSecondCallAndClosesWithTheAuction) {
    TestApp();
    TempFolder folder;
    ScriptedDesktop desktop(folder.Path(), folder.Path());
    desktop.Install();
    fixture::AuctionOptions o;
    o.rounds = 3;
    const std::string path = BuildAuctionDatabase(folder.Path(), o);

    frmMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QAction* item = w.MenuItem("mnuToolsOverview");
    EXPECT_EQ(item->shortcut(), QKeySequence("Ctrl+Shift+O"));
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(w.ToolbarButton("Overview")->isEnabled());

    w.Session().Open(path);
    EXPECT_TRUE(item->isEnabled());  // no viewer needed
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(Overviews(w).size(), 1);
    frmOverview* overview = Overviews(w).front();
    WaitIdle(*overview);
    EXPECT_EQ(w.mdiArea->activeSubWindow()->windowTitle(), "Auction Overview - Round 3");

    w.NewViewer();
    ASSERT_NE(w.mdiArea->activeSubWindow()->widget(), overview);
    w.ToolbarButton("Overview")->trigger();
    EXPECT_EQ(Overviews(w), (QList<frmOverview*>{overview}));
    EXPECT_EQ(w.mdiArea->activeSubWindow()->widget(), overview);

    w.Session().Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Overviews(w).isEmpty());
    EXPECT_FALSE(item->isEnabled());
    EXPECT_EQ(desktop.busyDepth, 0);
}

TEST(OverviewCommandTest, FillsTheAreaOfTheFirstRunsMainWindowWithNothingCutOff) {
    TestApp();
    TempFolder folder;
    ScriptedDesktop desktop(folder.Path(), folder.Path());
    desktop.Install();
    frmMain w;
    w.show();
    w.Session().Open(BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{}));
    w.MenuItem("mnuToolsOverview")->trigger();
    ASSERT_EQ(Overviews(w).size(), 1);
    frmOverview& overview = *Overviews(w).front();
    WaitIdle(overview);
    EXPECT_EQ(w.mdiArea->activeSubWindow()->geometry(), w.mdiArea->viewport()->rect());
    for (QTableView* grid : {overview.grdMarkets, overview.grdBidders, overview.changesPage->grdChanges,
                             overview.eligibilityPage->grdEligibility, overview.pacePage->grdRounds}) {
        QWidget* tab = grid;
        while (overview.tabs->indexOf(tab) < 0) tab = tab->parentWidget();
        overview.tabs->setCurrentWidget(tab);
        QCoreApplication::processEvents();
        for (const QWidget* page : {overview.tabs->currentWidget(), overview.findChild<QWidget*>("controls"),
                                    overview.tabs->cornerWidget()}) {
            for (const QLabel* label : page->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty()) continue;
                if (label->wordWrap())
                    EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                        << label->text().toStdString();
                else
                    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
            for (const QAbstractButton* b : page->findChildren<QAbstractButton*>()) {
                if (!b->text().isEmpty())
                    EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
            }
        }
        const QLineEdit& filter = *overview.txtFilter;
        EXPECT_GT(filter.width(), filter.fontMetrics().horizontalAdvance(filter.placeholderText()));
        // The last column reaches the grid's far edge.
        const QHeaderView* header = grid->horizontalHeader();
        const int last = header->count() - 1;
        EXPECT_GE(header->sectionViewportPosition(last) + header->sectionSize(last),
                  grid->viewport()->width());
    }
}

}  // namespace
}  // namespace corv::test
