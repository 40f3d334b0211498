// The watch list's file and the alert log: each kind of fault at its line, the documented form read back,
// the atomic write under a kill, and the log's round trip and bound.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "report/ReportTestSupport.h"
#include "report/WatchList.h"
#include "support/AuctionDatabase.h"

namespace corv::test {
namespace {

namespace fs = std::filesystem;
using report::WatchList;
using report::WatchListError;
using report::WatchRule;
using report::WatchWhen;

void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// One rule of every kind, with a name that JSON must escape.
WatchList EveryKind() {
    WatchList list;
    const auto rule = [&](WatchWhen when) -> WatchRule& {
        list.rules.push_back({});
        list.rules.back().when = when;
        return list.rules.back();
    };
    rule(WatchWhen::NewLeader).market = "M001";
    list.rules.back().block = "A";
    rule(WatchWhen::NewHighBid).market = "M002";
    rule(WatchWhen::HighBidReaches).market = "M001";
    list.rules.back().block = "B";
    list.rules.back().amount = 5000000.25;
    rule(WatchWhen::Rises).market = "M003";
    list.rules.back().block = "  ";
    list.rules.back().percent = 12.5;
    rule(WatchWhen::GainsOrLosesLead).bidder = "O'Brien \"Wireless\" \\ Grüße";
    rule(WatchWhen::EligibilityFalls).bidder = "Gamma PCS";
    rule(WatchWhen::DropsOut).bidder = "Gamma PCS";
    rule(WatchWhen::NoNewBids);
    rule(WatchWhen::TotalReaches).amount = 1000000000;
    return list;
}

bool Same(const WatchList& a, const WatchList& b) {
    if (a.rules.size() != b.rules.size()) return false;
    for (std::size_t i = 0; i < a.rules.size(); ++i) {
        const WatchRule &x = a.rules[i], &y = b.rules[i];
        if (x.when != y.when || x.market != y.market || x.block != y.block || x.bidder != y.bidder ||
            x.amount != y.amount || x.percent != y.percent)
            return false;
    }
    return true;
}

TEST(WatchListFile, TheDocumentedFormReadsBackOneRuleALine) {
    const WatchList list = EveryKind();
    const std::string json = report::WatchListJson(list);
    EXPECT_TRUE(Same(report::ParseWatchList(json), list)) << json;
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), static_cast<long>(list.rules.size() + 2));
    EXPECT_EQ(json.substr(0, json.find('\n', json.find('\n') + 1) + 1),
              "{\"version\": 1, \"rules\": [\n  {\"market\": \"M001\", \"block\": \"A\", \"when\": \"new "
              "leader\"},\n");
    EXPECT_NE(
        json.find("\n  {\"market\": \"M001\", \"block\": \"B\", \"when\": \"high bid reaches\", \"amount\": "
                  "5000000.25},\n"),
        std::string::npos);
    EXPECT_NE(json.find("\n  {\"when\": \"standing total reaches\", \"amount\": 1000000000}\n]}\n"),
              std::string::npos);
    EXPECT_EQ(report::WatchListJson({}), "{\"version\": 1, \"rules\": []}\n");
    EXPECT_TRUE(report::ParseWatchList(report::WatchListJson({})).rules.empty());
    // Keys a kind does not take are not written.
    WatchList stray;
    stray.rules.push_back({});
    stray.rules[0].when = WatchWhen::NoNewBids;
    stray.rules[0].market = "M001";
    stray.rules[0].amount = 5;
    EXPECT_EQ(report::WatchListJson(stray),
              "{\"version\": 1, \"rules\": [\n  {\"when\": \"no new bids\"}\n]}\n");
    for (WatchWhen w : report::kWatchWhens) EXPECT_EQ(report::WatchWhenNamed(report::WatchWhenText(w)), w);
    EXPECT_EQ(report::WatchWhenNamed("New Leader"), std::nullopt);
}

