#include "report/ReferenceCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>

#include "support/RoundReference.h"

namespace corv::test {

namespace {

using Key = RoundReference::Key;

std::optional<double> Maybe(const Json& v) {
    return v.IsNull() ? std::nullopt : std::optional<double>(v.Number());
}
std::optional<std::string> MaybeText(const Json& v) {
    return v.IsNull() ? std::nullopt : std::optional<std::string>(v.String());
}

// A sum may be added up in another order.
void ExpectSum(const Json& v, double expected, const std::string& what) {
    ASSERT_TRUE(v.IsNumber()) << what;
    EXPECT_NEAR(v.Number(), expected, 1e-9 * std::max(1.0, std::fabs(expected))) << what;
}

void ExpectMarkets(const Json& doc, const RoundReference& ref, int n, bool net) {
    const auto leads = ref.LeadsAfter(n, net), before = ref.LeadsAfter(n - 1, net);
    const auto bidsOn = ref.BidsOnLicences(n, net);
    std::set<Key> seen;
    for (const Json& m : doc["markets"].Items()) {
        const Key key{m["market"].String(), m["block"].String()};
        SCOPED_TRACE(key.first + " " + key.second);
        EXPECT_TRUE(seen.insert(key).second);
        const auto it = leads.find(key);
        ASSERT_NE(it, leads.end());
        const auto& lead = it->second;
        EXPECT_EQ(m["high"].Number(), lead.high);  // a bid as stored: read back exactly
        EXPECT_EQ(m["leader"].String(), lead.leader);
        EXPECT_EQ(m["since"].Number(), lead.since);
        EXPECT_EQ(m["stood"].Number(), n - lead.since);
        EXPECT_EQ(m["newHigh"].Bool(), lead.since == n);
        const auto was = before.find(key);
        EXPECT_EQ(Maybe(m["previous"]),
                  was == before.end() ? std::nullopt : std::optional<double>(was->second.high));
        EXPECT_EQ(m["leaderChanged"].Bool(), was != before.end() && was->second.leader != lead.leader);
        EXPECT_EQ(m["lastBid"].Number(), ref.LastBid(key, n, net));
        EXPECT_EQ(m["bids"].Number(), bidsOn.count(key) ? bidsOn.at(key) : 0);
    }
    EXPECT_EQ(seen.size(), leads.size());
}

void ExpectBidders(const Json& doc, const RoundReference& ref, int n, bool net) {
    std::map<std::string, std::pair<int, double>> held;
    for (const auto& [key, lead] : ref.LeadsAfter(n, net)) {
        ++held[lead.leader].first;
        held[lead.leader].second += lead.high;
    }
    auto activity = ref.BidderActivity(n, net);
    for (const Json& b : doc["bidders"].Items()) {
        const std::string name = b["bidder"].String();
        SCOPED_TRACE(name);
        const auto expected = held[name];
        EXPECT_EQ(b["leads"].Number(), expected.first);
        ExpectSum(b["held"], expected.second, "held");
        ASSERT_TRUE(activity.count(name));
        EXPECT_EQ(b["bids"].Number(), activity[name].bids);
        EXPECT_EQ(b["firstRound"].Number(), activity[name].first);
        EXPECT_EQ(b["lastRound"].Number(), activity[name].last);
        held.erase(name);
        activity.erase(name);
    }
    for (const auto& [name, left] : held) EXPECT_EQ(left.first, 0) << name << " leads, yet is not listed";
    EXPECT_TRUE(activity.empty()) << activity.begin()->first << " bid, yet is not listed";
}

void ExpectChanges(const Json& doc, const RoundReference& ref, int n, int m, bool net) {
    using Row =
        std::tuple<std::string, std::optional<std::string>, std::string, std::optional<double>, double>;
    std::map<Key, Row> expected, got;
    const auto before = ref.LeadsAfter(m, net);
    for (const auto& [key, lead] : ref.LeadsAfter(n, net)) {
        const auto was = before.find(key);
        if (was == before.end())
            expected[key] = {"first bid", std::nullopt, lead.leader, std::nullopt, lead.high};
        else if (was->second.leader != lead.leader)
            expected[key] = {"new leader", was->second.leader, lead.leader, was->second.high, lead.high};
        else if (was->second.high != lead.high)
            expected[key] = {"higher bid", was->second.leader, lead.leader, was->second.high, lead.high};
    }
    for (const Json& c : doc["changes"].Items())
        got[{c["market"].String(), c["block"].String()}] = {c["kind"].String(), MaybeText(c["leaderBefore"]),
                                                            c["leaderNow"].String(), Maybe(c["highBefore"]),
                                                            c["highNow"].Number()};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), doc["changes"].Items().size());
}

