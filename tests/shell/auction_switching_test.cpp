#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <filesystem>

#include "ShellTestSupport.h"
#include "queries/frmQuery.h"
#include "shell/RecentAuctions.h"
#include "shell/frmMain.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

class AuctionSwitchingTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        first = BuildAuctionDatabase(folder.Path(), fixture::AuctionOptions{});
        fixture::AuctionOptions two;
        two.auction = 15;
        two.rounds = 2;
        second = BuildAuctionDatabase(folder.Path(), two);
    }
    std::vector<std::string> RecentCaptions(frmMain& w) {
        std::vector<std::string> out;
        for (QAction* a : w.Menu("mnuFileRecent")->actions()) out.push_back(a->text().toStdString());
        return out;
    }
    std::string first;
    std::string second;
};

TEST_F(AuctionSwitchingTest, OpenAuctionClosesTheOldViewersAndWindowsAndShowsTheNewAuction) {
    frmMain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.Session().Open(first);
    w.FileNew();
    w.FileNew();
    QList<QPointer<frmFlexGrid>> old;
    for (frmFlexGrid* v : w.Viewers()) old << v;
    w.MenuItem("mnuToolsSQLCommandLine")->trigger();
    QPointer<frmQuery> builder = w.findChild<frmQuery*>();
    ASSERT_TRUE(builder && builder->isVisible());
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    desktop.OpenFile(second);
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);

    ASSERT_EQ(desktop.fileDialogs.size(), 1u);
    EXPECT_EQ(desktop.fileDialogs[0].options.initialDir, folder.Path());
    for (const QPointer<frmFlexGrid>& v : old) EXPECT_FALSE(v);
    EXPECT_FALSE(builder && builder->isVisible());
    EXPECT_EQ(OpenPath(w), second);
    ASSERT_EQ(w.Viewers().size(), 1);
    EXPECT_EQ(w.Viewers().front()->RoundCount(), 2);
    EXPECT_TRUE(desktop.boxes.empty()) << desktop.LastBox().text;
}

TEST_F(AuctionSwitchingTest, CancelledOpenKeepsTheAuctionAndItsViewers) {
    frmMain w;
    w.Session().Open(first);
    w.FileNew();
    desktop.OpenFile(std::nullopt);
    w.MenuItem("mnuFileOpenAuction")->trigger();
    EXPECT_EQ(OpenPath(w), first);
    EXPECT_EQ(w.Viewers().size(), 1);
    EXPECT_EQ(desktop.endProgramCalls, 0);
}

TEST_F(AuctionSwitchingTest, AFailedOpenLeavesNoAuctionSaysWhyAndTheNextTryOpens) {
    frmMain w;
    w.Session().Open(first);
    const std::string other = folder.File("other.mdb");
    RunSqlite(other, "CREATE TABLE t (x)");
    desktop.OpenFile(folder.File("nothere.mdb")).OpenFile(other).OpenFile(second);
    w.MenuItem("mnuFileOpenAuction")->trigger();
    EXPECT_FALSE(w.OpenAuction());
    EXPECT_EQ(w.windowTitle(), "Corvidel");
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind("Error:", 0), 0u) << desktop.boxes[0].text;

    // Another program's database: refused as it is, and not remembered.
    w.MenuItem("mnuFileOpenAuction")->trigger();
    EXPECT_EQ(desktop.LastBox().text.rfind("Error:3343 ", 0), 0u) << desktop.LastBox().text;
    EXPECT_FALSE(std::filesystem::exists(other + "-wal"));
    const std::vector<std::string> recent = RecentAuctions();
    EXPECT_EQ(std::count(recent.begin(), recent.end(), other), 0);

    w.MenuItem("mnuFileOpenAuction")->trigger();
    EXPECT_EQ(OpenPath(w), second);
}

TEST_F(AuctionSwitchingTest, RecentAuctionsOpenAndAMissingOneIsOfferedForRemoval) {
    frmMain w;
    w.Session().Open(first);
    w.Session().Open(second);
    ASSERT_EQ(RecentCaptions(w), (std::vector<std::string>{"&1 " + second, "&2 " + first}));

    w.Menu("mnuFileRecent")->actions().at(1)->trigger();
    EXPECT_EQ(OpenPath(w), first);
    EXPECT_EQ(RecentCaptions(w), (std::vector<std::string>{"&1 " + first, "&2 " + second}));

    w.Session().Close();
    std::filesystem::remove(second);
    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        desktop.Answer(answer);
        w.Menu("mnuFileRecent")->actions().at(1)->trigger();
        EXPECT_EQ(desktop.LastBox().buttons, MsgButtons::YesNo);
        EXPECT_NE(desktop.LastBox().text.find(second), std::string::npos);
        EXPECT_FALSE(w.OpenAuction());
    }
    EXPECT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(RecentCaptions(w), std::vector<std::string>{"&1 " + first});
    EXPECT_EQ(RecentAuctions(), std::vector<std::string>{first});
}

TEST_F(AuctionSwitchingTest, TheRecentListKeepsTheLastEightOnceEach) {
    for (int i = 0; i < 10; ++i) NoteRecentAuction(folder.File("Auction" + std::to_string(i) + ".mdb"));
    NoteRecentAuction(folder.File("Auction5.mdb"));
    std::vector<std::string> expected;
    for (int i : {5, 9, 8, 7, 6, 4, 3, 2})
        expected.push_back(folder.File("Auction" + std::to_string(i) + ".mdb"));
    EXPECT_EQ(RecentAuctions(), expected);
}

TEST_F(AuctionSwitchingTest, AnAuctionReachedThroughALinkedFolderIsListedOnce) {
    const std::string linked = folder.File("linked");
    std::filesystem::create_directory_symlink(folder.Path(), linked);
    NoteRecentAuction(first);
    NoteRecentAuction(second);
    NoteRecentAuction(linked + "/" + std::filesystem::path(first).filename().string());
    EXPECT_EQ(RecentAuctions(), (std::vector<std::string>{first, second}));
}

}  // namespace
}  // namespace corv::test
