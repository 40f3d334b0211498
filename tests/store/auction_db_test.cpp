#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "engine/CorvError.h"
#include "fixture/FixtureAuction.h"
#include "store/Auction.h"
#include "store/AuctionFile.h"
#include "store/RoundFileNames.h"
#include "store/RoundImport.h"
#include "store/store_support.h"

using namespace corv;
namespace fs = std::filesystem;

namespace {

int ErrorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CorvError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(SplitFilePathTest, FileNameAndFolderAroundTheLastSeparator) {
    EXPECT_EQ(SplitFilePath("/data/rounds/14_003.mdb", true), "14_003.mdb");
    EXPECT_EQ(SplitFilePath("/data/rounds/14_003.mdb", false), "/data/rounds/");
    EXPECT_EQ(SplitFilePath("14_003.mdb", true), "14_003.mdb");
    EXPECT_EQ(SplitFilePath("14_003.mdb", false), "");
    EXPECT_EQ(SplitFilePath("/data/", true), "");
    EXPECT_EQ(SplitFilePath("/data/", false), "/data/");
    EXPECT_EQ(SplitFilePath("", true), "");
    EXPECT_EQ(SplitFilePath("", false), "");
    // A Windows separator is an ordinary character here.
    EXPECT_EQ(SplitFilePath("/a/C:\\Data\\14_003.mdb", true), "C:\\Data\\14_003.mdb");
}

TEST(FileNameRuleTest, NumbersComeFromFixedPositions) {
    EXPECT_EQ(RoundNumberFromFileName("07_012.mdb"), 12);
    EXPECT_EQ(RoundNumberFromFileName("14_001.mdb"), 1);
    EXPECT_EQ(RoundNumberFromFileName("14_250.mdb"), 250);
    EXPECT_EQ(AuctionNumberFromFileName("07_012.mdb"), 7);
    EXPECT_EQ(AuctionNumberFromFileName("14_001.mdb"), 14);
    EXPECT_EQ(AuctionPrefixFromFileName("07_012.mdb"), "07");
    EXPECT_EQ(RoundNumberFromFileName("07_012.MDB"), 12);
}

TEST(FileNameRuleTest, AnyOtherNameIsATypeMismatchNamingTheForm) {
    // 31_0002.mdb has digits where the round is read, and would be round 0.
    for (const char* name : {"14_abc.mdb", "14_1.mdb", "14_", "14_0x1.mdb", "Auction12.mdb", "",
                             "31_0002.mdb", "05-003.mdb", "14_003.mdb.bak", " 7_012.mdb"}) {
        SCOPED_TRACE(name);
        try {
            RoundNumberFromFileName(name);
            ADD_FAILURE() << "no error";
        } catch (const CorvError& e) {
            EXPECT_EQ(e.number(), 13);
            EXPECT_EQ(e.description(), std::string(name) + " is not a round results file name (NN_RRR.mdb)");
        }
    }
    EXPECT_EQ(ErrorNumberOf([] { AuctionNumberFromFileName("x7_001.mdb"); }), 13);
    EXPECT_EQ(ErrorNumberOf([] { AuctionNumberFromFileName("Auction7.mdb"); }), 13);
}

TEST(StatisticsTableTest, OnlyTheSixStatisticsTables) {
    for (const char* t : {"Round Statistics", "Increment Statistics", "Miscellaneous Statistics",
                          "Reduction Statistics", "Withdrawal Statistics", "Waiver Statistics"})
        EXPECT_TRUE(store::IsStatisticsTable(t)) << t;
    EXPECT_FALSE(store::IsStatisticsTable("Markets and Bidders"));
    EXPECT_FALSE(store::IsStatisticsTable("Bidder Eligibility"));
    EXPECT_FALSE(store::IsStatisticsTable("Statistics"));
}

class AuctionSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("corv-auctiondb-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fixture::AuctionOptions a;
        a.rounds = 1;
        a.auction = 3;
        first_ = AuctionOf(a);
        a.auction = 4;
        a.bidsPerRound = 7;
        second_ = AuctionOf(a);
    }
    std::string AuctionOf(const fixture::AuctionOptions& a) const {
        const std::string auction = (dir_ / ("Auction" + std::to_string(a.auction) + ".mdb")).string();
        WriteAuctionFile(fixture::WriteAuctionRounds(dir_.string(), a)[0], auction, nullptr, "");
        return auction;
    }
    void TearDown() override {
        session_.Close();
        fs::remove_all(dir_);
    }
    long BidCount() {
        auto rs = OpenDb()->OpenRecordset("SELECT * FROM [Markets and Bidders]", RecordsetType::Snapshot);
        rs->WaitComplete();
        return static_cast<long>(rs->RowCount());
    }
    std::shared_ptr<Database> OpenDb() const {
        return session_.Current() ? session_.Current()->Db() : nullptr;
    }
    std::string OpenPath() const { return session_.Current() ? session_.Current()->Path() : std::string(); }

    fs::path dir_;
    std::string first_, second_;
    store::AuctionSession session_;
};

