#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dialogue/AuctionCommands.h"
#include "engine/CorvError.h"
#include "engine/Database.h"
#include "store/Auction.h"
#include "store/store_support.h"
#include "support/NeededFile.h"
#include "support/ScriptedDesktop.h"

using namespace corv;
using corv::test::ScriptedDesktop;
using namespace corv::storetest;
namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Texts(sqlite3* db, const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::string row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const unsigned char* t = sqlite3_column_text(st, c);
            row += (c ? "|" : "") + (t ? std::string(reinterpret_cast<const char*>(t)) : "<null>");
        }
        out.push_back(row);
    }
    sqlite3_finalize(st);
    return out;
}

// A plain copy of an engine connection's database, free of the engine's limits on what SQL may run.
struct PlainCopy {
    explicit PlainCopy(sqlite3* from) {
        sqlite3_open(":memory:", &db);
        sqlite3_backup* b = sqlite3_backup_init(db, "main", from, "main");
        EXPECT_EQ(sqlite3_backup_step(b, -1), SQLITE_DONE);
        sqlite3_backup_finish(b);
    }
    ~PlainCopy() { sqlite3_close(db); }
    sqlite3* db = nullptr;
};

// A table as it stands: its declaration, its row count and a checksum over every value with its type.
std::string TableImage(sqlite3* db, const std::string& table) {
    const std::string name = "\"" + table + "\"";
    std::string quoted = "''";
    for (const std::string& c : Texts(db, "SELECT name FROM pragma_table_info('" + table + "')"))
        quoted += " || ',' || quote(\"" + c + "\") || typeof(\"" + c + "\")";
    const std::vector<std::string> rows = Texts(db, "SELECT " + quoted + " FROM " + name + " ORDER BY rowid");
    std::size_t sum = 0;
    for (const std::string& r : rows) sum = sum * 1000003u ^ std::hash<std::string>{}(r);
    return Texts(db, "SELECT sql FROM sqlite_schema WHERE name = '" + table + "'").at(0) + " rows " +
           std::to_string(rows.size()) + " sum " + std::to_string(sum);
}

class JetConversionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CORV_NEED_FILE(kSample);
        root_ = fs::temp_directory_path() / ("corv-jetconv-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
        auction_ = (root_ / "Auction31.mdb").string();
        fs::copy_file(kSample, auction_);
        desk_.SetDownloadsFolder(root_.string());
        desk_.SetProgramFolder(root_.string());
        desk_.Install();
    }
    void TearDown() override {
        EXPECT_EQ(desk_.unscripted, 0);
        EXPECT_TRUE(desk_.ScriptUsedUp());
        session_.Close();
        fs::remove_all(root_);
    }
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string kSample = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction/Auction31.mdb";
    fs::path root_;
    std::string auction_;
    ScriptedDesktop desk_;
    store::AuctionSession session_;
};

