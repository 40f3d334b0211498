// Creating an auction from its round 1 file, with the questions and boxes of the command.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "store/auction_commands_support.h"

using namespace corv;
using namespace corv::storetest;

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
