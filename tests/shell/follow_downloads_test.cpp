#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ShellTestSupport.h"
#include "dialogue/AuctionCommands.h"
#include "engine/Recordset.h"
#include "shell/AuctionFollowers.h"
#include "shell/frmMain.h"
#include "store/LatestRound.h"
#include "store/RoundFileNames.h"
#include "store/RoundImport.h"
#include "store/RoundTables.h"
#include "support/NeededFile.h"
#include "viewer/frmFlexGrid.h"

namespace corv::test {
namespace {

namespace fs = std::filesystem;

constexpr int kSettleMs = 2000;
constexpr int kMessageMs = 300;

// The main window following a downloads folder of its own, on a clock the test moves; the periodic look
// never comes by itself, so every look is the test's Scan.
class FollowTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        downloads = folder.File("downloads");
        fs::create_directories(downloads);
        desktop.SetDownloadsFolder(downloads);
        options.auction = 14;
        options.rounds = 1;
    }
    void TearDown() override {
        window.reset();
        ShellTest::TearDown();
    }
    // Opens a one-round auction 14 and the window, following on.
    frmMain& Follow(std::vector<CommandRow> commands = CommandTable()) {
        auction = BuildAuctionDatabase(folder.Path(), options);
        MakeWindow(std::move(commands));
        window->Session().Open(auction);
        FollowItem()->setChecked(true);
        return *window;
    }
    void MakeWindow(std::vector<CommandRow> commands = CommandTable()) {
        FollowTiming timing;
        timing.nowMs = [this] { return now; };
        timing.settleMs = kSettleMs;
        timing.rescanMs = 3600 * 1000;
        timing.messageMs = kMessageMs;
        window = std::make_unique<frmMain>(nullptr, timing, std::move(commands));
    }
    QAction* FollowItem() const { return window->MenuItem("mnuToolsFollowDownloads"); }
    std::string Drop(int round, int auctionNumber = 14) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d_%03d.mdb", auctionNumber, round);
        fixture::AuctionOptions o = options;
        o.auction = auctionNumber;
        const std::string path = downloads + "/" + name;
        fixture::WriteRoundFile(path, o, round);
        return path;
    }
    // A look, then another once the files seen in the first have kept their size long enough.
    void ScanSettled() {
        window->Follower()->Scan();
        now += kSettleMs;
        window->Follower()->Scan();
    }
    std::string Rounds() {
        std::string out;
        for (int i = 1; i <= 9; ++i)
            if (QueryCount(auction, "SELECT COUNT(*) FROM sysRounds WHERE Round = " + std::to_string(i)))
                out += std::to_string(i);
        return out;
    }
    std::string StatusMessage() const { return window->sbStatusBar->currentMessage().toStdString(); }
    std::string FollowTip() const { return window->ToolbarButton("Follow")->toolTip().toStdString(); }

    std::string downloads, auction;
    fixture::AuctionOptions options;
    qint64 now = 1000;
    std::unique_ptr<frmMain> window;
};

TEST_F(FollowTest, RoundsGoInInRoundOrderAndAGapIsNamed) {
    Follow();
    Drop(3);
    ScanSettled();
    EXPECT_EQ(Rounds(), "1");
    EXPECT_EQ(StatusMessage(), "Round 2 is missing");
    EXPECT_EQ(FollowTip(), "Follow Downloads: Round 2 is missing");

    const std::string two = Drop(2);
    ScanSettled();
    EXPECT_EQ(Rounds(), "123");
    EXPECT_EQ(QueryCount(auction, "SELECT COUNT(*) FROM [Markets and Bidders]"), 3 * options.bidsPerRound);
    EXPECT_EQ(StatusMessage(), "Round 3 imported");
    EXPECT_EQ(FollowTip(), "Follow Downloads");
    EXPECT_TRUE(fs::exists(two));
    EXPECT_TRUE(desktop.boxes.empty());
}

TEST_F(FollowTest, AnImportIsToldForSecondsCountedOnceTheWindowIsFreeAgain) {
    Follow();
    Drop(2);
    ScanSettled();
    // What follows an import holds the window longer than the message lasts.
    QThread::msleep(kMessageMs + 100);
    QCoreApplication::processEvents();
    EXPECT_EQ(StatusMessage(), "Round 2 imported");
    QTest::qWait(kMessageMs + 200);
    EXPECT_EQ(StatusMessage(), "");
}

TEST_F(FollowTest, ImportedRoundsAndOtherAuctionsAreLeftAlone) {
    Follow();
    Drop(1);
    Drop(2, 15);
    ScanSettled();
    EXPECT_EQ(Rounds(), "1");
    EXPECT_EQ(window->Follower()->MissingRound(), 0);
    EXPECT_EQ(QueryCount(auction, "SELECT COUNT(*) FROM [Markets and Bidders]"), options.bidsPerRound);
    EXPECT_TRUE(desktop.boxes.empty());
    EXPECT_TRUE(FollowItem()->isChecked());
}

