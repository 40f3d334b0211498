// Tools > Auction Overview in the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "OverviewTestSupport.h"
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

}  // namespace
}  // namespace corv::test
