#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>
#include <QProcess>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dialogue/AuctionCommands.h"
#include "engine/CorvError.h"
#include "engine/Recordset.h"
#include "fixture/FixtureAuction.h"
#include "store/RoundReadAhead.h"
#include "store/store_support.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/ScriptedDesktop.h"

using namespace corv;
using corv::test::ScriptedDesktop;
using namespace corv::storetest;
namespace fs = std::filesystem;

namespace {

// The main window as the commands see it: the opening question, and the news of the session.
struct FakeMain : store::AuctionListener {
    int fileOpenCalls = 0;
    std::vector<std::string> opened;
    std::vector<int> imported;
    int closings = 0;
    void FileOpen() { ++fileOpenCalls; }
    void AuctionOpened(store::Auction& auction) override { opened.push_back(auction.Path()); }
    void AuctionClosed() override { ++closings; }
    void RoundImported(store::Auction&, int round) override { imported.push_back(round); }
};

class AuctionCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("corv-store-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        downloads_ = (root_ / "download").string();
        program_ = (root_ / "program").string();
        fs::create_directories(downloads_);
        fs::create_directories(program_);
        desk_.SetDownloadsFolder(downloads_);
        desk_.SetProgramFolder(program_);
        desk_.Install();
        session_.AddListener(&main_);
    }
    void TearDown() override {
        // Every question asked was one the test expected, and every answer it scripted was used.
        EXPECT_EQ(desk_.unscripted, 0);
        EXPECT_TRUE(desk_.ScriptUsedUp());
        session_.Close();
        fs::remove_all(root_);
    }

    std::vector<std::string> WriteRounds(int auction, int rounds, const std::string& folder = {}) {
        fixture::AuctionOptions o;
        o.auction = auction;
        o.rounds = rounds;
        return fixture::WriteAuctionRounds(folder.empty() ? downloads_ : folder, o);
    }
    std::string RoundFile(int auction, int round) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d_%03d.mdb", auction, round);
        return downloads_ + "/" + name;
    }
    std::string WriteRound(int auction, int round) {
        fixture::AuctionOptions o;
        o.auction = auction;
        const std::string path = RoundFile(auction, round);
        fixture::WriteRoundFile(path, o, round);
        return path;
    }
    // A fresh auction with round 1, the deletion question answered No.
    std::string Create(int auction) {
        const std::string r1 = WriteRound(auction, 1);
        desk_.OpenFile(r1).Answer(MsgAnswer::No);
        CreateAuction(main_);
        return program_ + "/Auction" + std::to_string(auction) + ".mdb";
    }
    std::vector<std::string> Rounds(const std::string& auction) {
        return Column(Query(auction, "SELECT Round FROM sysRounds ORDER BY rowid"));
    }
    // Every supplied table's rows, for comparing whole databases.
    std::map<std::string, Rows> Snapshot(const std::string& db) {
        std::map<std::string, Rows> out;
        for (const auto& t : Column(Query(db, "SELECT name FROM sqlite_master WHERE type = 'table'")))
            out[t] = Query(db, "SELECT * FROM \"" + t + "\" ORDER BY rowid");
        return out;
    }
    void ExpectErrorBox(const std::string& prefix) {
        ASSERT_FALSE(desk_.boxes.empty());
        const auto& b = desk_.LastBox();
        EXPECT_EQ(b.text.rfind(prefix, 0), 0u) << b.text;
        EXPECT_EQ(b.title, "");
        EXPECT_EQ(b.icon, MsgIcon::None);
        EXPECT_EQ(b.buttons, MsgButtons::OK);
    }

    // The commands as the main window runs them.
    void CreateAuction(FakeMain& main) {
        corv::CreateAuction(session_, [&main] { main.FileOpen(); });
    }
    void BatchImportAuction(FakeMain& main) {
        corv::BatchImportAuction(session_, [&main] { main.FileOpen(); });
    }
    void ImportRound() { corv::ImportRound(session_.Current()); }
    std::string OpenPath() const { return session_.Current() ? session_.Current()->Path() : std::string(); }

    fs::path root_;
    std::string downloads_, program_;
    ScriptedDesktop desk_;
    FakeMain main_;
    store::AuctionSession session_;
};

const char* const kCreatedText =
    "Auction 12 has been successfully created.\r   Would you like to delete the round\r      results file "
    "you "
    "just imported?";

}  // namespace

// ---- creation ----