TEST(WatchListFile, EachFaultIsNamedAtItsLine) {
    struct Case {
        std::string text;
        int line;
        std::string message;
    };
    const std::string head = "{\"version\": 1,\n \"rules\": [\n  {\"when\": \"no new bids\"},\n";
    const std::vector<Case> cases = {
        {"{\"version\": 1, \"rules\": [\n  {\"when\": \"no new bids\"}\n  {\"when\": \"no new bids\"}\n]}", 3,
         "not valid JSON: syntax error while parsing array - unexpected '{'; expected ']'"},
        {head + "  {\"when\": \"no new bids\"},\n", 4,
         "not valid JSON: syntax error while parsing value - "
         "unexpected end of input"},
        {"", 0, "the file is empty (write {\"version\": 1, \"rules\": []} for no rules)"},
        {" \n", 0, "the file is empty"},
        {"{\"version\": 1, \"rules\": [{\"when\": 5}]}", 1,
         "\"when\" must be a text such as \"new leader\", not 5 (rule 1)"},
        {head + "  {\"market\": \"M001\",\n   \"when\": \"new leeder\"}\n]}", 4,
         "unknown \"when\": \"new leeder\" (rule 2)"},
        {head + "  {\"market\": \"M001\"}\n]}", 4, "the rule has no \"when\" (rule 2)"},
        {head + "  {\"market\": \"M001\", \"when\": \"high bid reaches\"}\n]}", 4,
         "\"high bid reaches\" needs an \"amount\" (rule 2)"},
        {head + "\n  {\"when\": \"standing total reaches\", \"amount\": \"1,000\"}\n]}", 5,
         "\"amount\" must be a number, not \"1,000\" (rule 2)"},
        {head + "  {\"market\": \"M001\", \"when\": \"rises\"}\n]}", 4,
         "\"rises\" needs a \"percent\" (rule 2)"},
        {head + "  {\"market\": \"M001\", \"when\": \"rises\", \"percent\": null}\n]}", 4,
         "\"percent\" must be a number, not null (rule 2)"},
        {head + "  {\"market\": \"M001\", \"when\": \"rises\", \"percent\": -5}\n]}", 4,
         "\"percent\" must be 0 or more, not -5 (rule 2)"},
        {head + "  {\"block\": \"A\", \"when\": \"new leader\"}\n]}", 4,
         "\"new leader\" needs a \"market\" (rule 2)"},
        {head + "  {\"market\": \"\", \"when\": \"new high bid\"}\n]}", 4, "\"market\" is empty (rule 2)"},
        {head + "  {\"market\": 7, \"when\": \"new high bid\"}\n]}", 4,
         "\"market\" must be a text, not 7 (rule 2)"},
        {head + "  {\"when\": \"drops out\"}\n]}", 4, "\"drops out\" needs a \"bidder\" (rule 2)"},
        {head + "  {\"when\": \"drops out\", \"bidder\": \"X\", \"market\": \"M001\"}\n]}", 4,
         "\"drops out\" takes no \"market\" (rule 2)"},
        {head + "  {\"when\": \"new leader\", \"market\": \"M001\", \"blokc\": \"A\"}\n]}", 4,
         "unknown key \"blokc\" (rule 2)"},
        {head + "  \"no new bids\"\n]}", 4,
         "a rule must be an object such as {\"when\": \"no new bids\"}, not \"no new bids\" (rule 2)"},
        {"{\"rules\": [],\n \"version\": 2}", 2, "unknown version 2 (this Corvidel reads version 1)"},
        {"{\"rules\": []}", 0, "it has no \"version\" (write \"version\": 1)"},
        {"{\"version\": 1}", 0, "it has no \"rules\" (write \"rules\": [] for none)"},
        {"{\"version\": 1,\n \"rules\": {}}", 2, "\"rules\" must be a list: [...]"},
        {"{\"version\": 1, \"rules\": [],\n \"colour\": 1}", 2,
         "unknown key \"colour\" (a list has \"version\" and \"rules\")"},
        {"\n[]", 2, "the list must be a JSON object such as {\"version\": 1, \"rules\": []}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            report::ParseWatchList(c.text);
            ADD_FAILURE() << "read";
        } catch (const WatchListError& e) {
            EXPECT_EQ(e.line, c.line);
            EXPECT_EQ(e.message.substr(0, c.message.size()), c.message) << e.message;
            const std::string sentence = e.Describe("/home/x/Auction14.watch.json");
            EXPECT_EQ(sentence.find('\n'), std::string::npos);
            EXPECT_EQ(sentence, "/home/x/Auction14.watch.json cannot be used as a watch list: " +
                                    (c.line ? "line " + std::to_string(c.line) + ": " : std::string()) +
                                    e.message);
        }
    }
}

