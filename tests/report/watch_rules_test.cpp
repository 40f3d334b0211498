// The watch list's rules weighed round by round, held against the same rules counted plainly over the
// auction's rows (RoundReference): on the fixture auction, with a tie, a bidder spelt in capitals, a
// bidder leaving the eligibility table and one falling to 0, and on the Jet sample auction 31.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "report/Report.h"
#include "report/ReportTestSupport.h"
#include "report/WatchList.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/RoundReference.h"

namespace corv::test {
namespace {

using report::WatchRule;
using report::WatchWhen;
using Key = RoundReference::Key;

// Counted here another way than the program: fixed two decimals, the ".00" dropped, then grouped.
std::string Shown(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
    std::string s = buffer, grouped;
    if (s.size() > 3 && s.compare(s.size() - 3, 3, ".00") == 0) s.resize(s.size() - 3);
    const std::size_t point = std::min(s.find('.'), s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0 && i < point && (point - i) % 3 == 0) grouped += ',';
        grouped += s[i];
    }
    return grouped;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string Name(const Key& k) {
    return k.second.empty() ? k.first : k.first + " " + k.second;
}

std::string List(const std::vector<Key>& keys) {
    std::string out;
    for (std::size_t i = 0; i < keys.size() && i < 5; ++i) out += (i ? ", " : "") + Name(keys[i]);
    if (keys.size() > 5) out += " and " + std::to_string(keys.size() - 5) + " more";
    return out;
}

// The alerts of round n, each as "RULE|TEXT", counted over the rows.
std::multiset<std::string> Expected(const RoundReference& ref, const std::vector<WatchRule>& rules, int n) {
    const auto now = ref.LeadsAfter(n, false), before = ref.LeadsAfter(n - 1, false);
    std::multiset<std::string> out;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const WatchRule& r = rules[i];
        const auto add = [&](const std::string& text) { out.insert(std::to_string(i) + "|" + text); };
        for (const auto& [key, lead] : now) {
            if (!r.market || key.first != *r.market || (r.block && Trim(*r.block) != key.second)) continue;
            const auto was = before.find(key);
            const bool held = was != before.end();
            const std::string name = Name(key);
            if (r.when == WatchWhen::NewLeader && held && was->second.leader != lead.leader)
                add(name + ": " + lead.leader + " now leads at " + Shown(lead.high) + " (was " +
                    was->second.leader + ", " + Shown(was->second.high) + ")");
            if (r.when == WatchWhen::NewHighBid && lead.since == n)
                add(name + ": new high bid " + Shown(lead.high) + " by " + lead.leader);
            if (r.when == WatchWhen::HighBidReaches && lead.high >= *r.amount &&
                (!held || was->second.high < *r.amount))
                add(name + ": high bid " + Shown(lead.high) + " reached " + Shown(*r.amount));
            if (r.when == WatchWhen::Rises && held && was->second.high > 0) {
                const double rise = lead.high - was->second.high, percent = rise / was->second.high * 100;
                if (rise > 0 && rise * 100 >= *r.percent * was->second.high) {
                    char p[32];
                    std::snprintf(p, sizeof p, "%.1f", percent);
                    std::string shown = p;
                    if (shown.size() > 2 && shown.substr(shown.size() - 2) == ".0")
                        shown.resize(shown.size() - 2);
                    add(name + ": high bid rose " + shown + "% to " + Shown(lead.high) + " (was " +
                        Shown(was->second.high) + ")");
                }
            }
        }
        if (r.bidder) {
            const std::string bidder = ref.Spelling(*r.bidder);
            if (r.when == WatchWhen::GainsOrLosesLead) {
                std::vector<Key> gained, lost;
                int leads = 0;
                for (const auto& [key, lead] : now) {
                    const auto was = before.find(key);
                    const bool ledBefore = was != before.end() && was->second.leader == bidder;
                    leads += lead.leader == bidder;
                    if (lead.leader == bidder && !ledBefore) gained.push_back(key);
                    if (lead.leader != bidder && ledBefore) lost.push_back(key);
                }
                if (!gained.empty() || !lost.empty()) {
                    std::string text = bidder + " now leads " +
                                       (leads == 0   ? std::string("no licence")
                                        : leads == 1 ? std::string("1 licence")
                                                     : std::to_string(leads) + " licences") +
                                       " (";
                    if (!gained.empty()) text += "gained " + List(gained);
                    if (!gained.empty() && !lost.empty()) text += "; ";
                    if (!lost.empty()) text += "lost " + List(lost);
                    add(text + ")");
                }
            }
            if (r.when == WatchWhen::EligibilityFalls) {
                const auto e = ref.EligibilityIn(n), p = ref.EligibilityIn(n - 1);
                const auto a = e.find(bidder), b = p.find(bidder);
                if (a != e.end() && b != p.end() && a->second && b->second && *a->second < *b->second)
                    add(bidder + ": eligibility fell to " + Shown(*a->second) + " (was " + Shown(*b->second) +
                        ")");
            }
            if (r.when == WatchWhen::DropsOut && ref.HasEligibility() && ref.Status(bidder, n) == "out" &&
                ref.Status(bidder, n - 1) != "out")
                add(bidder + " dropped out");
        }
        if (r.when == WatchWhen::NoNewBids && ref.BidsIn(n, false) == 0)
            add("Round " + std::to_string(n) + ": no new bids");
        if (r.when == WatchWhen::TotalReaches && !now.empty()) {
            const double total = ref.StandingAfter(n, false), was = ref.StandingAfter(n - 1, false);
            if (total >= *r.amount && (before.empty() || was < *r.amount))
                add("Standing total " + Shown(total) + " reached " + Shown(*r.amount));
        }
    }
    return out;
}

std::multiset<std::string> Weighed(const report::WatchList& list, const standings::BidHistory& h, int n) {
    std::multiset<std::string> out;
    for (const report::Alert& a : report::EvaluateWatchList(list, h, n)) {
        EXPECT_EQ(a.round, n);
        EXPECT_EQ(a.text.find('\n'), std::string::npos) << a.text;
        out.insert(std::to_string(a.rule) + "|" + a.text);
    }
    return out;
}

WatchRule Licence(WatchWhen when, std::string market, std::optional<std::string> block = std::nullopt) {
    WatchRule r;
    r.when = when;
    r.market = std::move(market);
    r.block = std::move(block);
    return r;
}
WatchRule Bidder(WatchWhen when, std::string bidder) {
    WatchRule r;
    r.when = when;
    r.bidder = std::move(bidder);
    return r;
}
WatchRule Auction(WatchWhen when, std::optional<double> amount = std::nullopt) {
    WatchRule r;
    r.when = when;
    r.amount = amount;
    return r;
}

// Every kind on every market and bidder of the auction, bidders in two letter cases, blocks with blanks
// around them, amounts and percents met exactly by some high bid or rise.
report::WatchList EveryRule(const RoundReference& ref, const standings::BidHistory& h, int last) {
    report::WatchList list;
    std::set<std::string> markets;
    for (const auto& [key, lead] : ref.LeadsAfter(last, false)) markets.insert(key.first);
    const auto after2 = ref.LeadsAfter(2, false), after1 = ref.LeadsAfter(1, false);
    for (const std::string& m : markets) {
        for (WatchWhen w : {WatchWhen::NewLeader, WatchWhen::NewHighBid}) list.rules.push_back(Licence(w, m));
        for (const auto& [key, lead] : after2) {
            if (key.first != m) continue;
            list.rules.push_back(Licence(WatchWhen::NewLeader, m, " " + key.second + " "));
            auto reaches = Licence(WatchWhen::HighBidReaches, m, key.second);
            reaches.amount = lead.high;  // met exactly in round 2 or before
            list.rules.push_back(reaches);
            auto rises = Licence(WatchWhen::Rises, m, key.second);
            const auto was = after1.find(key);
            // A whole percent the rise meets or passes, and one a tenth above what it reaches.
            const double rose = was != after1.end() && lead.high > was->second.high
                                    ? (lead.high - was->second.high) * 100 / was->second.high
                                    : 3;
            rises.percent = std::floor(rose);
            list.rules.push_back(rises);
            rises.percent = std::ceil(rose * 10) / 10;
            list.rules.push_back(rises);
        }
        auto reaches = Licence(WatchWhen::HighBidReaches, m);
        reaches.amount = 100000;
        list.rules.push_back(reaches);
        for (double p : {0.0, 2.5, 10.0}) {
            auto rises = Licence(WatchWhen::Rises, m);
            rises.percent = p;
            list.rules.push_back(rises);
        }
    }
    list.rules.push_back(Licence(WatchWhen::NewHighBid, "NO SUCH MARKET"));
    for (const std::string& name : h.Bidders())
        for (const std::string& spelt : {name, Lower(name)})
            for (WatchWhen w :
                 {WatchWhen::GainsOrLosesLead, WatchWhen::EligibilityFalls, WatchWhen::DropsOut})
                list.rules.push_back(Bidder(w, spelt));
    list.rules.push_back(Bidder(WatchWhen::DropsOut, "No Such Bidder"));
    list.rules.push_back(Auction(WatchWhen::NoNewBids));
    // Just below each round's total: a sum of amounts with cents may differ in its last bit by the order it
    // is added up in (the exact total is met in the Jet samples' test, whose amounts are whole).
    for (int r = 1; r <= last; ++r)
        list.rules.push_back(Auction(WatchWhen::TotalReaches, ref.StandingAfter(r, false) - 0.5));
    list.rules.push_back(Auction(WatchWhen::TotalReaches, 0));
    return list;
}

// The kinds of rule that fired in some round.
std::set<WatchWhen> ExpectEveryRound(const std::string& path) {
    const auto auction = report::ReadReportAuction(path);
    const RoundReference ref = RoundReference::FromFile(path);
    const int last = auction.rounds.back();
    const report::WatchList list = EveryRule(ref, *auction.history, last);
    // The file's own words, read back, weigh the same.
    const report::WatchList read = report::ParseWatchList(report::WatchListJson(list));
    std::set<WatchWhen> fired;
    for (int n = 1; n <= last; ++n) {
        SCOPED_TRACE("round " + std::to_string(n));
        const auto expected = Expected(ref, list.rules, n);
        EXPECT_EQ(Weighed(list, *auction.history, n), expected);
        EXPECT_EQ(Weighed(read, *auction.history, n), expected);
        for (const std::string& alert : expected) fired.insert(list.rules[std::stoul(alert)].when);
    }
    return fired;
}

class WatchRulesTest : public ::testing::Test {
  protected:
    TempFolder folder;
};

// Six rounds of the fixture, the sixth without a bid. Round 3 holds a tie on a licence's high bid by
// another bidder (the earlier bid keeps the lead) and a bidder spelt in capitals; in round 4 one bidder has
// no row in the eligibility table and another has 0.
TEST_F(WatchRulesTest, EveryRuleOnTheFixtureAgreesWithTheRows) {
    fixture::AuctionOptions options;
    options.rounds = 5;
    options.bidsPerRound = 30;
    const std::string path = BuildAuctionDatabase(folder.Path(), options);
    const auto names = fixture::BidderNames(options);
    RunSqlite(path,
              "UPDATE \"Markets and Bidders\" SET \"Bidder Name\" = upper(\"Bidder Name\") WHERE Round = 3 "
              "AND \"Bidder Name\" = 'Bluewater PCS'");
    // The high after round 3 of a licence bid on by two bidders at least, bid again in round 3 by a bidder
    // that does not lead it.
    RunSqlite(
        path,
        "INSERT INTO \"Markets and Bidders\" (Round, Market, Block, \"Bidder Name\", \"Bid Amount\", "
        "\"Net Bid Amount\") SELECT 3, Market, Block, 'Delta Airwaves', \"Bid Amount\", \"Net Bid Amount\" "
        "FROM \"Markets and Bidders\" WHERE Round <= 3 AND \"Bidder Name\" <> 'Delta Airwaves' ORDER BY "
        "\"Bid Amount\" DESC LIMIT 1");
    RunSqlite(
        path,
        "DELETE FROM \"Bidder Eligibility\" WHERE Round >= 4 AND \"Bidder Name\" = 'Crestline Telecom'");
    RunSqlite(path,
              "UPDATE \"Bidder Eligibility\" SET Eligibility = 0 WHERE Round >= 4 AND \"Bidder Name\" = "
              "'Arcadia Wireless'");
    RunSqlite(path, "INSERT INTO sysRounds (Round) VALUES (6)");

    const RoundReference ref = RoundReference::FromFile(path);
    ASSERT_EQ(ref.Status("Crestline Telecom", 4), "out");
    ASSERT_EQ(ref.BidsIn(6, false), 0);
    EXPECT_EQ(ExpectEveryRound(path),
              std::set<WatchWhen>(std::begin(report::kWatchWhens), std::end(report::kWatchWhens)));

    // The tie, the bidder leaving the table and the round without bids, named.
    const auto h = report::ReadReportAuction(path).history;
    report::WatchList list;
    list.rules = {Bidder(WatchWhen::DropsOut, "CRESTLINE TELECOM"),
                  Bidder(WatchWhen::DropsOut, "arcadia wireless"),
                  Bidder(WatchWhen::EligibilityFalls, "Crestline Telecom"), Auction(WatchWhen::NoNewBids)};
    const auto texts = [&](int n) {
        std::vector<std::string> out;
        for (const auto& a : report::EvaluateWatchList(list, *h, n)) out.push_back(a.text);
        return out;
    };
    EXPECT_EQ(texts(4),
              (std::vector<std::string>{"Crestline Telecom dropped out", "Arcadia Wireless dropped out"}));
    EXPECT_EQ(texts(5), std::vector<std::string>{});
    EXPECT_EQ(texts(6), std::vector<std::string>{"Round 6: no new bids"});
}

TEST_F(WatchRulesTest, EveryRuleOnTheJetSamplesAgreesWithTheRows) {
    for (const std::string& file : JetSampleRounds()) CORV_NEED_FILE(file);
    const std::string path = ImportJetSampleAuction(folder.Path());
    ASSERT_FALSE(path.empty());
    // Its eligibility never falls and every round holds bids.
    EXPECT_EQ(ExpectEveryRound(path),
              (std::set<WatchWhen>{WatchWhen::NewLeader, WatchWhen::NewHighBid, WatchWhen::HighBidReaches,
                                   WatchWhen::Rises, WatchWhen::GainsOrLosesLead, WatchWhen::TotalReaches}));

    // The texts a person reads, as the manual shows them.
    const auto h = report::ReadReportAuction(path).history;
    report::WatchList list;
    list.rules = {Licence(WatchWhen::NewLeader, "BTA001", "C"), Licence(WatchWhen::NewHighBid, "BTA014"),
                  Bidder(WatchWhen::GainsOrLosesLead, "OSPREY COMM")};
    list.rules.push_back(Licence(WatchWhen::Rises, "BTA001"));
    list.rules.back().percent = 7;
    list.rules.push_back(Auction(WatchWhen::TotalReaches, 34560000));
    std::vector<std::string> texts;
    for (const auto& a : report::EvaluateWatchList(list, *h, 6))
        texts.push_back(std::to_string(a.rule) + " " + a.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "0 BTA001 C: D'Arcy Mobile now leads at 4,984,000 (was Osprey Comm, 4,650,000)",
                         "2 Osprey Comm now leads 1 licence (lost BTA001 C)",
                         "3 BTA001 C: high bid rose 7.2% to 4,984,000 (was 4,650,000)",
                         "4 Standing total 34,560,000 reached 34,560,000"}));
}

TEST_F(WatchRulesTest, NoRulesOrNoRoundGiveNoAlerts) {
    fixture::AuctionOptions options;
    const std::string path = BuildAuctionDatabase(folder.Path(), options);
    const auto h = report::ReadReportAuction(path).history;
    EXPECT_TRUE(report::EvaluateWatchList({}, *h, 2).empty());
    report::WatchList list;
    list.rules = {Auction(WatchWhen::NoNewBids)};
    EXPECT_TRUE(report::EvaluateWatchList(list, *h, 0).empty());
    // A round past the last holds no bid.
    EXPECT_EQ(report::EvaluateWatchList(list, *h, 9).size(), 1u);
}

}  // namespace
}  // namespace corv::test