TEST_F(AuctionCommandsTest, CreatesTheAuctionFromRoundOne) {
    const std::string r1 = WriteRound(12, 1);
    desk_.OpenFile(r1).Answer(MsgAnswer::No);
    CreateAuction(main_);

    ASSERT_EQ(desk_.fileDialogs.size(), 1u);
    const auto& dialog = desk_.fileDialogs[0].options;
    EXPECT_EQ(dialog.filter, "Access (*.mdb)|*.mdb");
    EXPECT_EQ(dialog.initialDir, downloads_);
    EXPECT_TRUE(dialog.hideReadOnly);
    EXPECT_EQ(dialog.title, "");

    ASSERT_EQ(desk_.boxes.size(), 1u);
    EXPECT_EQ(desk_.boxes[0].text, kCreatedText);
    EXPECT_EQ(desk_.boxes[0].title, "Round Imported Successfully");
    EXPECT_EQ(desk_.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(desk_.boxes[0].icon, MsgIcon::None);

    const std::string auction = program_ + "/Auction12.mdb";
    ASSERT_TRUE(fs::exists(auction));
    EXPECT_TRUE(fs::exists(r1));  // answered No
    EXPECT_EQ(OpenPath(), auction);
    ASSERT_NE(session_.Current(), nullptr);
    EXPECT_EQ(main_.opened, std::vector<std::string>{auction});
    EXPECT_EQ(main_.fileOpenCalls, 0);

    EXPECT_EQ(Rounds(auction), std::vector<std::string>{"1"});
    EXPECT_EQ(Column(Query(auction, "SELECT TableName FROM sysSuppliedTables ORDER BY rowid")),
              kFixtureTables);
    EXPECT_EQ(Column(Query(auction, "SELECT TableName FROM sysTables ORDER BY rowid")), kFixtureTables);
    for (const auto& t : kFixtureTables) EXPECT_EQ(Count(auction, t), Count(r1, t)) << t;
    EXPECT_EQ(desk_.busyDepth, 0);
    EXPECT_EQ(desk_.BusyAtOkBoxes(), 0);
}

TEST_F(AuctionCommandsTest, PerRoundTablesAreIndexedByRound) {
    const std::string auction = Create(12);
    // Per-round tables get an index on Round so a viewer's round change does not scan the whole auction;
    // statistics tables and catalog tables do not, and no index shows up as a table.
    const auto indexed = Column(Query(auction,
                                      "SELECT tbl_name FROM sqlite_master WHERE type = 'index' "
                                      "AND sql IS NOT NULL ORDER BY tbl_name"));
    EXPECT_EQ(indexed, (std::vector<std::string>{"Bidder Eligibility", "Markets and Bidders"}));
    const auto plan = Column(Query(auction,
                                   "EXPLAIN QUERY PLAN SELECT * FROM \"Markets and Bidders\" "
                                   "WHERE \"Round\" = 1"),
                             3);
    ASSERT_FALSE(plan.empty());
    EXPECT_NE(plan[0].find("USING INDEX"), std::string::npos) << plan[0];
    EXPECT_EQ(Column(Query(auction, "SELECT TableName FROM sysTables ORDER BY rowid")), kFixtureTables);
}

TEST_F(AuctionCommandsTest, CreationTakesOnlyTheTablesAndRowsWithTheirDeclaredTypes) {
    const std::string r1 = WriteRound(12, 1);
    Exec(
        r1,
        "CREATE TRIGGER [Wipe] AFTER INSERT ON [Markets and Bidders] BEGIN DELETE FROM [Bidder Eligibility]; "
        "END; CREATE VIEW [Bids] AS SELECT * FROM [Markets and Bidders]; "
        "CREATE INDEX [By Market] ON [Markets and Bidders] ([Market])");
    desk_.OpenFile(r1).Answer(MsgAnswer::No);
    CreateAuction(main_);
    const std::string auction = program_ + "/Auction12.mdb";
    EXPECT_TRUE(Query(auction,
                      "SELECT name FROM sqlite_master WHERE type IN ('trigger', 'view') OR name = "
                      "'By Market'")
                    .empty());
    for (const auto& t : kFixtureTables) {
        const std::string columns = "SELECT name, type FROM pragma_table_info('" + t + "')";
        EXPECT_EQ(Query(auction, columns), Query(r1, columns)) << t;
        const std::string rows = "SELECT * FROM [" + t + "] ORDER BY rowid";
        EXPECT_EQ(Query(auction, rows), Query(r1, rows)) << t;
    }
}

TEST_F(AuctionCommandsTest, StrayLogFilesAtTheAuctionsNameAreNotTakenIn) {
    // Auction 13's log, full of a committed round, left at auction 12's name with no file of its own there.
    const std::string other = Create(13);
    desk_.OpenFile(WriteRound(13, 2)).Answer(MsgAnswer::No);
    ImportRound();
    ASSERT_GT(fs::file_size(other + "-wal"), 0u);
    fs::copy_file(other + "-wal", program_ + "/Auction12.mdb-wal");
    fs::copy_file(other + "-shm", program_ + "/Auction12.mdb-shm");

    const std::string auction = Create(12);
    EXPECT_EQ(Query(auction, "PRAGMA integrity_check"), Rows{{"ok"}});
    EXPECT_EQ(Rounds(auction), std::vector<std::string>{"1"});
    EXPECT_EQ(Count(auction, "Markets and Bidders"), 20);
}

TEST_F(AuctionCommandsTest, YesMovesTheRoundFileOnlyToTheTrash) {
    const std::string r1 = WriteRound(12, 1);
    desk_.OpenFile(r1).Answer(MsgAnswer::Yes);
    CreateAuction(main_);
    EXPECT_EQ(desk_.trashed, std::vector<std::string>{r1});
    const std::string auction = program_ + "/Auction12.mdb";
    EXPECT_EQ(Count(auction, "Markets and Bidders"), 20);
    EXPECT_EQ(Rounds(auction), std::vector<std::string>{"1"});
}

TEST_F(AuctionCommandsTest, YesDeletesTheRoundFileWhereThereIsNoTrash) {
    const std::string r1 = WriteRound(12, 1);
    desk_.trashAvailable = false;
    desk_.OpenFile(r1).Answer(MsgAnswer::Yes);
    CreateAuction(main_);
    EXPECT_FALSE(fs::exists(r1));
    EXPECT_EQ(desk_.boxes.size(), 1u);
}

TEST_F(AuctionCommandsTest, OwnTablesOfTheRoundFileAreNotSupplied) {
    const std::string r1 = WriteRound(12, 1);
    Exec(r1,
         "CREATE TABLE sysNotes (a); CREATE TABLE MSysObjects2 (a); CREATE TABLE \"SysCapital\" (a);"
         "CREATE TABLE \"msysLower\" (a)");
    desk_.OpenFile(r1).Answer(MsgAnswer::No);
    CreateAuction(main_);
    const auto supplied =
        Column(Query(program_ + "/Auction12.mdb", "SELECT TableName FROM sysSuppliedTables ORDER BY rowid"));
    auto expected = kFixtureTables;
    expected.push_back("SysCapital");
    expected.push_back("msysLower");
    EXPECT_EQ(supplied, expected);
    EXPECT_EQ(Column(Query(program_ + "/Auction12.mdb", "SELECT TableName FROM sysTables ORDER BY rowid")),
              expected);
}

TEST_F(AuctionCommandsTest, WrongRoundCreatesNothing) {
    const std::string r2 = WriteRound(12, 2);
    desk_.OpenFile(r2);
    CreateAuction(main_);
    ASSERT_EQ(desk_.boxes.size(), 1u);
    EXPECT_EQ(desk_.boxes[0].text, "This file does not contain round 1!\r           Please try again.");
    EXPECT_EQ(desk_.boxes[0].title, "Wrong File");
    EXPECT_EQ(desk_.boxes[0].buttons, MsgButtons::OK);
    EXPECT_EQ(desk_.boxes[0].icon, MsgIcon::None);
    EXPECT_TRUE(fs::is_empty(program_));
    EXPECT_EQ(session_.Current(), nullptr);
    EXPECT_EQ(main_.fileOpenCalls, 0);
    EXPECT_TRUE(main_.opened.empty());
}

TEST_F(AuctionCommandsTest, CancelAsksTheOpeningQuestionAgain) {
    desk_.OpenFile(std::nullopt);
    CreateAuction(main_);
    EXPECT_EQ(main_.fileOpenCalls, 1);
    EXPECT_TRUE(desk_.boxes.empty());

    desk_.OpenFile(std::nullopt);
    BatchImportAuction(main_);
    EXPECT_EQ(main_.fileOpenCalls, 2);
    EXPECT_TRUE(desk_.boxes.empty());
    EXPECT_TRUE(fs::is_empty(program_));
}

TEST_F(AuctionCommandsTest, BadFileNamesAndFilesAreReported) {
    const std::string odd = downloads_ + "/ab_001.mdb";
    fs::copy_file(WriteRound(12, 1), odd);
    desk_.OpenFile(odd);
    CreateAuction(main_);
    ASSERT_EQ(desk_.boxes.size(), 1u);
    EXPECT_EQ(desk_.boxes[0].text, "Error:13 ab_001.mdb is not a round results file name (NN_RRR.mdb)");
    ExpectErrorBox("Error:13 ");

    const std::string text = downloads_ + "/33_001.mdb";
    std::ofstream(text) << "these are words, and words do not make a database however many there are";
    desk_.OpenFile(text);
    CreateAuction(main_);
    ExpectErrorBox("Error:" + std::to_string(err::UnrecognizedFormat) + " ");
    EXPECT_FALSE(fs::exists(program_ + "/Auction33.mdb"));
    EXPECT_EQ(main_.fileOpenCalls, 0);
}

TEST_F(AuctionCommandsTest, ExistingAuctionIsSetAsideNotDestroyed) {
    const std::string auction = Create(12);
    desk_.OpenFile(WriteRound(12, 2)).Answer(MsgAnswer::No);
    ImportRound();
    ASSERT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
    const auto before = Snapshot(auction);

    desk_.OpenFile(RoundFile(12, 1)).Answer(MsgAnswer::No);
    CreateAuction(main_);
    EXPECT_EQ(desk_.LastBox().text, kCreatedText);
    EXPECT_EQ(Rounds(auction), std::vector<std::string>{"1"});
    EXPECT_EQ(OpenPath(), auction);
    // The open auction was let go of before its file was set aside, then the new one opened.
    EXPECT_EQ(main_.closings, 1);
    EXPECT_EQ(main_.opened, (std::vector<std::string>{auction, auction}));

    // The earlier file went whole, round 2 still in its log included, and alone: no log or index file of
    // its own beside it, and none of its own left beside the new file.
    std::vector<fs::path> aside;
    for (const auto& e : fs::directory_iterator(program_))
        if (e.path().filename().string().rfind("Auction12.mdb", 0) != 0) aside.push_back(e.path());
    ASSERT_EQ(aside.size(), 1u);
    const std::string name = aside[0].filename().string();
    // "Auction12 2026-12-08 211530.mdb"
    ASSERT_EQ(name.size(), std::string("Auction12 2026-12-08 211530.mdb").size()) << name;
    EXPECT_EQ(name.substr(0, 10), "Auction12 ");
    EXPECT_EQ(name.substr(name.size() - 4), ".mdb");
    EXPECT_EQ(Snapshot(aside[0].string()), before);

    // The open auction is the new file: an import lands there, not in the old one.
    desk_.OpenFile(RoundFile(12, 2)).Answer(MsgAnswer::No);
    ImportRound();
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Snapshot(aside[0].string()), before);
}