TEST_F(FollowTest, AGrowingFileWaitsUntilItsSizeHasHeld) {
    Follow();
    const std::string whole = Drop(2);
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    std::ofstream(whole, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);

    window->Follower()->Scan();
    now += kSettleMs;
    std::ofstream(whole, std::ios::binary | std::ios::trunc) << bytes;
    window->Follower()->Scan();
    now += kSettleMs - 1;
    window->Follower()->Scan();
    EXPECT_EQ(Rounds(), "1");
    now += 1;
    window->Follower()->Scan();
    EXPECT_EQ(Rounds(), "12");
}

TEST_F(FollowTest, AFailureTurnsFollowingOffWithOneBoxAndTheAuctionUnchanged) {
    Follow();
    RunSqlite(Drop(2), "DROP TABLE [Waiver Statistics]");
    Drop(3);
    const long long bids = QueryCount(auction, "SELECT COUNT(*) FROM [Markets and Bidders]");
    ScanSettled();
    now += kSettleMs;
    window->Follower()->Scan();

    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text.rfind("Error:", 0), 0u) << desktop.boxes[0].text;
    EXPECT_EQ(desktop.boxes[0].title, "");
    EXPECT_FALSE(FollowItem()->isChecked());
    EXPECT_FALSE(window->Follower()->IsOn());
    EXPECT_EQ(desktop.settings["Corvidel/Settings/FollowDownloads"], "0");
    EXPECT_EQ(Rounds(), "1");
    EXPECT_EQ(QueryCount(auction, "SELECT COUNT(*) FROM [Markets and Bidders]"), bids);
    EXPECT_EQ(QueryCount(auction, "SELECT COUNT(*) FROM [Withdrawal Statistics] WHERE Round = 1"),
              QueryCount(auction, "SELECT COUNT(*) FROM [Withdrawal Statistics]"));
}

TEST_F(FollowTest, ANextRoundHoldingAnotherAuctionsBidsIsRefused) {
    Follow();
    RunSqlite(Drop(2), "UPDATE [Markets and Bidders] SET [Auction Id] = 15");
    ScanSettled();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text,
              "Error:3001 14_002.mdb holds bids of auction 15 in Markets and Bidders, not of auction 14");
    EXPECT_FALSE(window->Follower()->IsOn());
    EXPECT_EQ(Rounds(), "1");
    EXPECT_EQ(QueryCount(auction, "SELECT COUNT(*) FROM [Markets and Bidders]"), options.bidsPerRound);
}

TEST_F(FollowTest, ANextRoundThatStaysUnreadableEndsFollowingWithOneBox) {
    Follow();
    std::ofstream(downloads + "/14_002.mdb", std::ios::binary) << std::string(8192, 'x');
    window->Follower()->Scan();
    for (int look = 0; look < 10 && FollowItem()->isChecked(); ++look) {
        now += kSettleMs;
        window->Follower()->Scan();
    }
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_FALSE(FollowItem()->isChecked());
    EXPECT_EQ(Rounds(), "1");
}

TEST_F(FollowTest, ImportsWaitWhileADialogOrACommandRuns) {
    std::string duringCommand;
    frmMain& w = Follow(CommandsWith({{"mnuToolsSortTable", [&](CommandContext& c) {
                                           c.window.Follower()->Scan();
                                           duringCommand = Rounds();
                                       }}}));
    Drop(2);
    window->Follower()->Scan();
    now += kSettleMs;
    {
        QDialog dialog(&w);
        dialog.setModal(true);
        dialog.show();
        w.Follower()->Scan();
        EXPECT_EQ(Rounds(), "1");
    }
    w.FileNew();
    w.ToolbarClick("Sort");
    EXPECT_EQ(duringCommand, "1");
    w.Follower()->Scan();
    EXPECT_EQ(Rounds(), "12");
}

TEST_F(FollowTest, RoundsACommandImportsAreToldOnceItEndsAndFollowedOnesAtOnce) {
    std::vector<QList<int>> told;
    std::size_t toldDuring = 0;
    frmMain& w = Follow(CommandsWith({{"mnuFileImport", [&](CommandContext& c) {
                                           for (int round : {2, 3}) {
                                               ImportRoundFile(*c.session.Current(), Drop(round));
                                               // As a batch's progress dialog lets them in between rounds.
                                               QCoreApplication::processEvents();
                                           }
                                           toldDuring = told.size();
                                       }}}));
    QObject::connect(&w.Followers(), &AuctionFollowers::RoundsImported,
                     [&](const QList<int>& rounds) { told.push_back(rounds); });
    w.MenuItem("mnuFileImport")->trigger();
    EXPECT_EQ(toldDuring, 0u);
    EXPECT_EQ(told, (std::vector<QList<int>>{{2, 3}}));

    Drop(4);
    ScanSettled();
    QCoreApplication::processEvents();
    EXPECT_EQ(told, (std::vector<QList<int>>{{2, 3}, {4}}));
}

