// Round changes, eligibility and the pace against a plain count over the rows, every round and every round
// compared with, on the fixture auction with its awkward rows and on the Jet sample auction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "dialogue/AuctionCommands.h"
#include "standings/BidReader.h"
#include "standings/RoundChanges.h"
#include "store/Auction.h"
#include "support/AuctionDatabase.h"
#include "support/NeededFile.h"
#include "support/RoundReference.h"
#include "support/ScriptedDesktop.h"

namespace corv::test {
namespace {

using namespace standings;
namespace fs = std::filesystem;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<double> Value(const RoundReference& ref, const std::string& bidder, int round) {
    const auto in = ref.EligibilityIn(round);
    const auto it = in.find(bidder);
    return it == in.end() ? std::nullopt : it->second;
}

class RoundChangesTest : public ::testing::Test {
  protected:
    std::string Name(std::int32_t bidder) const {
        return Lower(history->Bidders()[static_cast<std::size_t>(bidder)]);
    }
    RoundReference::Key KeyOf(std::int32_t licence) const {
        const Licence& l = history->Licences()[static_cast<std::size_t>(licence)];
        const auto first = l.block.find_first_not_of(' ');
        return {l.market, first == std::string::npos
                              ? ""
                              : l.block.substr(first, l.block.find_last_not_of(' ') - first + 1)};
    }

    void ExpectChanges(const RoundReference& ref, int n, int m, bool net) {
        SCOPED_TRACE("since " + std::to_string(m));
        const RoundChanges c = ComputeChanges(*history, n, m, net ? Measure::Net : Measure::Gross);
        const auto before = ref.LeadsAfter(m, net), after = ref.LeadsAfter(n, net);
        std::size_t expected = 0;
        std::map<std::string, std::pair<int, int>> gainedLost;
        for (const auto& [key, now] : after) {
            const auto was = before.find(key);
            expected += was == before.end() || Lower(was->second.leader) != Lower(now.leader) ||
                        now.high > was->second.high;
            if (was == before.end() || Lower(was->second.leader) != Lower(now.leader)) {
                ++gainedLost[Lower(now.leader)].first;
                if (was != before.end()) ++gainedLost[Lower(was->second.leader)].second;
            }
        }
        ASSERT_EQ(c.rows.size(), expected);
        EXPECT_EQ(c.firstBids + c.newLeaders + c.higherBids, static_cast<int>(expected));
        for (const ChangeRow& row : c.rows) {
            const auto key = KeyOf(row.licence);
            const auto& now = after.at(key);
            EXPECT_DOUBLE_EQ(row.highNow, now.high);
            EXPECT_EQ(Name(row.leaderNow), Lower(now.leader));
            const auto was = before.find(key);
            if (was == before.end()) {
                EXPECT_EQ(row.kind, ChangeKind::FirstBid);
                EXPECT_FALSE(row.highBefore);
            } else {
                EXPECT_EQ(row.kind, Lower(was->second.leader) != Lower(now.leader) ? ChangeKind::NewLeader
                                                                                   : ChangeKind::HigherBid);
                EXPECT_DOUBLE_EQ(*row.highBefore, was->second.high);
                EXPECT_EQ(Name(row.leaderBefore), Lower(was->second.leader));
            }
        }
        EXPECT_NEAR(c.totalRise, ref.StandingAfter(n, net) - ref.StandingAfter(m, net), 1e-6);
        for (const BidderChange& b : c.bidders) {
            const auto gl = gainedLost[Name(b.bidder)];
            EXPECT_EQ(std::make_pair(b.gained, b.lost), gl) << Name(b.bidder);
        }
    }