void ExpectEligibility(const Json& doc, const RoundReference& ref, int n) {
    if (!ref.HasEligibility()) {
        EXPECT_TRUE(doc["eligibility"].IsNull());
        return;
    }
    const auto now = ref.EligibilityIn(n), before = ref.EligibilityIn(n - 1);
    const auto at = [](const auto& rows, const std::string& bidder) {
        const auto it = rows.find(bidder);
        return it == rows.end() ? std::nullopt : it->second;
    };
    std::vector<std::string> bidders;
    for (const Json& e : doc["eligibility"].Items()) {
        const std::string name = e["bidder"].String();
        SCOPED_TRACE(name);
        bidders.push_back(name);
        const auto eligibility = at(now, name), previous = at(before, name);
        EXPECT_EQ(Maybe(e["eligibility"]), eligibility);
        EXPECT_EQ(Maybe(e["previous"]), previous);
        EXPECT_EQ(Maybe(e["change"]),
                  eligibility && previous ? std::optional<double>(*eligibility - *previous) : std::nullopt);
        EXPECT_EQ(e["status"].String(), ref.Status(name, n));
    }
    EXPECT_EQ(bidders, ref.EligibilitySeen(n));
}

void ExpectRounds(const Json& doc, const RoundReference& ref, int n, bool net) {
    const Json::Array& rounds = doc["rounds"].Items();
    ASSERT_EQ(rounds.size(), static_cast<std::size_t>(n));
    for (int r = 1; r <= n; ++r) {
        SCOPED_TRACE("round " + std::to_string(r));
        const Json& p = rounds[static_cast<std::size_t>(r - 1)];
        EXPECT_EQ(p["round"].Number(), r);
        ExpectSum(p["standing"], ref.StandingAfter(r, net), "standing");
        ExpectSum(p["change"], ref.StandingAfter(r, net) - ref.StandingAfter(r - 1, net), "change");
        EXPECT_EQ(p["bids"].Number(), ref.BidsIn(r, net));
        EXPECT_EQ(p["licencesBid"].Number(), ref.LicencesBidIn(r, net));
        EXPECT_EQ(p["licencesWithHigh"].Number(), ref.LeadsAfter(r, net).size());
        EXPECT_EQ(p["leaderChanges"].Number(), ref.LeaderChanges(r, net));
        std::optional<double> total;
        for (const auto& [bidder, e] : ref.EligibilityIn(r))
            if (e) total = total.value_or(0) + *e;
        if (ref.EligibilityIn(r).empty()) total.reset();
        if (total)
            ExpectSum(p["eligibility"], *total, "eligibility");
        else
            EXPECT_TRUE(p["eligibility"].IsNull());
    }
}

}  // namespace

void ExpectReference(const Json& doc, const std::string& path, int round, int since,
                     standings::Measure measure) {
    const RoundReference ref = RoundReference::FromFile(path);
    const bool net = measure == standings::Measure::Net;
    EXPECT_EQ(doc["round"].Number(), round);
    EXPECT_EQ(doc["since"].Number(), since);
    EXPECT_EQ(doc["measure"].String(), net ? "net" : "gross");

    const Json& t = doc["totals"];
    ExpectSum(t["standing"], ref.StandingAfter(round, net), "standing");
    ExpectSum(t["previous"], ref.StandingAfter(since, net), "previous");
    ExpectSum(t["change"], ref.StandingAfter(round, net) - ref.StandingAfter(since, net), "change");
    EXPECT_EQ(t["licencesWithHigh"].Number(), ref.LeadsAfter(round, net).size());
    EXPECT_EQ(t["bidsInRound"].Number(), ref.BidsIn(round, net));
    int newLeaders = 0;
    const auto after = ref.LeadsAfter(round, net);
    for (const auto& [key, lead] : ref.LeadsAfter(since, net))
        newLeaders += after.at(key).leader != lead.leader;
    EXPECT_EQ(t["leaderChanges"].Number(), newLeaders);

    ExpectMarkets(doc, ref, round, net);
    ExpectBidders(doc, ref, round, net);
    ExpectChanges(doc, ref, round, since, net);
    ExpectEligibility(doc, ref, round);
    ExpectRounds(doc, ref, round, net);
}

}  // namespace corv::test
