// What moved between two rounds, each bidder's eligibility, and the auction's pace: pure functions of a
// BidHistory, run on whichever thread holds it, like ComputeRound.
//
// The standing high of a licence, its leader and "since" are those of ComputeRound: on a tie the earliest bid
// keeps the lead. Round 0 stands for "before the first round": nothing is held after it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standings/Standings.h"

namespace corv::standings {

// ---- changes between round M and round N ----

enum class ChangeKind {
    FirstBid,   // no high bid after M
    NewLeader,  // another bidder leads
    HigherBid   // the same leader, a higher amount
};
// "first bid", "new leader", "higher bid".
const char* ChangeKindText(ChangeKind kind);

struct ChangeRow {
    std::int32_t licence = 0;
    ChangeKind kind = ChangeKind::FirstBid;
    std::int32_t leaderBefore = -1;  // -1 for a first bid
    std::int32_t leaderNow = 0;
    std::optional<double> highBefore;  // nullopt for a first bid
    double highNow = 0;
    double rise = 0;                    // highNow less highBefore (all of highNow for a first bid)
    std::optional<double> risePercent;  // nullopt for a first bid, or when highBefore is 0
};

// Per bidder, among the licences whose standing differs.
struct BidderChange {
    std::int32_t bidder = 0;
    int gained = 0;         // leads it holds after N and did not after M
    int lost = 0;           // leads it held after M and does not after N
    double heldChange = 0;  // the sum of the high bids it holds after N less that after M
};

struct RoundChanges {
    int round = 0;                      // N
    int since = 0;                      // M, below N
    std::vector<ChangeRow> rows;        // licences in the order first bid on
    std::vector<BidderChange> bidders;  // bidders whose leads or held bids changed, in the order first seen
    int firstBids = 0, newLeaders = 0, higherBids = 0;
    double totalRise = 0;  // the standing total after N less that after M
};

// since < round; since 0 compares with nothing held.
RoundChanges ComputeChanges(const BidHistory& history, int round, int since, Measure measure);

// ---- eligibility ----

// A bidder's status after round N: "out" when its eligibility in N is 0 or it has no row in N but had one
// before; a round the table holds no row of leaves every status as the round before left it; "reduced" when
// its eligibility is lower than in N - 1; "active" otherwise.
enum class BidderStatus { Active, Reduced, Out };
const char* BidderStatusText(BidderStatus status);  // "active", "reduced", "out"

struct EligibilityRow {
    std::int32_t bidder = 0;              // in the history's numbering of bidders
    std::optional<double> eligibility;    // in round N; nullopt without a row, or a Null one
    std::optional<double> previous;       // in round N - 1, likewise
    std::optional<double> change;         // eligibility less previous, when both are known
    std::optional<double> changePercent;  // of previous, when it is above 0
    BidderStatus status = BidderStatus::Active;
    bool outThisRound = false;  // out after N and not after N - 1
    int leads = 0;              // the standings after N, as in the Bidders tab
    double held = 0;
    int bids = 0;  // in round N
};

struct EligibilityStandings {
    int round = 0;
    std::vector<EligibilityRow> rows;  // every bidder seen in the eligibility table up to N, first seen first
    std::optional<double> total;       // the eligibility of round N's rows; nullopt when it has none
    std::optional<double> previousTotal;  // of round N - 1's rows, likewise; nullopt for round 1
    int stillIn = 0;                      // bidders not out
    int outThisRound = 0;
};

// Null when the auction has no eligibility table (history.EligibilityTable() is empty).
std::optional<EligibilityStandings> ComputeEligibility(const BidHistory& history,
                                                       const RoundStandings& standings);

// The total eligibility of each round 1 to lastRound (index 0 is round 1); nullopt for a round without rows.
std::vector<std::optional<double>> EligibilityTotals(const BidHistory& history, int lastRound);

// One bidder's eligibility after each round 1 to lastRound; nullopt for a round without its row.
std::vector<std::optional<double>> BidderEligibility(const BidHistory& history, std::int32_t bidder,
                                                     int lastRound);

// The sentence shown where eligibility would be when the auction has no eligibility table.
std::string NoEligibilityTableSentence();

// ---- the pace ----

struct PaceRow {
    int round = 0;
    double standing = 0;                  // the standing total after the round
    double change = 0;                    // since the round before (all of it for round 1)
    std::optional<double> changePercent;  // nullopt when the total before was 0
    int bids = 0;                         // placed in the round
    int licencesBid = 0;                  // licences with a bid in the round
    int licencesWithHigh = 0;             // after the round
    int leaderChanges = 0;                // licences led by another bidder than after the round before
    std::optional<double> eligibility;    // the total; nullopt without an eligibility table or rows
    bool NoNewBids() const { return bids == 0; }
};

// Rounds 1 to lastRound, in order.
std::vector<PaceRow> ComputePace(const BidHistory& history, Measure measure, int lastRound);

}  // namespace corv::standings
