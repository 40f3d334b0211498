// corvidel-report, run as a program of its own on a fixture auction, on an auction built from the Jet
// samples and on an auction still in the Jet format.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/ReferenceCheck.h"
#include "report/Report.h"
#include "report/ReportTestSupport.h"
#include "report/ReportWriters.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"

namespace corv::test {
namespace {

namespace fs = std::filesystem;
using standings::Measure;

const std::string kSamples = CORVIDEL_SHARED_DIR "/jet-samples/auction";

class ReportToolTest : public ::testing::Test {
  protected:
    ProgramRun Report(std::vector<std::string> args) {
        return RunProgram(CORVIDEL_REPORT_TOOL, std::move(args), folder.Path());
    }
    // The JSON of a run that succeeded.
    Json JsonOf(std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "json"});
        const ProgramRun run = Report(args);
        EXPECT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return Json::Parse(run.out);
    }
    report::RoundReport InProcess(const std::string& path) {
        auto a = report::ReadReportAuction(path);
        return report::BuildReport(a.history, fs::path(path).filename(), a.rounds.back(), a.rounds.back() - 1,
                                   Measure::Gross);
    }

    TempFolder folder;
};

// Five rounds of the fixture; then a round imported without a bid. One bidder's name holds what JSON and CSV
// must escape, and another is spelt in capitals in one round.
class FixtureReportTest : public ReportToolTest {
  protected:
    void SetUp() override {
        fixture::AuctionOptions options;
        options.rounds = 5;
        options.bidsPerRound = 30;
        path = BuildAuctionDatabase(folder.Path(), options);
        const auto names = fixture::BidderNames(options);
        const auto literal = [](std::string name) {
            for (std::size_t i = name.find('\''); i != std::string::npos; i = name.find('\'', i + 2))
                name.insert(i, "'");
            return "'" + name + "'";
        };
        const std::string odd = "'Quote \" back \\ tab' || char(9) || 'Grüße' || char(1)";
        for (const char* table : {"Markets and Bidders", "Bidder Eligibility"}) {
            RunSqlite(path, std::string("UPDATE \"") + table + "\" SET \"Bidder Name\" = " + odd +
                                " WHERE \"Bidder Name\" = " + literal(names[1]));
            RunSqlite(path, std::string("UPDATE \"") + table +
                                "\" SET \"Bidder Name\" = upper(\"Bidder Name\") WHERE Round = 3 AND "
                                "\"Bidder Name\" = " +
                                literal(names[2]));
        }
        RunSqlite(path, "INSERT INTO sysRounds (Round) VALUES (6)");
    }
    std::string path;
};

TEST_F(FixtureReportTest, EveryTableAgreesWithTheReference) {
    struct Case {
        std::vector<std::string> args;
        int round, since;
        Measure measure;
    };
    const std::vector<Case> cases = {
        {{}, 6, 5, Measure::Gross},  // the latest round, which has no bid
        {{"--round", "1", "--since", "0"}, 1, 0, Measure::Gross},
        {{"--round", "5", "--since", "2"}, 5, 2, Measure::Gross},
        {{"--round", "4", "--net"}, 4, 3, Measure::Net},
        {{"--round", "6", "--since", "1", "--net"}, 6, 1, Measure::Net},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(::testing::PrintToString(args));
        const Json doc = JsonOf(args);
        EXPECT_EQ(doc["auction"].String(), fs::path(path).filename().string());
        ExpectReference(doc, path, c.round, c.since, c.measure);
    }
}

TEST_F(FixtureReportTest, EachTableInCsvHoldsTheRowsOfTheJson) {
    const Json doc = JsonOf({path, "--round", "5", "--since", "3"});
    for (report::Table table : report::kTables) {
        const std::string name = report::TableName(table);
        SCOPED_TRACE(name);
        const std::string csvFile = folder.File(name + ".csv");
        const ProgramRun run = Report(
            {path, "--round", "5", "--since", "3", "--format", "csv", "--table", name, "--output", csvFile});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out, "");
        const auto rows = ParseCsv(FileBytes(csvFile));
        const Json::Array& items = doc[name].Items();
        ASSERT_FALSE(items.empty());
        ASSERT_EQ(rows.size(), items.size() + 1);
        std::vector<std::string> keys;
        for (const auto& [key, value] : items[0].Object()) keys.push_back(key);
        EXPECT_EQ(rows[0], keys);
        for (std::size_t r = 0; r < items.size(); ++r) {
            std::vector<std::string> fromJson;
            for (const auto& [key, value] : items[r].Object()) fromJson.push_back(value.CsvText());
            EXPECT_EQ(rows[r + 1], fromJson) << "row " << r;
        }
    }
}

