#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fixture/FixtureAuction.h"

namespace fs = std::filesystem;
using corv::fixture::AuctionOptions;

namespace {

class TempDir {
  public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("corv-fixture-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string str() const { return path_.string(); }
    std::string sub(const std::string& name) const { return (path_ / name).string(); }

  private:
    static inline int counter_ = 0;
    fs::path path_;
};

// Every cell as text with its storage class, so "2" and 2 and 2.0 differ.
using Rows = std::vector<std::vector<std::string>>;

class Reader {
  public:
    explicit Reader(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path;
    }
    ~Reader() { sqlite3_close(db_); }

    Rows query(const std::string& sql) const {
        Rows out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
            return out;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                int t = sqlite3_column_type(st, c);
                const unsigned char* txt = sqlite3_column_text(st, c);
                row.push_back(std::to_string(t) + ":" + (txt ? reinterpret_cast<const char*>(txt) : ""));
            }
            out.push_back(std::move(row));
        }
        sqlite3_finalize(st);
        return out;
    }
    std::vector<std::string> column(const std::string& sql) const {
        std::vector<std::string> out;
        for (auto& r : query(sql)) out.push_back(r.at(0).substr(r.at(0).find(':') + 1));
        return out;
    }
    std::vector<std::string> tables() const {
        return column("SELECT name FROM sqlite_master WHERE type='table' ORDER BY rowid");
    }
    // name + " " + declared type (lower case: SQLite reports some in capitals) for each column
    std::vector<std::string> columns(const std::string& table) const {
        std::vector<std::string> out;
        for (auto& r : query("SELECT name, type FROM pragma_table_info('" + table + "')")) {
            std::string type = r[1].substr(r[1].find(':') + 1);
            for (char& ch : type) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            out.push_back(r[0].substr(r[0].find(':') + 1) + " " + type);
        }
        return out;
    }

  private:
    sqlite3* db_ = nullptr;
};

Rows DumpAll(const std::string& path) {
    Reader r(path);
    Rows all;
    for (const auto& t : r.tables()) {
        all.push_back({"table", t});
        for (auto& row : r.query("SELECT * FROM \"" + t + "\"")) all.push_back(row);
    }
    return all;
}

const std::vector<std::string> kTableOrder = {
    "Markets and Bidders",  "Round Statistics",      "Increment Statistics", "Miscellaneous Statistics",
    "Reduction Statistics", "Withdrawal Statistics", "Waiver Statistics",    "Bidder Eligibility"};

}  // namespace

TEST(FixtureAuction, SameSeedGivesIdenticalRowsAndOtherSeedsDiffer) {
    TempDir a, b, c;
    AuctionOptions o;
    o.rounds = 2;
    o.seed = 42;
    auto pa = corv::fixture::WriteAuctionRounds(a.str(), o);
    auto pb = corv::fixture::WriteAuctionRounds(b.str(), o);
    o.seed = 43;
    auto pc = corv::fixture::WriteAuctionRounds(c.str(), o);
    ASSERT_EQ(pa.size(), 2u);
    for (size_t i = 0; i < pa.size(); ++i) {
        Rows ra = DumpAll(pa[i]);
        EXPECT_GT(ra.size(), 40u);
        EXPECT_EQ(ra, DumpAll(pb[i])) << pa[i];
        EXPECT_NE(ra, DumpAll(pc[i])) << "seed changes nothing in " << pc[i];
    }
    // Rounds of one auction are not copies of each other.
    Reader r1(pa[0]), r2(pa[1]);
    EXPECT_NE(r1.column("SELECT [Bid Amount] FROM [Markets and Bidders]"),
              r2.column("SELECT [Bid Amount] FROM [Markets and Bidders]"));
}

TEST(FixtureAuction, FilesAreNamedByAuctionAndRound) {
    TempDir d;
    AuctionOptions o;
    o.auction = 7;
    o.rounds = 12;
    o.bidsPerRound = 3;
    auto paths = corv::fixture::WriteAuctionRounds(d.sub("nested/folder"), o);
    ASSERT_EQ(paths.size(), 12u);
    EXPECT_EQ(fs::path(paths[0]).filename(), "07_001.mdb");
    EXPECT_EQ(fs::path(paths[11]).filename(), "07_012.mdb");
    for (const auto& p : paths) EXPECT_TRUE(fs::exists(p)) << p;

    // Writing again over existing files replaces them instead of appending.
    corv::fixture::WriteRoundFile(paths[0], o, 1);
    EXPECT_EQ(Reader(paths[0]).column("SELECT count(*) FROM [Markets and Bidders]"),
              std::vector<std::string>{"3"});
}

