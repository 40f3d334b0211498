// The Jet SQL the program generates, run through the engine on a fixture auction; every result is checked
// against plain SQLite queries over the same files.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/Database.h"
#include "engine/engine_support.h"
#include "fixture/FixtureAuction.h"

using corv::Engine;
using corv::RecordsetType;
using corv::enginetest::RawDb;
using corv::enginetest::ScratchDir;
using Rows = std::vector<std::vector<std::string>>;

namespace {

Rows SetRows(const corv::Recordset& rs) {
    Rows out;
    for (std::size_t r = 0; r < rs.RowCount(); ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < rs.FieldCount(); ++c) row.push_back(rs.Cell(r, c).toString());
        out.push_back(std::move(row));
    }
    return out;
}

Rows Plain(RawDb& raw, const std::string& sql) {
    Rows rows = raw.query(sql);
    for (auto& row : rows)
        for (auto& cell : row) cell = cell.substr(cell.find(':') + 1);
    return rows;
}

class EngineDialect : public ::testing::Test {
  protected:
    void SetUp() override {
        options.rounds = 3;
        options.bidsPerRound = 30;
        rounds = corv::fixture::WriteAuctionRounds(dir.sub("download"), options);
        auctionPath = dir.sub("Auction14.mdb");
        std::filesystem::copy_file(rounds.at(0), auctionPath);
        auction = Engine().OpenDatabase(auctionPath);
    }

    std::vector<std::string> Supplied() {
        std::vector<std::string> out;
        for (const auto& t : auction->TableDefs()) {
            if (t.Name.rfind("MSys", 0) != 0 && t.Name.rfind("sys", 0) != 0) out.push_back(t.Name);
        }
        return out;
    }

    // What creating an auction and importing its later rounds execute.
    void CreateAndImport() {
        const auto supplied = Supplied();
        auction->Execute("CREATE TABLE [sysSuppliedTables] ([TableName] Text)");
        for (const auto& t : supplied) {
            auction->Execute("INSERT INTO [sysSuppliedTables] (TableName) VALUES (\"" + t + "\")");
        }
        auction->Execute("CREATE TABLE [sysRounds] ([Round] Number)");
        auction->Execute("INSERT INTO [sysRounds] VALUES (1)");
        auction->Execute("CREATE TABLE [sysTables] ([TableName] Text)");
        auction->Execute("INSERT INTO [sysTables] SELECT * FROM [sysSuppliedTables]");
        for (std::size_t r = 1; r < rounds.size(); ++r) {
            auto round = Engine().OpenDatabase(rounds[r]);
            for (const auto& t : supplied) {
                if (t == "Withdrawal Statistics") auction->Execute("DELETE * FROM [Withdrawal Statistics]");
                round->Execute("INSERT INTO [" + t + "] IN \"" + auctionPath + "\" SELECT * FROM [" + t +
                               "]");
            }
            round->Close();
            auction->Execute("INSERT INTO sysRounds (Round) VALUES (" + std::to_string(r + 1) + ")");
        }
    }

    ScratchDir dir;
    corv::fixture::AuctionOptions options;
    std::vector<std::string> rounds;
    std::string auctionPath;
    std::shared_ptr<corv::Database> auction;
};

TEST_F(EngineDialect, CatalogAndImportStatements) {
    const auto supplied = Supplied();
    ASSERT_FALSE(supplied.empty());
    CreateAndImport();

    RawDb raw(auctionPath);
    Rows expectedNames;
    for (const auto& t : supplied) expectedNames.push_back({t});
    EXPECT_EQ(Plain(raw, "SELECT TableName FROM sysSuppliedTables ORDER BY rowid"), expectedNames);
    EXPECT_EQ(Plain(raw, "SELECT TableName FROM sysTables ORDER BY rowid"), expectedNames);
    EXPECT_EQ(Plain(raw, "SELECT Round FROM sysRounds ORDER BY rowid"), (Rows{{"1"}, {"2"}, {"3"}}));

    long bids = 0;
    for (const auto& file : rounds) {
        RawDb round(file);
        bids += round.count("Markets and Bidders");
    }
    EXPECT_EQ(raw.count("Markets and Bidders"), bids);
    RawDb last(rounds.back());
    EXPECT_EQ(Plain(raw, "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"),
              Plain(last, "SELECT * FROM [Withdrawal Statistics] ORDER BY rowid"));
    EXPECT_EQ(Plain(raw, "SELECT * FROM [Markets and Bidders] WHERE Round = 3 ORDER BY rowid"),
              Plain(last, "SELECT * FROM [Markets and Bidders] ORDER BY rowid"));
}

