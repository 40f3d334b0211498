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

#include <QComboBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "OverviewTestSupport.h"
#include "overview/OverviewPages.h"
#include "report/ReportHtml.h"
#include "shell/frmMain.h"
#include "standings/AuctionBids.h"
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
                                    overview.findChild<QWidget*>("actions"), overview.tabs->cornerWidget()}) {
            for (const QLabel* label : page->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty()) continue;
                if (label->wordWrap())
                    EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                        << label->text().toStdString();
                else
                    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
            for (const QAbstractButton* b : page->findChildren<QAbstractButton*>()) {
                if (!b->text().isEmpty()) {
                    EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
                }
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

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Whether the page at path is the report of round since M, by its section headings.
::testing::AssertionResult PageOf(const std::string& path, const standings::BidHistory* history, int round,
                                  int since) {
    const std::string page = Bytes(path);
    if (page.rfind("<!DOCTYPE html>", 0) != 0) return ::testing::AssertionFailure() << path << " is no page";
    const auto r = report::BuildReport(std::make_shared<standings::BidHistory>(*history), "", round, since,
                                       standings::Measure::Gross);
    for (const std::string& title : report::HtmlSectionTitles(r, {}))
        if (page.find(title) == std::string::npos) return ::testing::AssertionFailure() << "no " << title;
    return ::testing::AssertionSuccess();
}

TEST(OverviewCommandTest, FileExportRoundReportWritesTheLatestRoundAndOffersToOpenIt) {
    TestApp();
    TempFolder folder;
    ScriptedDesktop desktop(folder.Path(), folder.Path());
    desktop.Install();
    fixture::AuctionOptions o;
    o.rounds = 3;
    const std::string path = BuildAuctionDatabase(folder.Path(), o);
    frmMain w;
    w.show();
    QAction* item = w.MenuItem("mnuFileExportReport");
    EXPECT_FALSE(item->isEnabled());
    w.Session().Open(path);
    const auto* bids = w.Session().FindListener<standings::AuctionBids>();
    ASSERT_TRUE(QTest::qWaitFor([bids] { return bids->Current().history != nullptr; }));

    desktop.SaveFile(folder.File("report")).Answer(MsgAnswer::Yes);
    item->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&desktop] { return !desktop.openedFiles.empty(); }));
    EXPECT_EQ(desktop.fileDialogs.at(0).options.fileName,
              std::filesystem::path(path).stem().string() + " round 3.html");
    EXPECT_EQ(desktop.openedFiles, std::vector<std::string>{folder.File("report.html")});
    EXPECT_EQ(desktop.LastBox().buttons, MsgButtons::YesNo);
    EXPECT_EQ(desktop.LastBox().busyDepth, 0);
    EXPECT_TRUE(PageOf(folder.File("report.html"), bids->Current().history.get(), 3, 2));

    // Never over the auction itself.
    const std::string before = Bytes(path);
    desktop.SaveFile(path);
    item->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&desktop] { return desktop.boxes.size() == 2; }));
    EXPECT_EQ(desktop.LastBox().buttons, MsgButtons::OK);
    EXPECT_EQ(Bytes(path), before);
    EXPECT_TRUE(desktop.ScriptUsedUp());
}

TEST(OverviewCommandTest, TheOverviewsButtonExportsTheRoundAndComparisonChosenThere) {
    TestApp();
    TempFolder folder;
    ScriptedDesktop desktop(folder.Path(), folder.Path());
    desktop.Install();
    fixture::AuctionOptions o;
    o.rounds = 3;
    frmMain w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.Session().Open(BuildAuctionDatabase(folder.Path(), o));
    w.MenuItem("mnuToolsOverview")->trigger();
    frmOverview& overview = *Overviews(w).front();
    WaitIdle(overview);
    overview.cboRound->setFocus();
    QTest::keyClick(overview.cboRound, Qt::Key_Home);  // round 1
    QTest::keyClick(overview.cboRound, Qt::Key_Down);  // round 2
    WaitIdle(overview);
    overview.changesPage->cboSince->setFocus();
    QTest::keyClick(overview.changesPage->cboSince, Qt::Key_Home);  // before round 1
    WaitIdle(overview);

    desktop.SaveFile(folder.File("chosen.html")).Answer(MsgAnswer::No);
    QTest::keyClick(&overview, Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&desktop] { return !desktop.boxes.empty(); }));
    EXPECT_TRUE(desktop.openedFiles.empty());
    EXPECT_TRUE(PageOf(folder.File("chosen.html"), overview.History(), 2, 0));
}

}  // namespace
}  // namespace corv::test