TEST_F(AuctionCommandsTest, MissingProgramFolderIsCreatedAndTheStepRetried) {
    const std::string nested = (root_ / "deep" / "er" / "program").string();
    desk_.SetProgramFolder(nested);
    desk_.OpenFile(WriteRound(12, 1)).Answer(MsgAnswer::No);
    CreateAuction(main_);
    EXPECT_EQ(desk_.LastBox().text, kCreatedText);
    EXPECT_EQ(Rounds(nested + "/Auction12.mdb"), std::vector<std::string>{"1"});
}

TEST_F(AuctionCommandsTest, SecondPathNotFoundReachesTheCaller) {
    // A folder beneath an ordinary file can never be made.
    std::ofstream(root_ / "blocker") << "x";
    desk_.SetProgramFolder((root_ / "blocker" / "program").string());
    desk_.OpenFile(WriteRound(12, 1));
    try {
        CreateAuction(main_);
        ADD_FAILURE() << "no error reached the caller";
    } catch (const CorvError& e) {
        EXPECT_EQ(e.number(), err::PathNotFound);
    }
    EXPECT_TRUE(desk_.boxes.empty());
    EXPECT_EQ(desk_.busyDepth, 0);
    EXPECT_EQ(desk_.BusyAtOkBoxes(), 0);
}

