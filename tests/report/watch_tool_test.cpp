// corvidel-report --alerts, run as a program of its own: the alerts of a round as lines and as JSON, the same
// as the rules weighed in process, with the auction's own list, another one, none and a malformed one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/Report.h"
#include "report/ReportTestSupport.h"
#include "report/WatchList.h"
#include "support/AuctionDatabase.h"

namespace corv::test {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

// Five rounds of the fixture and a sixth without a bid; its watch list beside it.
class WatchToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fixture::AuctionOptions options;
        options.rounds = 5;
        options.bidsPerRound = 30;
        path = BuildAuctionDatabase(folder.Path(), options);
        RunSqlite(path, "INSERT INTO sysRounds (Round) VALUES (6)");
        list = folder.File(fs::path(path).stem().string() + ".watch.json");
        std::ofstream(list) << "{\"version\": 1, \"rules\": [\n"
                               "  {\"market\": \"MTA001\", \"when\": \"new high bid\"},\n"
                               "  {\"market\": \"MTA001\", \"block\": \" A \", \"when\": \"new leader\"},\n"
                               "  {\"market\": \"MTA002\", \"when\": \"rises\", \"percent\": 1},\n"
                               "  {\"bidder\": \"O'BRIEN WIRELESS\", \"when\": \"gains or loses a lead\"},\n"
                               "  {\"bidder\": \"Delta Airwaves\", \"when\": \"eligibility falls\"},\n"
                               "  {\"when\": \"no new bids\"},\n"
                               "  {\"when\": \"standing total reaches\", \"amount\": 1000000}\n"
                               "]}\n";
    }
    ProgramRun Report(std::vector<std::string> args) {
        return RunProgram(CORVIDEL_REPORT_TOOL, std::move(args), folder.Path());
    }
    std::vector<report::Alert> InProcess(int round) {
        const auto auction = report::ReadReportAuction(path);
        return report::EvaluateWatchList(*report::ReadWatchList(list), *auction.history, round);
    }

    TempFolder folder;
    std::string path, list;
};

TEST_F(WatchToolTest, EachRoundsAlertsAsLinesAndAsJson) {
    const report::WatchList rules = *report::ReadWatchList(list);
    int alerts = 0;
    for (int round = 1; round <= 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto expected = InProcess(round);
        alerts += static_cast<int>(expected.size());
        std::string lines;
        for (const auto& a : expected)
            lines += a.text.rfind("Round ", 0) == 0 ? a.text + "\n"
                                                    : "Round " + std::to_string(round) + ": " + a.text + "\n";
        std::vector<std::string> args = {path, "--alerts"};
        if (round < 6) args.insert(args.end(), {"--round", std::to_string(round)});
        const ProgramRun text = Report(args);
        EXPECT_EQ(text.code, 0) << text.err;
        EXPECT_EQ(text.err, "");
        EXPECT_EQ(text.out, lines);

        args.insert(args.end(), {"--format", "json"});
        const ProgramRun json = Report(args);
        ASSERT_EQ(json.code, 0) << json.err;
        const Json doc = Json::Parse(json.out);
        EXPECT_EQ(doc["auction"].String(), fs::path(path).filename().string());
        EXPECT_EQ(doc["round"].Number(), round);
        EXPECT_EQ(doc["watchList"].String(), list);
        const auto& items = doc["alerts"].Items();
        ASSERT_EQ(items.size(), expected.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i]["rule"].Number(), expected[i].rule);
            EXPECT_EQ(items[i]["when"].String(),
                      report::WatchWhenText(rules.rules[static_cast<std::size_t>(expected[i].rule)].when));
            EXPECT_EQ(items[i]["round"].Number(), round);
            EXPECT_EQ(items[i]["text"].String(), expected[i].text);
        }
    }
    EXPECT_GT(alerts, 6);
    EXPECT_EQ(Report({path, "--alerts"}).out, "Round 6: no new bids\n");
}

TEST_F(WatchToolTest, AnotherListNoListAndAMalformedOne) {
    const std::string other = folder.File("other.json");
    std::ofstream(other) << "{\"version\": 1, \"rules\": [{\"when\": \"no new bids\"}]}";
    const ProgramRun run = Report({path, "--alerts", "--watch", other});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Round 6: no new bids\n");

    // Without the auction's own list: nothing, or JSON without alerts.
    fs::remove(list);
    const ProgramRun none = Report({path, "--alerts"});
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "");
    const Json doc = Json::Parse(Report({path, "--alerts", "--format", "json"}).out);
    EXPECT_TRUE(doc["watchList"].IsNull());
    EXPECT_TRUE(doc["alerts"].Items().empty());

    // A malformed list: one sentence with its line, exit 1, the list left as it was.
    const std::string bad =
        "{\"version\": 1, \"rules\": [\n  {\"when\": \"no new bids\"},\n  {\"when\": \"new leeder\", "
        "\"market\": \"MTA001\"}\n]}\n";
    std::ofstream(list) << bad;
    const auto before = Listing(folder.Path());
    const ProgramRun malformed = Report({path, "--alerts"});
    EXPECT_EQ(malformed.code, 1);
    EXPECT_EQ(malformed.out, "");
    EXPECT_EQ(malformed.err,
              "corvidel-report: " + list +
                  " cannot be used as a watch list: line 3: unknown \"when\": \"new leeder\" (rule "
                  "2)\n");
    EXPECT_EQ(Bytes(list), bad);
    EXPECT_EQ(Listing(folder.Path()), before);

    // A list named on the command line must be there; --alerts goes its own way.
    const std::vector<std::pair<std::vector<std::string>, int>> failures = {
        {{path, "--alerts", "--watch", folder.File("missing.json")}, 1},
        {{path, "--watch", other}, 2},
        {{path, "--alerts", "--since", "2"}, 2},
        {{path, "--alerts", "--net"}, 2},
        {{path, "--alerts", "--format", "csv", "--table", "markets"}, 2},
        {{path, "--alerts", "--round", "9"}, 1},
    };
    for (const auto& [args, code] : failures) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ProgramRun r = Report(args);
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

}  // namespace
}  // namespace corv::test