TEST_F(JetConversionTest, YesConvertsEveryTableKeepsTheOriginalAndTakesRounds) {
    // A kept original of an earlier conversion is never overwritten.
    const fs::path earlier = root_ / "Auction31 (Jet).mdb";
    std::ofstream(earlier) << "earlier";
    desk_.Answer(MsgAnswer::Yes);
    OpenAuctionDatabase(session_, auction_);
    ASSERT_EQ(desk_.boxes.size(), 1u);
    EXPECT_EQ(desk_.boxes[0].text,
              "This auction database is in the Jet format.\rConvert it to Corvidel's own format now? The "
              "original is kept.");
    EXPECT_EQ(desk_.boxes[0].title, "Convert Auction Database");
    EXPECT_EQ(desk_.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(desk_.boxes[0].buttons, MsgButtons::YesNo);

    ASSERT_EQ(session_.Current()->Db()->Origin(), DatabaseOrigin::Sqlite);
    EXPECT_EQ(session_.Current()->Path(), auction_);
    EXPECT_FALSE(session_.Current()->ReadOnly());
    EXPECT_EQ(Bytes(earlier), "earlier");
    const fs::path kept = root_ / "Auction31 (Jet 2).mdb";
    EXPECT_EQ(Bytes(kept), Bytes(kSample));

    std::shared_ptr<Database> jet = Engine().OpenDatabase(kept.string());
    const PlainCopy original(jet->Handle()), copy(session_.Current()->Db()->Handle());
    sqlite3* converted = copy.db;
    const std::string tablesSql = "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY rowid";
    const std::vector<std::string> tables = Texts(original.db, tablesSql);
    ASSERT_EQ(Texts(converted, tablesSql), tables);
    for (const char* catalog : {"sysSuppliedTables", "sysRounds", "sysTables"})
        EXPECT_NE(std::find(tables.begin(), tables.end(), catalog), tables.end()) << catalog;
    for (const std::string& t : tables) EXPECT_EQ(TableImage(converted, t), TableImage(original.db, t)) << t;

    // Round is indexed in the tables viewers read a round at a time, and only there.
    EXPECT_EQ(Texts(converted,
                    "SELECT m.tbl_name FROM sqlite_schema m, pragma_index_info(m.name) i WHERE m.type = "
                    "'index' AND i.name = 'Round' ORDER BY m.tbl_name"),
              (std::vector<std::string>{"Bidder Activity", "Markets and Bidders"}));
    EXPECT_EQ(FolderNames(),
              (std::vector<std::string>{"Auction31 (Jet 2).mdb", "Auction31 (Jet).mdb", "Auction31.mdb",
                                        "Auction31.mdb-shm", "Auction31.mdb-wal"}));

    const std::string round4 = (root_ / "31_004.mdb").string();
    fs::copy_file(fs::path(kSample).parent_path() / "31_004.mdb", round4);
    desk_.OpenFile(round4).Answer(MsgAnswer::No);
    ImportRound(session_.Current());
    EXPECT_EQ(desk_.LastBox().title, "Round Imported Successfully") << desk_.LastBox().text;
    const PlainCopy imported(session_.Current()->Db()->Handle());
    EXPECT_EQ(Texts(imported.db, "SELECT Round FROM sysRounds ORDER BY Round"),
              (std::vector<std::string>{"1.0", "2.0", "3.0", "4.0"}));
    EXPECT_EQ(Texts(imported.db, "SELECT Round, COUNT(*) FROM [Markets and Bidders] GROUP BY Round"),
              (std::vector<std::string>{"1|40", "2|40", "3|40", "4|40"}));
}

TEST_F(JetConversionTest, NoOpensReadOnlyAndImportIsRefused) {
    desk_.Answer(MsgAnswer::No);
    OpenAuctionDatabase(session_, auction_);
    EXPECT_TRUE(session_.Current()->ReadOnly());
    EXPECT_EQ(session_.Current()->Path(), auction_);

    ImportRound(session_.Current());
    ASSERT_EQ(desk_.boxes.size(), 2u);
    EXPECT_EQ(desk_.LastBox().text,
              "This auction database is open read-only. Reopen it and convert it to change it.");
    EXPECT_EQ(desk_.LastBox().title, "Read-Only Auction");
    EXPECT_TRUE(desk_.fileDialogs.empty());
    EXPECT_EQ(Bytes(auction_), Bytes(kSample));
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"Auction31.mdb"}));
}

TEST_F(JetConversionTest, AFailedConversionLeavesTheOriginalAndTheOpenAuction) {
    desk_.Answer(MsgAnswer::No);
    OpenAuctionDatabase(session_, auction_);
    const std::shared_ptr<Database> before = session_.Current()->Db();
    // The copy is written, but the longest name a folder holds leaves no room for the kept original's.
    const std::string longName = "Auction31" + std::string(250 - 13, 'x') + ".mdb";
    fs::rename(auction_, root_ / longName);

    desk_.Answer(MsgAnswer::Yes);
    EXPECT_THROW(OpenAuctionDatabase(session_, (root_ / longName).string()), CorvError);
    EXPECT_EQ(session_.Current()->Db(), before);
    EXPECT_EQ(session_.Current()->Path(), auction_);
    EXPECT_EQ(Bytes(root_ / longName), Bytes(kSample));
    EXPECT_EQ(FolderNames(), std::vector<std::string>{longName});
}

}  // namespace