// ---- import ----

TEST_F(AuctionCommandsTest, ImportAppendsEveryTableAndRecordsTheRound) {
    const std::string auction = Create(12);
    const std::string r1 = RoundFile(12, 1);
    const std::string r2 = WriteRound(12, 2);
    desk_.OpenFile(r2).Answer(MsgAnswer::No);
    ImportRound();

    ASSERT_EQ(desk_.boxes.size(), 2u);
    const auto& box = desk_.boxes[1];
    EXPECT_EQ(box.text,
              "  Round 2 has been successfully imported.\rWould you like to delete the round results\r"
              "                file you just imported?");
    EXPECT_EQ(box.title, "Round Imported Successfully");
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_EQ(box.icon, MsgIcon::None);
    EXPECT_EQ(desk_.fileDialogs.back().options.initialDir, downloads_);
    EXPECT_EQ(desk_.fileDialogs.back().options.filter, "Access (*.mdb)|*.mdb");

    for (const auto& t : kFixtureTables) {
        if (t == "Withdrawal Statistics") continue;
        EXPECT_EQ(Count(auction, t), Count(r1, t) + Count(r2, t)) << t;
    }
    EXPECT_EQ(Query(auction, "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"),
              Query(r2, "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"));
    EXPECT_EQ(Query(auction, "SELECT * FROM [Markets and Bidders] WHERE Round = 2 ORDER BY rowid"),
              Query(r2, "SELECT * FROM [Markets and Bidders] ORDER BY rowid"));
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
    EXPECT_TRUE(fs::exists(r2));
    EXPECT_EQ(desk_.busyDepth, 0);
    EXPECT_EQ(desk_.BusyAtOkBoxes(), 0);
    // Only the auction keeps a write-ahead log; the round file is read and left as it came.
    EXPECT_EQ(Column(Query(r2, "PRAGMA journal_mode")), std::vector<std::string>{"delete"});
    EXPECT_FALSE(fs::exists(r2 + "-wal"));

    // Yes removes the round file after the round is in.
    const std::string r3 = WriteRound(12, 3);
    desk_.OpenFile(r3).Answer(MsgAnswer::Yes);
    ImportRound();
    EXPECT_FALSE(fs::exists(r3));
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(AuctionCommandsTest, PresentRoundOnlyOffersDeletion) {
    const std::string auction = Create(12);
    const std::string r2 = WriteRound(12, 2);
    desk_.OpenFile(r2).Answer(MsgAnswer::No);
    ImportRound();
    const auto before = Snapshot(auction);

    for (MsgAnswer answer : {MsgAnswer::No, MsgAnswer::Yes}) {
        desk_.OpenFile(r2).Answer(answer);
        ImportRound();
        const auto& box = desk_.LastBox();
        EXPECT_EQ(
            box.text,
            "    This round has already been imported!\rDo you wish to delete this round results file?");
        EXPECT_EQ(box.title, "Round Already Imported");
        EXPECT_EQ(box.buttons, MsgButtons::YesNo);
        EXPECT_EQ(box.icon, MsgIcon::None);
        EXPECT_EQ(fs::exists(r2), answer == MsgAnswer::No);
        EXPECT_EQ(Snapshot(auction), before);
    }
    // Round 1 came with the creation and counts as present too.
    desk_.OpenFile(RoundFile(12, 1)).Answer(MsgAnswer::No);
    ImportRound();
    EXPECT_EQ(desk_.LastBox().title, "Round Already Imported");
    EXPECT_EQ(Snapshot(auction), before);
}

TEST_F(AuctionCommandsTest, RoundsInAnyOrderWithGapsAndFromAnotherAuction) {
    const std::string auction = Create(12);
    for (int round : {5, 3}) {
        desk_.OpenFile(WriteRound(12, round)).Answer(MsgAnswer::No);
        ImportRound();
        EXPECT_EQ(desk_.LastBox().text.substr(0, 9), "  Round " + std::to_string(round));
    }
    // Another auction's file name is taken by its round number alone, but not its bids of that auction.
    const std::string other = WriteRound(15, 7);
    desk_.OpenFile(other);
    ImportRound();
    EXPECT_EQ(desk_.LastBox().text,
              "Error:3001 15_007.mdb holds bids of auction 15 in Markets and Bidders, not of auction 12");
    Exec(other, "UPDATE [Markets and Bidders] SET [Auction Id] = 12");
    desk_.OpenFile(other).Answer(MsgAnswer::No);
    ImportRound();
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "5", "3", "7"}));
    EXPECT_EQ(
        Column(Query(auction, "SELECT DISTINCT [Auction Id] FROM [Markets and Bidders] WHERE Round = 7")),
        std::vector<std::string>{"12"});
    EXPECT_EQ(Column(Query(auction, "SELECT DISTINCT Round FROM [Withdrawal Statistics]")),
              std::vector<std::string>{"7"});
}