class WatchFileTest : public ::testing::Test {
  protected:
    TempFolder folder;
};

TEST_F(WatchFileTest, ReadingWritesNothingAndAMissingListIsNone) {
    EXPECT_EQ(report::WatchListPath("/a/Auction14.mdb"), "/a/Auction14.watch.json");
    EXPECT_EQ(report::AlertLogPath("/a.b/Auction14"), "/a.b/Auction14.alerts.json");
    EXPECT_EQ(report::ReadWatchList(folder.File("none.watch.json")), std::nullopt);
    const std::string bad = folder.File("Auction14.watch.json");
    const std::string text = "{\"version\": 1, \"rules\": [\n  {\"when\": \"no new bids\",}\n]}";
    Put(bad, text);
    chmod(bad.c_str(), 0644);
    EXPECT_THROW(report::ReadWatchList(bad), WatchListError);
    EXPECT_EQ(FileBytes(bad), text);
    EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"Auction14.watch.json"});
    // A folder in its place is a list that cannot be read.
    try {
        report::ReadWatchList(folder.Path());
        ADD_FAILURE();
    } catch (const WatchListError& e) {
        EXPECT_EQ(e.line, 0);
    }
}

TEST_F(WatchFileTest, WritingReplacesTheListWholeAndPrivately) {
    const std::string path = folder.File("Auction14.watch.json");
    report::WriteWatchList(path, EveryKind());
    EXPECT_TRUE(Same(*report::ReadWatchList(path), EveryKind()));
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"Auction14.watch.json"});
    // A list made shared by its owner stays so.
    chmod(path.c_str(), 0644);
    report::WriteWatchList(path, {});
    EXPECT_EQ(Mode(path), 0644u);
    EXPECT_TRUE(report::ReadWatchList(path)->rules.empty());
    // A rule missing what its kind needs is refused before the list is touched.
    WatchList broken;
    broken.rules.push_back({});
    broken.rules[0].when = WatchWhen::NewLeader;
    const std::string before = FileBytes(path);
    EXPECT_THROW(report::WriteWatchList(path, broken), std::runtime_error);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(Listing(folder.Path()), std::vector<std::string>{"Auction14.watch.json"});
    // A folder that cannot be written to: an error naming the list.
    try {
        report::WriteWatchList(folder.File("no/such/folder.watch.json"), {});
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("no/such/folder.watch.json"), std::string::npos);
    }
}

// The list at path reads as a or b.
bool IsOneOf(const std::string& path, const WatchList& a, const WatchList& b) {
    try {
        const auto seen = report::ReadWatchList(path);
        return seen && (Same(*seen, a) || Same(*seen, b));
    } catch (const WatchListError& e) {
        ADD_FAILURE() << e.Describe(path);
        return false;
    }
}