TEST_F(FixtureReportTest, TextShowsEverySectionUnderItsTitle) {
    const ProgramRun run = Report({path});
    ASSERT_EQ(run.code, 0) << run.err;
    for (const std::string& title : report::TextSectionTitles(InProcess(path)))
        EXPECT_NE(run.out.find("\n" + title + "\n"), std::string::npos) << title;
}

TEST_F(FixtureReportTest, WithoutAnEligibilityTableTheRestIsReported) {
    RunSqlite(path,
              "DROP TABLE \"Bidder Eligibility\"; DELETE FROM sysSuppliedTables WHERE TableName = 'Bidder "
              "Eligibility'");
    const Json doc = JsonOf({path, "--round", "5"});
    EXPECT_TRUE(doc["eligibility"].IsNull());
    ExpectReference(doc, path, 5, 4, Measure::Gross);

    const ProgramRun text = Report({path, "--round", "5"});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find(standings::NoEligibilityTableSentence()), std::string::npos);

    const ProgramRun csv = Report({path, "--format", "csv", "--table", "eligibility"});
    EXPECT_EQ(csv.code, 1);
    EXPECT_EQ(csv.out, "");
}

TEST_F(FixtureReportTest, FailuresExitWithTheirCodeAndOneLine) {
    const std::string text = folder.File("notes.mdb");
    std::ofstream(text) << "not a database\n";
    const std::string noRounds = folder.File("Other.mdb");
    RunSqlite(noRounds, "CREATE TABLE t (x)");
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{folder.File("Auction99.mdb")}, 1},
        {{text}, 1},
        {{noRounds}, 1},
        {{path, "--round", "7"}, 1},
        {{path, "--colour"}, 2},
        {{path, "--round", "x"}, 2},
        {{path, "--round", "3", "--since", "3"}, 2},
        {{path, "--since", "6"}, 2},
        {{path, "--table", "markets"}, 2},
        {{path, "--format", "csv"}, 2},
        {{}, 2},
    };
    for (const auto& [args, code] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ProgramRun run = Report(args);
        EXPECT_EQ(run.code, code);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    }
    RunSqlite(path, "ALTER TABLE \"Markets and Bidders\" DROP COLUMN \"Net Bid Amount\"");
    const ProgramRun net = Report({path, "--net"});
    EXPECT_EQ(net.code, 1);
    EXPECT_EQ(net.err.find('\n'), net.err.size() - 1) << net.err;
}

// Auction 31 built from its Jet round files with corvidel-import.
TEST_F(ReportToolTest, AnAuctionOfTheJetSamplesAgreesWithTheReference) {
    for (const std::string& file : JetSampleRounds()) CORV_NEED_FILE(file);
    const std::string path = ImportJetSampleAuction(folder.Path());
    ASSERT_FALSE(path.empty());
    ExpectReference(JsonOf({path}), path, 6, 5, Measure::Gross);
    ExpectReference(JsonOf({path, "--round", "5", "--since", "1"}), path, 5, 1, Measure::Gross);
    ExpectReference(JsonOf({path, "--round", "1", "--since", "0"}), path, 1, 0, Measure::Gross);
}

TEST_F(ReportToolTest, AJetAuctionIsReadAndLeftAsItWas) {
    const std::string sample = kSamples + "/Auction31.mdb";
    CORV_NEED_FILE(sample);
    const std::string path = folder.File("Auction31.mdb");
    fs::copy_file(sample, path);
    const std::string before = FileBytes(path);
    const Json doc = JsonOf({path});
    EXPECT_FALSE(doc["markets"].Items().empty());
    EXPECT_EQ(doc["rounds"].Items().size(), static_cast<std::size_t>(doc["round"].Number()));
    EXPECT_EQ(FileBytes(path), before);
    std::vector<std::string> beside;
    for (const auto& e : fs::directory_iterator(folder.Path())) beside.push_back(e.path().filename());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"Auction31.mdb", "run.err", "run.out"}));
}

}  // namespace
}  // namespace corv::test