TEST_F(AuctionCommandsTest, ImportRefusesARoundFileWhoseBidsAreOfAnotherRound) {
    const std::string auction = Create(12);
    const auto before = Snapshot(auction);
    fs::copy_file(WriteRound(12, 2), RoundFile(12, 5));
    desk_.OpenFile(RoundFile(12, 5));
    ImportRound();
    EXPECT_EQ(
        desk_.LastBox().text,
        "Error:3001 12_005.mdb is named as round 5, but its bids in Markets and Bidders are of round 2");
    ExpectErrorBox("Error:3001 ");
    EXPECT_EQ(Snapshot(auction), before);

    // Bids of a later round than the name says.
    fs::copy_file(WriteRound(12, 3), RoundFile(12, 2), fs::copy_options::overwrite_existing);
    desk_.OpenFile(RoundFile(12, 2));
    ImportRound();
    EXPECT_EQ(
        desk_.LastBox().text,
        "Error:3001 12_002.mdb is named as round 2, but its bids in Markets and Bidders are of round 3");
    EXPECT_EQ(Snapshot(auction), before);
}

TEST_F(AuctionCommandsTest, CancelledImportIsSilent) {
    const std::string auction = Create(12);
    const auto before = Snapshot(auction);
    const size_t boxes = desk_.boxes.size();
    desk_.OpenFile(std::nullopt);
    ImportRound();
    EXPECT_EQ(desk_.boxes.size(), boxes);
    EXPECT_EQ(main_.fileOpenCalls, 0);
    EXPECT_EQ(Snapshot(auction), before);
}

TEST_F(AuctionCommandsTest, FailedImportChangesNothing) {
    const std::string auction = Create(12);
    const auto before = Snapshot(auction);

    const std::string missing = WriteRound(12, 2);
    Exec(missing, "DROP TABLE [Waiver Statistics]");
    desk_.OpenFile(missing);
    ImportRound();
    ExpectErrorBox("Error:");
    EXPECT_EQ(Snapshot(auction), before);

    const std::string extraColumn = WriteRound(12, 3);
    Exec(extraColumn, "ALTER TABLE [Bidder Eligibility] ADD COLUMN [Comment] TEXT");
    desk_.OpenFile(extraColumn);
    ImportRound();
    ExpectErrorBox("Error:");
    EXPECT_EQ(Snapshot(auction), before);

    const std::string renamedColumn = WriteRound(12, 4);
    Exec(renamedColumn,
         "ALTER TABLE [Waiver Statistics] RENAME COLUMN [Waivers Left] TO [Waivers Remaining]");
    desk_.OpenFile(renamedColumn);
    ImportRound();
    ExpectErrorBox("Error:");
    EXPECT_EQ(Snapshot(auction), before);

    const std::string notDb = downloads_ + "/12_005.mdb";
    std::ofstream(notDb) << "plain words, plain words, plain words, plain words, plain words";
    desk_.OpenFile(notDb);
    ImportRound();
    ExpectErrorBox("Error:" + std::to_string(err::UnrecognizedFormat) + " ");
    EXPECT_EQ(Snapshot(auction), before);

    // A good file for a round that failed before goes in once, not twice.
    const std::string good = WriteRound(12, 2);
    desk_.OpenFile(good).Answer(MsgAnswer::No);
    ImportRound();
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Count(auction, "Markets and Bidders"), 40);
    EXPECT_EQ(desk_.busyDepth, 0);
    EXPECT_EQ(desk_.BusyAtOkBoxes(), 0);
}

TEST_F(AuctionCommandsTest, ImportNeedsAnOpenAuctionAndARoundName) {
    desk_.OpenFile(WriteRound(12, 2));
    ImportRound();
    ExpectErrorBox("Error:91 ");

    Create(12);
    const std::string odd = downloads_ + "/12_x02.mdb";
    fs::copy_file(WriteRound(12, 2), odd, fs::copy_options::overwrite_existing);
    desk_.OpenFile(odd);
    ImportRound();
    EXPECT_EQ(desk_.LastBox().text, "Error:13 12_x02.mdb is not a round results file name (NN_RRR.mdb)");
}

TEST_F(AuctionCommandsTest, AuctionFolderWithADoubleQuoteImports) {
    const std::string folder = (root_ / "say \"when\"").string();
    fs::create_directories(folder);
    desk_.SetProgramFolder(folder);
    desk_.OpenFile(WriteRound(12, 1)).Answer(MsgAnswer::No);
    CreateAuction(main_);
    desk_.OpenFile(WriteRound(12, 2)).Answer(MsgAnswer::No);
    ImportRound();
    EXPECT_EQ(desk_.LastBox().title, "Round Imported Successfully") << desk_.LastBox().text;
    EXPECT_EQ(Rounds(folder + "/Auction12.mdb"), (std::vector<std::string>{"1", "2"}));
}

// ---- batch ----

TEST_F(AuctionCommandsTest, BatchImportsConsecutiveRounds) {
    const auto files = WriteRounds(14, 5);
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);

    const std::string auction = program_ + "/Auction14.mdb";
    ASSERT_EQ(desk_.boxes.size(), 1u);  // no deletion question
    EXPECT_EQ(desk_.boxes[0].text, "Finished importing rounds 1 to 5.");
    EXPECT_EQ(desk_.boxes[0].title, "Finished Batch Import");
    EXPECT_EQ(desk_.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(desk_.boxes[0].buttons, MsgButtons::OK);
    EXPECT_EQ(main_.opened, std::vector<std::string>{auction});
    EXPECT_EQ(OpenPath(), auction);
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(main_.imported, (std::vector<int>{2, 3, 4, 5}));
    long bids = 0;
    for (const auto& f : files) {
        EXPECT_TRUE(fs::exists(f));
        bids += Count(f, "Markets and Bidders");
    }
    EXPECT_EQ(Count(auction, "Markets and Bidders"), bids);
    EXPECT_EQ(Query(auction, "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"),
              Query(files[4], "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"));

    // The auction keeps its write-ahead log; closed, it is one file again.
    EXPECT_EQ(Column(Query(auction, "PRAGMA journal_mode")), std::vector<std::string>{"wal"});
    session_.Close();
    EXPECT_FALSE(fs::exists(auction + "-wal"));
    EXPECT_FALSE(fs::exists(auction + "-shm"));

    ASSERT_EQ(desk_.progress.size(), 1u);
    EXPECT_EQ(desk_.progress[0].maximum, 4);
    ASSERT_EQ(desk_.progress[0].steps.size(), 4u);
    EXPECT_EQ(desk_.progress[0].steps[0].second, "Importing round 2 of 5");
    EXPECT_EQ(desk_.progress[0].steps[3].second, "Importing round 5 of 5");
    EXPECT_TRUE(desk_.progress[0].ended);
    EXPECT_EQ(desk_.busyDepth, 0);
    EXPECT_EQ(desk_.BusyAtOkBoxes(), 0);
}