// A child writes two lists in turn as fast as it can and is killed at a random moment, many times: the list
// is then always one of the two whole, and at most one temporary file is left, private and hidden.
TEST_F(WatchFileTest, AKilledWriterLeavesTheOldListOrTheNewOne) {
    const std::string path = folder.File("Auction14.watch.json");
    WatchList small = EveryKind(), large;
    for (int i = 0; i < 100; ++i)
        large.rules.insert(large.rules.end(), small.rules.begin(), small.rules.end());
    // The time of one round of the child's loop here and now: the machine may be busy.
    const auto start = std::chrono::steady_clock::now();
    report::WriteWatchList(path, large);
    report::WriteWatchList(path, small);
    const auto cycle =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::srand(7);
    int sawLarge = 0;
    for (int attempt = 0; attempt < 25; ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                for (int i = 0;; ++i) report::WriteWatchList(path, i % 2 ? small : large);
            } catch (...) {
            }
            _exit(1);
        }
        // Killed whatever happens here, a failure included.
        struct Killed {
            pid_t pid;
            ~Killed() {
                ::kill(pid, SIGKILL);
                int status = 0;
                waitpid(pid, &status, 0);
            }
        };
        {
            Killed killed{child};
            // Read while it writes, then kill it: after half a round of its loop to four.
            for (int look = 0; look < 3; ++look) {
                usleep(static_cast<useconds_t>(cycle.count() * (50 + std::rand() % 350) / 300));
                EXPECT_TRUE(IsOneOf(path, small, large));
            }
        }
        ASSERT_TRUE(IsOneOf(path, small, large));
        sawLarge += Same(*report::ReadWatchList(path), large);
        int temporaries = 0;
        for (const std::string& name : Listing(folder.Path())) {
            if (name == "Auction14.watch.json") continue;
            ++temporaries;
            EXPECT_TRUE(std::regex_match(name, std::regex(R"(\.Auction14\.watch\.json\.[0-9a-f]{12}\.tmp)")))
                << name;
            EXPECT_EQ(Mode(folder.File(name)), 0600u) << name;
            fs::remove(folder.File(name));
        }
        EXPECT_LE(temporaries, 1);
    }
    EXPECT_GT(sawLarge, 0);
}

TEST_F(WatchFileTest, TheAlertLogRoundTripsAndKeepsTheNewest) {
    const std::string path = folder.File("Auction14.alerts.json");
    EXPECT_TRUE(report::ReadAlertLog(path).empty());
    report::AppendAlertLog(path, {});
    EXPECT_FALSE(fs::exists(path));

    const std::string time = report::AlertTime();
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)"))) << time;
    std::vector<report::LoggedAlert> first = {
        {{0, 7, "M001 A: Beta Inc now leads at 4,400,000 (was Alpha LLC, 4,000,000)"}, time},
        {{3, 7, "O'Brien \"Wireless\" \\ Grüße now leads 3 licences (gained M001 A; lost M004)"}, time}};
    report::AppendAlertLog(path, first);
    report::AppendAlertLog(path, {{{8, 8, "Round 8: no new bids"}, "2026-12-01T14:03:22+01:00"}});
    const auto log = report::ReadAlertLog(path);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].alert.rule, 3);
    EXPECT_EQ(log[1].alert.round, 7);
    EXPECT_EQ(log[1].alert.text, first[1].alert.text);
    EXPECT_EQ(log[1].time, time);
    EXPECT_EQ(log[2].alert.text, "Round 8: no new bids");
    EXPECT_EQ(log[2].time, "2026-12-01T14:03:22+01:00");
    EXPECT_EQ(Mode(path), 0600u);

    std::vector<report::LoggedAlert> many;
    for (int i = 0; i < 1200; ++i) many.push_back({{0, 10 + i, "alert " + std::to_string(i)}, time});
    report::AppendAlertLog(path, many);
    const auto bounded = report::ReadAlertLog(path);
    ASSERT_EQ(bounded.size(), report::kAlertLogLimit);
    EXPECT_EQ(bounded.front().alert.text, "alert 200");
    EXPECT_EQ(bounded.back().alert.text, "alert 1199");

    // A log that cannot be read is named with its line and left as it is.
    const std::string bad =
        "{\"version\": 1, \"alerts\": [\n  {\"round\": 1, \"rule\": 0, \"text\": \"x\"}\n]}\n";
    Put(path, bad);
    try {
        report::ReadAlertLog(path);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  path + " cannot be used as an alert log: line 2: alert 1 has no text \"time\"");
    }
    EXPECT_THROW(report::AppendAlertLog(path, first), std::runtime_error);
    EXPECT_EQ(FileBytes(path), bad);
}

}  // namespace
}  // namespace corv::test