TEST(FixtureAuction, TablesColumnsAndTypes) {
    TempDir d;
    AuctionOptions o;
    o.rounds = 3;
    auto paths = corv::fixture::WriteAuctionRounds(d.str(), o);
    Reader r(paths[2]);
    EXPECT_EQ(r.tables(), kTableOrder);
    EXPECT_EQ(
        r.columns("Markets and Bidders"),
        (std::vector<std::string>{"Auction Id long", "Round long", "Market text", "Block text",
                                  "Bidder Name text", "Bid Amount currency", "Net Bid Amount currency"}));
    EXPECT_EQ(
        r.columns("Bidder Eligibility"),
        (std::vector<std::string>{"Round long", "Bidder Name text", "Orvane Acct text", "Eligibility long"}));
    EXPECT_EQ(r.column("SELECT count(*) FROM [Markets and Bidders]"), std::vector<std::string>{"20"});

    // Every table but one carries the round of its rows; each holds rows.
    int withoutRound = 0;
    for (const auto& t : kTableOrder) {
        EXPECT_NE(r.column("SELECT count(*) FROM [" + t + "]"), std::vector<std::string>{"0"}) << t;
        bool hasRound = false;
        for (const auto& c : r.columns(t)) hasRound |= c == "Round long";
        if (!hasRound) {
            ++withoutRound;
            continue;
        }
        EXPECT_EQ(r.column("SELECT DISTINCT Round FROM [" + t + "]"), std::vector<std::string>{"3"}) << t;
    }
    EXPECT_EQ(withoutRound, 1);
    EXPECT_EQ(r.column("SELECT DISTINCT [Auction Id] FROM [Markets and Bidders]"),
              std::vector<std::string>{"14"});
    // Account numbers keep their leading zeros.
    for (const auto& acct : r.column("SELECT [Orvane Acct] FROM [Bidder Eligibility]"))
        EXPECT_EQ(acct.size(), 7u) << acct;
}

TEST(FixtureAuction, NamesBlocksAndBidders) {
    TempDir d;
    AuctionOptions o;
    o.rounds = 1;
    o.markets = 6;
    o.bidders = 5;
    o.bidsPerRound = 20;
    auto paths = corv::fixture::WriteAuctionRounds(d.str(), o);
    Reader r(paths[0]);

    auto markets = corv::fixture::MarketNames(o);
    ASSERT_EQ(markets.size(), 6u);
    EXPECT_EQ(markets.front(), "MTA001");
    EXPECT_EQ(markets.back(), "MTA006");
    for (const auto& m : r.column("SELECT DISTINCT Market FROM [Markets and Bidders]"))
        EXPECT_TRUE(std::find(markets.begin(), markets.end(), m) != markets.end()) << m;

    auto blocks = r.column("SELECT DISTINCT Block FROM [Markets and Bidders]");
    std::set<std::string> blockSet(blocks.begin(), blocks.end());
    EXPECT_TRUE(blockSet.count("  ")) << "no market sold whole";
    EXPECT_TRUE(blockSet.count("A") && blockSet.count("B")) << "no market split into blocks";
    for (const auto& b : blockSet)
        EXPECT_TRUE(b == "  " || (b.size() == 1 && b[0] >= 'A' && b[0] <= 'Z')) << b;

    auto bidders = corv::fixture::BidderNames(o);
    ASSERT_EQ(bidders.size(), 5u);
    EXPECT_EQ(std::set<std::string>(bidders.begin(), bidders.end()).size(), 5u);
    auto inFile = r.column("SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders]");
    EXPECT_EQ(std::set<std::string>(inFile.begin(), inFile.end()),
              std::set<std::string>(bidders.begin(), bidders.end()));
    EXPECT_NE(
        r.column("SELECT count(*) FROM [Markets and Bidders] WHERE [Bidder Name] = 'O''Brien Wireless'"),
        std::vector<std::string>{"0"});

    // A lone bidder is still the one with the apostrophe.
    o.bidders = 1;
    EXPECT_EQ(corv::fixture::BidderNames(o), std::vector<std::string>{"O'Brien Wireless"});
    o.bidders = 30;
    auto many = corv::fixture::BidderNames(o);
    EXPECT_EQ(std::set<std::string>(many.begin(), many.end()).size(), 30u);
}

TEST(FixtureAuction, AmountsAreMoneyAndNetIsDiscounted) {
    TempDir d;
    AuctionOptions o;
    o.rounds = 2;
    o.bidsPerRound = 200;
    auto paths = corv::fixture::WriteAuctionRounds(d.str(), o);
    Reader r(paths[1]);
    int withCents = 0, discounted = 0, rows = 0;
    for (auto& row : r.query("SELECT [Bid Amount], [Net Bid Amount] FROM [Markets and Bidders]")) {
        double bid = std::stod(row[0].substr(2)), net = std::stod(row[1].substr(2));
        ++rows;
        EXPECT_GT(bid, 0);
        EXPECT_LE(net, bid);
        EXPECT_GT(net, bid * 0.5);
        EXPECT_NEAR(bid * 100, std::round(bid * 100), 1e-6) << "more than cents in " << bid;
        EXPECT_NEAR(net * 100, std::round(net * 100), 1e-6) << "more than cents in " << net;
        withCents += bid != std::floor(bid);
        discounted += net < bid;
    }
    EXPECT_EQ(rows, 200);
    EXPECT_GT(withCents, 0);
    EXPECT_LT(withCents, rows);
    EXPECT_GT(discounted, 0);
    EXPECT_LT(discounted, rows);
}