TEST_F(AuctionCommandsTest, BatchStopsAtTheFirstGap) {
    auto files = WriteRounds(14, 4);
    fs::remove(files[2]);
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    EXPECT_EQ(desk_.LastBox().text, "Finished importing rounds 1 to 2.");
    EXPECT_EQ(Rounds(program_ + "/Auction14.mdb"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Column(Query(program_ + "/Auction14.mdb", "SELECT DISTINCT Round FROM [Markets and Bidders]")),
              (std::vector<std::string>{"1", "2"}));
}

TEST_F(AuctionCommandsTest, BatchOfRoundOneAloneAndOfALaterRound) {
    auto files = WriteRounds(14, 3);
    desk_.OpenFile(files[2]);
    BatchImportAuction(main_);
    EXPECT_EQ(desk_.LastBox().title, "Wrong File");
    EXPECT_TRUE(fs::is_empty(program_));

    const std::string lone = (root_ / "lone").string();
    auto single = WriteRounds(14, 1, lone);
    desk_.OpenFile(single[0]);
    BatchImportAuction(main_);
    EXPECT_EQ(desk_.LastBox().text, "Finished importing rounds 1 to 1.");
    EXPECT_TRUE(desk_.progress.empty());
    EXPECT_EQ(Rounds(program_ + "/Auction14.mdb"), std::vector<std::string>{"1"});
}

TEST_F(AuctionCommandsTest, BatchCancelledBetweenRoundsKeepsWhatIsIn) {
    auto files = WriteRounds(14, 5);
    desk_.CancelProgressAtStep(3);  // asked before round 4
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    EXPECT_EQ(desk_.LastBox().text, "Finished importing rounds 1 to 3.");
    EXPECT_EQ(desk_.LastBox().title, "Finished Batch Import");
    EXPECT_EQ(Rounds(program_ + "/Auction14.mdb"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Query(program_ + "/Auction14.mdb", "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"),
              Query(files[2], "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"));
    ASSERT_EQ(desk_.progress.size(), 1u);
    EXPECT_TRUE(desk_.progress[0].ended);
}

TEST_F(AuctionCommandsTest, BatchFailureKeepsEarlierRounds) {
    auto files = WriteRounds(14, 4);
    Exec(files[2], "DROP TABLE [Round Statistics]");
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    ExpectErrorBox("Error:");
    const std::string auction = program_ + "/Auction14.mdb";
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Column(Query(auction, "SELECT DISTINCT Round FROM [Markets and Bidders]")),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Query(auction, "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"),
              Query(files[1], "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"));
    ASSERT_EQ(desk_.progress.size(), 1u);
    EXPECT_TRUE(desk_.progress[0].ended);
    EXPECT_EQ(desk_.busyDepth, 0);
    EXPECT_EQ(desk_.BusyAtOkBoxes(), 0);
}

TEST_F(AuctionCommandsTest, BatchStopsAtARoundFileWhoseBidsAreOfAnotherRound) {
    const auto files = WriteRounds(14, 4);
    fs::copy_file(files[1], files[2], fs::copy_options::overwrite_existing);
    // A round without bids is taken as it is.
    Exec(files[1], "DELETE FROM [Markets and Bidders]");
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    EXPECT_EQ(
        desk_.LastBox().text,
        "Error:3001 14_003.mdb is named as round 3, but its bids in Markets and Bidders are of round 2");
    const std::string auction = program_ + "/Auction14.mdb";
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Column(Query(auction, "SELECT DISTINCT Round FROM [Markets and Bidders]")),
              std::vector<std::string>{"1"});
}

// Round 3 is read while round 2 is appended: its failure still stops the batch at round 3.
TEST_F(AuctionCommandsTest, BatchWhoseFileReadAheadFailsStopsAtThatRound) {
    auto files = WriteRounds(14, 4);
    std::ofstream(files[2], std::ios::binary | std::ios::trunc) << "not a round file";
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    ExpectErrorBox("Error:");
    EXPECT_EQ(Rounds(program_ + "/Auction14.mdb"), (std::vector<std::string>{"1", "2"}));
    ASSERT_EQ(desk_.progress.size(), 1u);
    EXPECT_TRUE(desk_.progress[0].ended);
}

// Round 4 is read while round 2 is appended, two rounds ahead: the batch still stops at round 4.
TEST_F(AuctionCommandsTest, BatchWhoseFileTwoRoundsAheadFailsStopsAtThatRound) {
    auto files = WriteRounds(14, 5);
    std::ofstream(files[3], std::ios::binary | std::ios::trunc) << "not a round file";
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    ExpectErrorBox("Error:" + std::to_string(err::UnrecognizedFormat) + " ");
    EXPECT_EQ(Rounds(program_ + "/Auction14.mdb"), (std::vector<std::string>{"1", "2", "3"}));
}