TEST_F(AuctionSessionTest, OpeningAnotherReplacesHandleAndPath) {
    EXPECT_EQ(OpenDb(), nullptr);
    session_.Open(first_);
    EXPECT_EQ(OpenPath(), first_);
    EXPECT_EQ(BidCount(), 20);
    session_.Open(second_);
    EXPECT_EQ(OpenPath(), second_);
    EXPECT_EQ(OpenDb()->Name(), second_);
    EXPECT_EQ(BidCount(), 7);
}

TEST_F(AuctionSessionTest, FailuresLeaveTheOpenAuctionInPlace) {
    session_.Open(first_);
    auto before = OpenDb();
    EXPECT_EQ(ErrorNumberOf([&] { session_.Open((dir_ / "missing.mdb").string()); }), err::FileNotFound);
    const std::string text = (dir_ / "text.mdb").string();
    std::ofstream(text) << "not a database at all, just some words that go on for a while";
    EXPECT_EQ(ErrorNumberOf([&] { session_.Open(text); }), err::UnrecognizedFormat);
    // Another program's database is refused as it is, not switched to the auction's log mode first.
    const std::string other = (dir_ / "other.db").string();
    storetest::Exec(other, "CREATE TABLE t (x)");
    EXPECT_EQ(ErrorNumberOf([&] { session_.Open(other); }), err::UnrecognizedFormat);
    EXPECT_EQ(storetest::Query(other, "PRAGMA journal_mode"), (storetest::Rows{{"delete"}}));
    EXPECT_EQ(OpenDb(), before);
    EXPECT_EQ(OpenPath(), first_);
    EXPECT_EQ(BidCount(), 20);
}

TEST_F(AuctionSessionTest, CloseForgetsAndMayBeRepeated) {
    session_.Open(first_);
    auto held = OpenDb();
    session_.Close();
    EXPECT_EQ(OpenDb(), nullptr);
    EXPECT_EQ(OpenPath(), "");
    EXPECT_FALSE(held->IsOpen());
    session_.Close();
    EXPECT_EQ(OpenDb(), nullptr);
}

TEST_F(AuctionSessionTest, WritesGoThroughWhileALargeSetLoadsAndTheSetKeepsItsRows) {
    fixture::AuctionOptions big;
    big.auction = 5;
    big.rounds = 1;
    big.bidsPerRound = 100000;
    session_.Open(AuctionOf(big));
    auto loading = OpenDb()->OpenRecordset("SELECT * FROM [Markets and Bidders]", RecordsetType::Snapshot);
    ASSERT_FALSE(loading->IsComplete());
    // Not waiting at all: a write that needed the loader to finish first would fail at once.
    sqlite3_busy_timeout(OpenDb()->Handle(), 0);
    OpenDb()->Execute("INSERT INTO [Markets and Bidders] ([Round]) VALUES (2)");
    loading->WaitComplete();
    EXPECT_EQ(loading->RowCount(), 100000u);
    EXPECT_EQ(BidCount(), 100001);
}

// Whether /proc/locks lists a lock of this process on the file.
bool HoldsLockOn(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    std::ifstream locks("/proc/locks");
    const std::string pid = std::to_string(::getpid());
    const std::string inode = ":" + std::to_string(st.st_ino);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        // "1: POSIX  ADVISORY  READ 1234 fe:01:56789 1073741826 1073742335"
        if (w.size() >= 6 && w[4] == pid && w[5].ends_with(inode)) return true;
    }
    return false;
}

TEST(AuctionBesideOtherPrograms, AnotherProgramReadingBetweenImportsTakesNothingAway) {
    const fs::path dir = fs::temp_directory_path() / ("corv-outside-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fixture::AuctionOptions o;
    o.auction = 6;
    o.rounds = 4;
    const std::vector<std::string> files = fixture::WriteAuctionRounds((dir / "download").string(), o);
    const std::string auction = (dir / "Auction6.mdb").string();
    WriteAuctionFile(files[0], auction, nullptr, "");

    store::AuctionSession session;
    session.Open(auction);
    EXPECT_TRUE(HoldsLockOn(auction));
    const auto outsideRead = [&] {
        EXPECT_TRUE(HoldsLockOn(auction));
        const std::string command = std::string(CORVIDEL_OUTSIDE_READER) + " '" + auction + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_TRUE(HoldsLockOn(auction));
    };
    ImportRoundFile(*session.Current(), files[1]);
    outsideRead();
    // A viewer opening the auction anew after the import.
    Engine().OpenDatabase(auction)->Close();
    outsideRead();
    ImportRoundFile(*session.Current(), files[2]);
    outsideRead();
    ImportRoundFile(*session.Current(), files[3]);
    session.Close();

    using storetest::Query;
    EXPECT_EQ(Query(auction, "PRAGMA integrity_check"), (storetest::Rows{{"ok"}}));
    EXPECT_EQ(storetest::Column(Query(auction, "SELECT Round FROM sysRounds ORDER BY Round")),
              (std::vector<std::string>{"1", "2", "3", "4"}));
    for (const std::string& table : storetest::kFixtureTables) {
        // Withdrawal Statistics holds the latest round only.
        long rows = storetest::Count(files.back(), table);
        if (table != "Withdrawal Statistics")
            for (std::size_t i = 0; i + 1 < files.size(); ++i) rows += storetest::Count(files[i], table);
        EXPECT_EQ(storetest::Count(auction, table), rows) << table;
    }
    fs::remove_all(dir);
}