    void ExpectEligibility(const RoundReference& ref, const RoundStandings& s) {
        const int n = s.round;
        const auto e = ComputeEligibility(*history, s);
        ASSERT_EQ(e.has_value(), ref.HasEligibility());
        if (!e) return;
        const std::vector<std::string> seen = ref.EligibilitySeen(n);
        ASSERT_EQ(e->rows.size(), seen.size());
        int stillIn = 0, outNow = 0;
        std::optional<double> total;
        for (const auto& [bidder, value] : ref.EligibilityIn(n))
            total = total.value_or(0) + value.value_or(0);
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const EligibilityRow& row = e->rows[i];
            const std::string& bidder = seen[i];
            SCOPED_TRACE(bidder);
            EXPECT_EQ(Name(row.bidder), Lower(bidder));
            EXPECT_EQ(row.eligibility, Value(ref, bidder, n));
            EXPECT_EQ(row.previous, Value(ref, bidder, n - 1));
            const std::string status = ref.Status(bidder, n);
            EXPECT_EQ(BidderStatusText(row.status), status);
            const bool out = status == "out" && ref.Status(bidder, n - 1) != "out";
            EXPECT_EQ(row.outThisRound, out);
            stillIn += status != "out";
            outNow += out;
        }
        EXPECT_EQ(e->stillIn, stillIn);
        EXPECT_EQ(e->outThisRound, outNow);
        ASSERT_EQ(e->total.has_value(), total.has_value());
        if (total) EXPECT_NEAR(*e->total, *total, 1e-6);
    }

    // Every figure of every round, against every earlier round, gross and net.
    void ExpectEveryRound(const std::string& path) {
        const LoadedAuction loaded = ReadAuctionFile(path);
        ASSERT_TRUE(loaded.history) << loaded.problem;
        history = loaded.history;
        const RoundReference ref = RoundReference::FromFile(path);
        const int last = loaded.rounds.back();
        for (bool net : {false, true}) {
            SCOPED_TRACE(net ? "net" : "gross");
            const Measure measure = net ? Measure::Net : Measure::Gross;
            const std::vector<PaceRow> pace = ComputePace(*history, measure, last);
            ASSERT_EQ(pace.size(), static_cast<std::size_t>(last));
            for (int n = 1; n <= last; ++n) {
                SCOPED_TRACE("round " + std::to_string(n));
                const PaceRow& p = pace[static_cast<std::size_t>(n - 1)];
                EXPECT_EQ(p.round, n);
                EXPECT_NEAR(p.standing, ref.StandingAfter(n, net), 1e-6);
                EXPECT_NEAR(p.change, ref.StandingAfter(n, net) - ref.StandingAfter(n - 1, net), 1e-6);
                EXPECT_EQ(p.bids, ref.BidsIn(n, net));
                EXPECT_EQ(p.licencesBid, ref.LicencesBidIn(n, net));
                EXPECT_EQ(p.licencesWithHigh, static_cast<int>(ref.LeadsAfter(n, net).size()));
                EXPECT_EQ(p.leaderChanges, ref.LeaderChanges(n, net));
                EXPECT_EQ(p.eligibility.has_value(), ref.HasEligibility() && !ref.EligibilityIn(n).empty());

                const RoundStandings s = ComputeRound(*history, n, measure);
                for (const MarketRow& row : s.markets) {
                    EXPECT_EQ(row.lastBid, ref.LastBid(KeyOf(row.licence), n, net));
                    EXPECT_EQ(row.stood, n - ref.LeadsAfter(n, net).at(KeyOf(row.licence)).since);
                }
                for (int m = 0; m < n; ++m) ExpectChanges(ref, n, m, net);
                if (!net) ExpectEligibility(ref, s);
            }
        }
    }