// Round 4's file fails while it is read ahead; round 3, before it, fails later, when it is appended, and is
// the failure shown.
TEST_F(AuctionCommandsTest, BatchShowsTheFirstFailingRoundWhateverFailedFirst) {
    auto files = WriteRounds(14, 5);
    fs::copy_file(files[1], files[2], fs::copy_options::overwrite_existing);
    std::ofstream(files[3], std::ios::binary | std::ios::trunc) << "not a round file";
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    ExpectErrorBox("Error:" + std::to_string(kRoundOfAnotherAuction) + " 14_003.mdb ");
    EXPECT_EQ(Rounds(program_ + "/Auction14.mdb"), (std::vector<std::string>{"1", "2"}));
}

// A step retried after a path-not-found takes its round's file again: the try before closed it.
TEST_F(AuctionCommandsTest, BatchReadAheadOpensTheFileAgainForARetriedStep) {
    const auto files = WriteRounds(14, 2);
    RoundReadAhead ahead;
    ahead.Start(files[1]);
    RoundReadAhead::Read read = ahead.Next();
    read.Take()->Close();
    const auto again = read.Take();
    EXPECT_EQ(
        again->OpenRecordset("SELECT DISTINCT [Round] FROM [Markets and Bidders]")->GetValue(0).toString(),
        "2");
}

TEST_F(AuctionCommandsTest, BatchTakesRoundFilesWhateverTheCaseOfTheirExtension) {
    const auto files = WriteRounds(14, 3);
    fs::rename(files[1], downloads_ + "/14_002.MDB");
    fs::rename(files[2], downloads_ + "/14_003.mDb");
    // A second spelling of round 3, later in name order, holding other rows.
    fixture::AuctionOptions o;
    o.auction = 14;
    fixture::WriteRoundFile(downloads_ + "/14_003.mdB", o, 9);
    desk_.OpenFile(files[0]);
    BatchImportAuction(main_);
    EXPECT_EQ(desk_.LastBox().text, "Finished importing rounds 1 to 3.");
    EXPECT_EQ(Column(Query(program_ + "/Auction14.mdb", "SELECT DISTINCT Round FROM [Markets and Bidders]")),
              (std::vector<std::string>{"1", "2", "3"}));
}

// ---- real Jet files ----

TEST_F(AuctionCommandsTest, JetRoundFilesCreateAndImport) {
    const std::string nwind = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/nwind.mdb";
    CORV_NEED_FILE(nwind);
    const std::string r1 = downloads_ + "/12_001.mdb";
    fs::copy_file(nwind, r1);
    desk_.OpenFile(r1).Answer(MsgAnswer::No);
    CreateAuction(main_);
    ASSERT_EQ(desk_.LastBox().text, kCreatedText);

    const std::string auction = program_ + "/Auction12.mdb";
    std::ifstream in(auction, std::ios::binary);
    std::string magic(15, '\0');
    in.read(magic.data(), 15);
    EXPECT_EQ(magic, "SQLite format 3");
    const auto tables = Column(Query(auction, "SELECT TableName FROM sysSuppliedTables ORDER BY rowid"));
    ASSERT_FALSE(tables.empty());
    std::map<std::string, long> counts;
    for (const auto& t : tables) {
        EXPECT_NE(t.rfind("MSys", 0), 0u) << t;
        counts[t] = Count(auction, t);
    }
    EXPECT_EQ(Column(Query(auction, "SELECT TableName FROM sysTables ORDER BY rowid")), tables);

    const std::string r2 = downloads_ + "/12_002.mdb";
    fs::copy_file(nwind, r2);
    desk_.OpenFile(r2).Answer(MsgAnswer::No);
    ImportRound();
    ASSERT_EQ(desk_.LastBox().title, "Round Imported Successfully") << desk_.LastBox().text;
    for (const auto& t : tables) EXPECT_EQ(Count(auction, t), 2 * counts[t]) << t;
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2"}));
}

TEST_F(AuctionCommandsTest, JetEmptyAndNullTextsStayApartThroughCreateAndImport) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    for (const char* name : {"31_001.mdb", "31_002.mdb"})
        fs::copy_file(samples + "/" + name, downloads_ + "/" + name);
    desk_.OpenFile(downloads_ + "/31_001.mdb").Answer(MsgAnswer::No);
    CreateAuction(main_);
    desk_.OpenFile(downloads_ + "/31_002.mdb").Answer(MsgAnswer::No);
    ImportRound();
    EXPECT_EQ(
        Query(program_ + "/Auction31.mdb",
              "SELECT Round, [Bidder Name], typeof([Orvane Acct]), [Orvane Acct] FROM [Bidder Activity] "
              "WHERE [Bidder Name] IN ('Tern Wireless', 'Osprey Comm') ORDER BY Round, [Bidder Name]"),
        (Rows{{"1", "Osprey Comm", "null", "<null>"},
              {"1", "Tern Wireless", "text", ""},
              {"2", "Osprey Comm", "null", "<null>"},
              {"2", "Tern Wireless", "text", ""}}));
}

// ---- corvidel-import ----

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