TEST_F(FollowTest, AViewersRoundListShowsTheNewRoundWhenDroppedDown) {
    frmMain& w = Follow();
    w.FileNew();
    frmFlexGrid* viewer = w.ActiveViewer();
    ASSERT_EQ(viewer->RoundCount(), 1);
    Drop(2);
    ScanSettled();
    EXPECT_EQ(viewer->RoundCount(), 1);
    viewer->ddlRoundNum->showPopup();
    viewer->ddlRoundNum->hidePopup();
    ASSERT_EQ(viewer->RoundCount(), 2);
    EXPECT_EQ(viewer->ddlRoundNum->itemText(1), "2");
}

TEST_F(FollowTest, AViewerOnLatestMovesToEachNewRoundOneOnANumberedRoundStays) {
    frmMain& w = Follow();
    w.FileNew();
    frmFlexGrid* fixed = w.ActiveViewer();
    w.FileNew();
    frmFlexGrid* latest = w.ActiveViewer();
    latest->ddlRoundNum->setFocus();
    QTest::keyClick(latest->ddlRoundNum, Qt::Key_End);
    ASSERT_EQ(latest->ddlRoundNum->currentText(), store::kLatestRoundEntry);
    const QString table = latest->ddlTableName->currentText();

    for (int round : {2, 3}) {
        Drop(round);
        ScanSettled();
        QCoreApplication::processEvents();
        EXPECT_EQ(latest->CaptionText(), table + " - Round " + QString::number(round));
        EXPECT_EQ(latest->State().round, std::to_string(round));
        const std::shared_ptr<Recordset> rows = latest->Data1.GetRecordset();
        ASSERT_TRUE(rows && rows->RowCount() > 0);
        int column = 0;
        while (rows->Field(column).name != store::kRoundColumn) ++column;
        EXPECT_EQ(rows->Cell(0, column).asDouble(), round);
        EXPECT_EQ(fixed->CaptionText(), table + " - Round 1");
    }
    EXPECT_EQ(w.StatusPanel(1), latest->CaptionText());
    // A refill of the list keeps Latest chosen, now further down.
    latest->ddlRoundNum->showPopup();
    latest->ddlRoundNum->hidePopup();
    QTest::qWait(20);
    EXPECT_EQ(latest->ddlRoundNum->currentText(), store::kLatestRoundEntry);
    EXPECT_EQ(latest->CaptionText(), table + " - Round 3");
    EXPECT_TRUE(desktop.boxes.empty()) << desktop.LastBox().text;
}

TEST_F(FollowTest, OnOnlyWithAnAuctionOpenAndRememberedInTheSettings) {
    desktop.settings["Corvidel/Settings/FollowDownloads"] = "1";
    MakeWindow();
    EXPECT_TRUE(FollowItem()->isChecked());
    EXPECT_FALSE(FollowItem()->isEnabled());
    EXPECT_FALSE(window->ToolbarButton("Follow")->isEnabled());
    EXPECT_FALSE(window->Follower()->IsOn());

    auction = BuildAuctionDatabase(folder.Path(), options);
    window->Session().Open(auction);
    EXPECT_TRUE(FollowItem()->isEnabled());
    EXPECT_TRUE(window->Follower()->IsOn());
    window->Session().Close();
    EXPECT_FALSE(FollowItem()->isEnabled());
    EXPECT_FALSE(window->Follower()->IsOn());
    window->Session().Open(auction);

    window->ToolbarClick("Follow");
    EXPECT_FALSE(window->Follower()->IsOn());
    EXPECT_FALSE(window->ToolbarButton("Follow")->isChecked());
    EXPECT_EQ(desktop.settings["Corvidel/Settings/FollowDownloads"], "0");
}

TEST_F(FollowTest, JetRoundFilesOfARealAuctionAreFollowedToTheEnd) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples + "/31_006.mdb");
    MakeWindow();
    const std::string roundOne = folder.File("31_001.mdb");
    fs::copy_file(samples + "/31_001.mdb", roundOne);
    desktop.OpenFile(roundOne).Answer(MsgAnswer::No);
    CreateAuction(window->Session(), {});
    auction = OpenPath(*window);
    ASSERT_EQ(SplitFilePath(auction, true), "Auction31.mdb");

    FollowItem()->setChecked(true);
    for (int round = 2; round <= 6; ++round) {
        const std::string name = "31_00" + std::to_string(round) + ".mdb";
        fs::copy_file(samples + "/" + name, downloads + "/" + name);
    }
    ScanSettled();
    EXPECT_EQ(Rounds(), "123456");
    EXPECT_EQ(QueryCount(auction, "SELECT COUNT(DISTINCT Round) FROM [Markets and Bidders]"), 6);
    EXPECT_EQ(StatusMessage(), "Round 6 imported");
    EXPECT_TRUE(desktop.boxes.size() == 1 && desktop.boxes[0].title == "Round Imported Successfully");
}

}  // namespace
}  // namespace corv::test