    std::shared_ptr<const BidHistory> history;
    TempFolder folder;
};

TEST_F(RoundChangesTest, FixtureAuctionWithTiesCaseNullsAndBiddersLeavingMatchesACount) {
    fixture::AuctionOptions o;
    o.rounds = 6;
    o.markets = 7;
    o.bidders = 6;
    o.bidsPerRound = 25;
    const std::string path = BuildAuctionDatabase(folder.Path(), o);
    const std::vector<std::string> names = fixture::BidderNames(o);
    const auto quoted = [](std::string name) {
        for (std::size_t i = name.find('\''); i != std::string::npos; i = name.find('\'', i + 2))
            name.insert(i, 1, '\'');
        return "'" + name + "'";
    };
    const std::string a = names[0], b = names[1], c = names[2];
    RunSqlite(
        path,
        "INSERT INTO [Markets and Bidders] (Round, Market, Block, [Bidder Name], [Bid Amount], "
        "[Net Bid Amount]) VALUES "
        "(1, 'ZZ Tie', '  ', 'Tie One', 5000, 4000), (1, 'ZZ Tie', '  ', 'Tie Two', 5000, 4500),"
        "(2, 'ZZ Tie', '  ', 'TIE TWO', 9000, 9000), (2, 'ZZ Tie', '  ', NULL, 9000, NULL),"
        "(3, 'ZZ Tie', '  ', 'tie two', 9500, 9600),"  // the leader raises its own bid
        "(4, 'ZZ Late', 'B', 'Tie One', 700, NULL), (3, 'ZZ Null', 'A', 'Tie One', NULL, 700);"
        // round 6 has no bids at all, and no eligibility rows
        "DELETE FROM [Markets and Bidders] WHERE Round = 6; DELETE FROM [Bidder Eligibility] WHERE Round = 6;"
        "UPDATE [Bidder Eligibility] SET [Bidder Name] = upper([Bidder Name]) WHERE Round = 2;"
        "UPDATE [Bidder Eligibility] SET Eligibility = 0 WHERE Round >= 3 AND [Bidder Name] = " +
            quoted(a) +
            ";"
            "UPDATE [Bidder Eligibility] SET Eligibility = Eligibility - 10 WHERE Round = 4 AND "
            "[Bidder Name] = " +
            quoted(c) +
            ";"
            "UPDATE [Bidder Eligibility] SET Eligibility = NULL WHERE Round = 5 AND [Bidder Name] = " +
            quoted(c) +
            ";"
            "DELETE FROM [Bidder Eligibility] WHERE Round >= 4 AND [Bidder Name] = " +
            quoted(b) + "");
    ExpectEveryRound(path);
    // The awkward cases are really there.
    const RoundReference ref = RoundReference::FromFile(path);
    EXPECT_EQ(ref.BidsIn(6, false), 0);
    EXPECT_EQ(ref.Status(a, 3), "out");
    EXPECT_EQ(ref.Status(b, 4), "out");
    EXPECT_EQ(ref.Status(c, 4), "reduced");
    EXPECT_EQ(ref.Status(b, 6), "out");
}

TEST_F(RoundChangesTest, JetSampleAuctionMatchesACount) {
    const std::string samples = std::string(CORVIDEL_SHARED_DIR) + "/jet-samples/auction";
    CORV_NEED_FILE(samples);
    ScriptedDesktop desktop;
    desktop.Install();
    const std::string batch = folder.File("batch");
    fs::create_directories(batch);
    for (int r = 1; r <= 6; ++r) {
        const std::string name = "31_00" + std::to_string(r) + ".mdb";
        fs::copy_file(samples + "/" + name, batch + "/" + name);
    }
    desktop.SetProgramFolder(folder.Path());
    desktop.OpenFile(batch + "/31_001.mdb");
    store::AuctionSession session;
    BatchImportAuction(session, {});
    ASSERT_NE(session.Current(), nullptr) << (desktop.boxes.empty() ? "" : desktop.LastBox().text);
    ASSERT_EQ(session.Current()->LastRound(), 6);
    ExpectEveryRound(session.Current()->Path());
}

TEST_F(RoundChangesTest, WithoutAnEligibilityTableEligibilityIsAbsentAndTheRestStands) {
    fixture::AuctionOptions o;
    const std::string path = BuildAuctionDatabase(folder.Path(), o);
    RunSqlite(path, "DROP TABLE [Bidder Eligibility]");
    ExpectEveryRound(path);
    EXPECT_TRUE(history->EligibilityTable().empty());
    EXPECT_FALSE(ComputePace(*history, Measure::Gross, 1)[0].eligibility);
}

}  // namespace
}  // namespace corv::test