TEST_F(EngineDialect, ViewerAndBuilderQueries) {
    CreateAndImport();
    RawDb raw(auctionPath);
    const auto open = [&](const std::string& sql) {
        return SetRows(*auction->OpenRecordset(sql, RecordsetType::Snapshot));
    };

    EXPECT_EQ(open("SELECT * FROM [Markets and Bidders] WHERE [Round] = 2"),
              Plain(raw, "SELECT * FROM \"Markets and Bidders\" WHERE Round = 2 ORDER BY rowid"));
    EXPECT_EQ(open("SELECT * FROM [sysSuppliedTables] WHERE [TableName] = 'markets and bidders'"),
              (Rows{{"Markets and Bidders"}}));
    EXPECT_EQ(open("select * from SYSROUNDS order by round desc"), (Rows{{"3"}, {"2"}, {"1"}}));

    EXPECT_EQ(open("SELECT DISTINCT [Bidder Name] FROM [Markets and Bidders] ORDER BY [Bidder Name] DESC"),
              Plain(raw,
                    "SELECT DISTINCT \"Bidder Name\" COLLATE NOCASE FROM \"Markets and Bidders\" "
                    "ORDER BY 1 COLLATE NOCASE DESC"));
    EXPECT_EQ(
        open("SELECT [Market], [Block], [Bid Amount] FROM [Markets and Bidders] WHERE [Round] BETWEEN 2 "
             "AND 3 AND [Bid Amount] >= 50000 ORDER BY [Bid Amount] DESC, [Market], [Block]"),
        Plain(raw,
              "SELECT Market, Block, \"Bid Amount\" FROM \"Markets and Bidders\" WHERE Round >= 2 AND "
              "Round <= 3 AND \"Bid Amount\" >= 50000 ORDER BY \"Bid Amount\" DESC, Market COLLATE "
              "NOCASE, Block COLLATE NOCASE"));

    const auto markets = corv::fixture::MarketNames(options);
    ASSERT_GE(markets.size(), 2u);
    const Rows inList = open("SELECT [Market], [Round] FROM [Markets and Bidders] WHERE [Market] IN (\"" +
                             markets[0] + "\", '" + markets[1] + "') ORDER BY [Round], [Market]");
    EXPECT_FALSE(inList.empty());
    EXPECT_EQ(inList, Plain(raw, "SELECT Market, Round FROM \"Markets and Bidders\" WHERE Market IN ('" +
                                     markets[0] + "', '" + markets[1] + "') ORDER BY Round, Market, rowid"));

    EXPECT_EQ(
        open(
            "SELECT [Market] + \"-\" + [Block] AS Licence FROM [Markets and Bidders] WHERE [Block] <> \"  \" "
            "OR [Round] < 2 AND [Round] > 0"),
        Plain(raw,
              "SELECT Market || '-' || Block FROM \"Markets and Bidders\" WHERE Block <> '  ' OR "
              "(Round < 2 AND Round > 0) ORDER BY rowid"));
}

TEST_F(EngineDialect, TableBuilderStatements) {
    CreateAndImport();
    auction->Execute(
        "SELECT [Round], [Market], [Bidder Name], [Bid Amount], [Net Bid Amount] INTO [Round 2 Bids] FROM "
        "[Markets and Bidders] WHERE [Round] = 2");
    auction->Execute("INSERT INTO [sysTables] (TableName) VALUES ('Round 2 Bids')");

    RawDb raw(auctionPath);
    EXPECT_EQ(
        Plain(raw, "SELECT * FROM \"Round 2 Bids\" ORDER BY rowid"),
        Plain(raw,
              "SELECT Round, Market, \"Bidder Name\", \"Bid Amount\", \"Net Bid Amount\" FROM \"Markets "
              "and Bidders\" WHERE Round = 2 ORDER BY rowid"));
    EXPECT_EQ(
        raw.query("SELECT lower(type) FROM pragma_table_info('Round 2 Bids')"),
        raw.query("SELECT lower(type) FROM pragma_table_info('Markets and Bidders') WHERE name IN ('Round', "
                  "'Market', 'Bidder Name', 'Bid Amount', 'Net Bid Amount') ORDER BY cid"));

    auction->Execute("DROP TABLE [Round 2 Bids]");
    auction->Execute("DELETE [TableName] FROM [sysTables] WHERE [TableName] = 'Round 2 Bids'");
    EXPECT_EQ(Plain(raw, "SELECT count(*) FROM sqlite_master WHERE name = 'Round 2 Bids'"), (Rows{{"0"}}));
    EXPECT_EQ(Plain(raw, "SELECT count(*) FROM sysTables WHERE TableName = 'Round 2 Bids'"), (Rows{{"0"}}));
    EXPECT_EQ(raw.count("sysTables"), static_cast<long>(Supplied().size()));
}

}  // namespace
