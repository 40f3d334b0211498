// Batch import: a whole auction from a folder of round files, the next files read ahead.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Recordset.h"
#include "store/RoundReadAhead.h"
#include "store/auction_commands_support.h"

using namespace corv;
using namespace corv::storetest;

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
