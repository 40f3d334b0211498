// Importing one round into the open auction with the questions and boxes of File > Import, and real Jet files
// through creation and import.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "store/auction_commands_support.h"
#include "support/NeededFile.h"

using namespace corv;
using namespace corv::storetest;

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