ToolRun RunImportTool(const QStringList& args) {
    corv::test::TestApp();
    QProcess p;
    p.start(QStringLiteral(CORVIDEL_IMPORT_TOOL), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

}  // namespace

TEST_F(AuctionCommandsTest, ImportToolGoesInRoundOrderAndStopsAtTheFirstFailure) {
    const std::string auction = Create(12);
    session_.Close();
    const QString db = QString::fromStdString(auction);
    const std::string two = WriteRound(12, 2), three = WriteRound(12, 3);

    ToolRun run = RunImportTool({db, QString::fromStdString(three), QString::fromStdString(two)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Round 2 imported from " + two + "\nRound 3 imported from " + three + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(two));

    // Refused: a round already in, and a file of another auction; nothing changes.
    const auto before = Snapshot(auction);
    run = RunImportTool({db, QString::fromStdString(two)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "Round 2 not imported from " + two + ": Error 3022: Round 2 has already been imported\n");
    run = RunImportTool({db, QString::fromStdString(WriteRound(15, 4))});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.rfind("Round 4 not imported from " + RoundFile(15, 4) + ": Error 3001: ", 0), 0u)
        << run.err;
    EXPECT_EQ(Snapshot(auction), before);

    // A failing round keeps the rounds before it and stops the ones after.
    const std::string broken = WriteRound(12, 5);
    Exec(broken, "DROP TABLE [Waiver Statistics]");
    run = RunImportTool({db, QString::fromStdString(WriteRound(12, 6)), QString::fromStdString(broken),
                         QString::fromStdString(WriteRound(12, 4))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Round 4 imported from " + RoundFile(12, 4) + "\n");
    EXPECT_EQ(run.err.rfind("Round 5 not imported from " + broken + ": Error ", 0), 0u) << run.err;
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2", "3", "4"}));

    EXPECT_EQ(RunImportTool({db}).exitCode, 2);
    const std::string unnumbered = program_ + "/Spring.mdb";
    fs::copy_file(auction, unnumbered);
    run = RunImportTool({QString::fromStdString(unnumbered), QString::fromStdString(RoundFile(12, 6))});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err.rfind(unnumbered + ": Error 3001: ", 0), 0u) << run.err;
}

TEST_F(AuctionCommandsTest, ImportToolCreatesAMissingAuctionButNeverReplacesOne) {
    const auto files = WriteRounds(12, 3);
    const std::string auction = program_ + "/Auction12.mdb";
    const QString db = QString::fromStdString(auction);
    // A round 1 file holding round 2's bids creates nothing.
    const std::string misnamed = (root_ / "12_001.mdb").string();
    fs::copy_file(files[1], misnamed);
    ToolRun run = RunImportTool({db, QString::fromStdString(misnamed)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.rfind("Round 1 not imported from " + misnamed + ": Error 3001: ", 0), 0u) << run.err;
    EXPECT_TRUE(fs::is_empty(program_));

    run = RunImportTool({db, QString::fromStdString(files[2]), QString::fromStdString(files[0]),
                         QString::fromStdString(files[1])});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Round 1 imported from " + files[0] + "\nRound 2 imported from " + files[1] +
                           "\nRound 3 imported from " + files[2] + "\n");
    EXPECT_EQ(Rounds(auction), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Column(Query(auction, "SELECT TableName FROM sysTables ORDER BY rowid")), kFixtureTables);
    EXPECT_EQ(
        Query(auction, "SELECT tbl_name FROM sqlite_master WHERE name = 'sysRoundIndex Markets and Bidders'"),
        (Rows{{"Markets and Bidders"}}));

    const auto before = Snapshot(auction);
    run = RunImportTool({db, QString::fromStdString(files[0])});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err,
              "Round 1 not imported from " + files[0] + ": Error 3022: Round 1 has already been imported\n");
    EXPECT_EQ(Snapshot(auction), before);
    for (const auto& e : fs::directory_iterator(program_))
        EXPECT_EQ(e.path().filename().string().rfind("Auction12.mdb", 0), 0u) << e.path();
}

TEST_F(AuctionCommandsTest, ImportToolRefusesAJetRoundFileSavedUnderAnotherRoundsName) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    for (const char* name : {"31_001.mdb", "31_002.mdb"})
        fs::copy_file(samples + "/" + name, downloads_ + "/" + name);
    const std::string seventh = downloads_ + "/31_007.mdb";
    fs::copy_file(samples + "/31_003.mdb", seventh);
    const QString db = QString::fromStdString(program_ + "/Auction31.mdb");
    ToolRun run = RunImportTool({db, QString::fromStdString(downloads_ + "/31_001.mdb"),
                                 QString::fromStdString(downloads_ + "/31_002.mdb")});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const auto before = Snapshot(db.toStdString());
    run = RunImportTool({db, QString::fromStdString(seventh)});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err,
              "Round 7 not imported from " + seventh +
                  ": Error 3001: 31_007.mdb is named as round 7, but its bids in Markets and Bidders "
                  "are of round 3\n");
    EXPECT_EQ(Snapshot(db.toStdString()), before);
}

TEST_F(AuctionCommandsTest, ImportToolExitCodesForNamesVersionAndJetAuctions) {
    const std::string auction = Create(12);
    session_.Close();
    const std::string longName = downloads_ + "/12_0002.mdb";
    fs::copy_file(WriteRound(12, 2), longName);
    ToolRun run = RunImportTool({QString::fromStdString(auction), QString::fromStdString(longName)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, longName + ": Error 13: 12_0002.mdb is not a round results file name (NN_RRR.mdb)\n");

    run = RunImportTool({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("corvidel-import ", 0), 0u) << run.out;

    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    const std::string jet = program_ + "/Auction31.mdb";
    fs::copy_file(samples + "/Auction31.mdb", jet);
    fs::copy_file(samples + "/31_004.mdb", downloads_ + "/31_004.mdb");
    run = RunImportTool({QString::fromStdString(jet), QString::fromStdString(downloads_ + "/31_004.mdb")});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(jet + ": Error 3027: ", 0), 0u) << run.err;
}
