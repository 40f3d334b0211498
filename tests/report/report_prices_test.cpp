// corvidel-report's $/MHz-pop figures against a plain count over the auction's rows and its market data.
#include <gtest/gtest.h>

#include <cstdio>

#include "report/ReportTestSupport.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/RoundReference.h"

namespace corv::test {
namespace {

using Key = RoundReference::Key;

void ExpectFigure(const Json& value, std::optional<double> expected, const std::string& what) {
    ASSERT_EQ(value.IsNull(), !expected.has_value()) << what;
    if (expected) {
        EXPECT_NEAR(value.Number(), *expected, 1e-12) << what;
    }
}

void ExpectPrices(const Json& doc, const RoundReference& ref, const MarketDataRows& data, int round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const RoundReference::Prices p = ref.PricesAfter(round, false, data.sizes);
    EXPECT_EQ(doc["marketData"]["rowsLeftOut"].Number(), data.leftOut);
    ExpectFigure(doc["totals"]["pricePerMHzPop"]["withHigh"], p.withHigh, "withHigh");
    ExpectFigure(doc["totals"]["pricePerMHzPop"]["all"], p.all, "all");
    for (const Json& m : doc["markets"].Items()) {
        const Key key{m["market"].String(), m["block"].String()};
        const auto it = p.licences.find(key);
        ExpectFigure(m["pricePerMHzPop"], it == p.licences.end() ? std::nullopt : std::optional(it->second),
                     key.first + "/" + key.second);
    }
    for (const Json& b : doc["bidders"].Items()) {
        const auto it = p.bidders.find(b["bidder"].String());
        ExpectFigure(b["pricePerMHzPop"], it == p.bidders.end() ? std::nullopt : std::optional(it->second),
                     b["bidder"].String());
    }
}

class ReportPricesTest : public ::testing::Test {
  protected:
    ProgramRun Report(std::vector<std::string> args) {
        return RunProgram(CORVIDEL_REPORT_TOOL, std::move(args), folder.Path());
    }
    Json JsonOf(std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "json"});
        const ProgramRun run = Report(args);
        EXPECT_EQ(run.code, 0) << run.err;
        return Json::Parse(run.out);
    }
    std::string Fixture() {
        fixture::AuctionOptions o;
        o.rounds = 4;
        o.markets = 8;
        o.bidsPerRound = 25;
        return BuildAuctionDatabase(folder.Path(), o);
    }

    TempFolder folder;
};

TEST_F(ReportPricesTest, FixtureAuctionFiguresMatchTheCountInTheTableChosen) {
    const std::string path = Fixture();
    const Json bare = JsonOf({path});
    EXPECT_TRUE(bare["marketData"].IsNull());
    EXPECT_TRUE(bare["totals"]["pricePerMHzPop"].IsNull());
    EXPECT_TRUE(bare["markets"].Items().at(0)["pricePerMHzPop"].IsNull());

    const RoundReference ref = RoundReference::FromFile(path);
    const auto licences = ref.Licences();
    const MarketDataRows first = AddMarketData(path, "Sizes", licences);
    const MarketDataRows other = AddMarketData(path, "Other Sizes", {licences.begin() + 2, licences.end()});
    ExpectPrices(JsonOf({path}), ref, first, 4);
    ExpectPrices(JsonOf({path, "--round", "1"}), ref, first, 1);
    const Json chosen = JsonOf({path, "--market-data", "other sizes"});
    EXPECT_EQ(chosen["marketData"]["table"].String(), "Other Sizes");
    ExpectPrices(chosen, ref, other, 4);
}

TEST_F(ReportPricesTest, JetSampleAuctionFiguresMatchTheCount) {
    for (const std::string& file : JetSampleRounds()) CORV_NEED_FILE(file);
    const std::string path = ImportJetSampleAuction(folder.Path());
    ASSERT_FALSE(path.empty());
    const RoundReference ref = RoundReference::FromFile(path);
    const MarketDataRows data = AddMarketData(path, "Sizes", ref.Licences());
    ExpectPrices(JsonOf({path}), ref, data, 6);
    ExpectPrices(JsonOf({path, "--round", "2"}), ref, data, 2);
}

TEST_F(ReportPricesTest, CsvAndTextShowTheFiguresOfTheJson) {
    const std::string path = Fixture();
    AddMarketData(path, "Sizes", RoundReference::FromFile(path).Licences());
    const Json doc = JsonOf({path});
    const ProgramRun csv = Report({path, "--format", "csv", "--table", "markets"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    const auto rows = ParseCsv(csv.out);
    const Json::Array& markets = doc["markets"].Items();
    ASSERT_EQ(rows.size(), markets.size() + 1);
    for (std::size_t r = 0; r < markets.size(); ++r)
        EXPECT_EQ(rows[r + 1].back(), markets[r]["pricePerMHzPop"].CsvText());

    const ProgramRun text = Report({path});
    ASSERT_EQ(text.code, 0) << text.err;
    for (const char* total : {"withHigh", "all"}) {
        char shown[32];
        std::snprintf(shown, sizeof shown, " %.4f\n", doc["totals"]["pricePerMHzPop"][total].Number());
        EXPECT_NE(text.out.find(shown), std::string::npos) << total << "\n" << text.out;
    }
}

TEST_F(ReportPricesTest, AMarketDataTableThatWillNotDoFailsWithOneLine) {
    const std::string path = Fixture();
    RunSqlite(path,
              "CREATE TABLE Notes (Market, Population); INSERT INTO sysTables (TableName) VALUES ('Notes')");
    for (const std::string name : {"Notes", "Nowhere"}) {
        const ProgramRun run = Report({path, "--market-data", name});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
}

}  // namespace
}  // namespace corv::test
