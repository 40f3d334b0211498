// The follower's watch list: rules kept beside the auction in AUCTION.watch.json, weighed once for each
// imported round N against round N - 1, through this one code path in the program and in corvidel-report, so
// that a round's alerts are the same wherever and whenever they are computed. Alerts are kept in the
// auction's alert log beside it. No Qt; pure functions but for the file calls, run on any thread.
//
// The file, which a user may write by hand:
//   {"version": 1, "rules": [
//     {"market": "M001", "block": "A", "when": "new leader"},
//     {"market": "M002", "when": "new high bid"},
//     {"market": "M001", "block": "B", "when": "high bid reaches", "amount": 5000000},
//     {"market": "M003", "block": "C", "when": "rises", "percent": 10},
//     {"bidder": "O'Brien Wireless", "when": "gains or loses a lead"},
//     {"bidder": "Gamma PCS", "when": "eligibility falls"},
//     {"bidder": "Gamma PCS", "when": "drops out"},
//     {"when": "no new bids"},
//     {"when": "standing total reaches", "amount": 1000000000}
//   ]}
// A rule with a market and no block watches every block of the market: one alert for each block that fired.
// Markets are matched exactly, blocks with their surrounding blanks ignored ("" is a market sold whole),
// bidders without regard to letter case (folded as BidHistory folds them). A rule of a licence kind (the
// first four) needs "market" and may have "block"; a bidder kind (the next three) needs "bidder"; "no new
// bids" and "standing total reaches" take neither. "amount" (0 or more) goes with the two "reaches" kinds
// alone and "percent" (0 or more) with "rises" alone, and each is then needed. Any other key, or a key a
// rule's kind does not take, is a fault: a misspelt "blokc" never silently widens a rule.
//
// Weighing uses gross amounts and the standings core: ComputeRound(N) and ComputeRound(N - 1) (nothing held
// for round 1) and ComputeEligibility(N). A licence's high bid and leader are the core's (on a tie the
// earliest bid keeps the lead); a bid with no amount is no bid.
//
// Reading never writes: a file that cannot be used is left exactly as it is. Nothing here writes a file
// unless WriteWatchList or AppendAlertLog is called.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standings/BidHistory.h"

namespace corv::report {

enum class WatchWhen {
    NewLeader,       // "new leader": the licence's leader after N differs from after N - 1. Only a licence
                     // that had a leader after N - 1: a first bid on it in N is no new leader (it is a
                     // "new high bid").
    NewHighBid,      // "new high bid": its high bid was placed in round N (a first bid included)
    HighBidReaches,  // "high bid reaches" amount: >= amount after N, below it (or none) after N - 1
    Rises,           // "rises" percent: the high bid rose in N, by >= percent % of the high bid after N - 1,
                     // which must be above 0 (a first bid never rises)
    GainsOrLosesLead,  // "gains or loses a lead": the set of licences the bidder leads changed
    EligibilityFalls,  // "eligibility falls": the bidder's eligibility in N is lower than in N - 1, both
                       // known (a row with an amount in each round). A bidder that leaves the eligibility
                       // table (no row in N, a round the table has rows of) has no eligibility to compare:
                       // "drops out" tells of it.
    DropsOut,          // "drops out": its status became "out" in round N (was not out after N - 1): its
                       // eligibility in N is 0, or it has no row in N but had one before
    NoNewBids,         // "no new bids": round N holds no bid (no row of N with an amount)
    TotalReaches       // "standing total reaches" amount: as "high bid reaches", for the standing total (the
                       // sum of every high bid); "none" is no high bid anywhere after N - 1
};
// Every kind, in the order above (the order a dialog lists them in).
inline constexpr WatchWhen kWatchWhens[] = {
    WatchWhen::NewLeader, WatchWhen::NewHighBid,       WatchWhen::HighBidReaches,
    WatchWhen::Rises,     WatchWhen::GainsOrLosesLead, WatchWhen::EligibilityFalls,
    WatchWhen::DropsOut,  WatchWhen::NoNewBids,        WatchWhen::TotalReaches};
// The words of the file: "new leader", ...
const char* WatchWhenText(WatchWhen when);
// The kind those words name, exactly as WatchWhenText spells them; nullopt for any other text.
std::optional<WatchWhen> WatchWhenNamed(std::string_view text);

// What a kind of rule watches: a licence (needs "market", may have "block"), a bidder (needs "bidder") or the
// whole auction (neither).
enum class WatchSubject { Licence, Bidder, Auction };
WatchSubject SubjectOf(WatchWhen when);
bool NeedsAmount(WatchWhen when);   // the two "reaches"
bool NeedsPercent(WatchWhen when);  // "rises"

struct WatchRule {
    WatchWhen when = WatchWhen::NoNewBids;
    std::optional<std::string> market, block, bidder;
    std::optional<double> amount;   // "high bid reaches", "standing total reaches"
    std::optional<double> percent;  // "rises"
};

struct WatchList {
    std::vector<WatchRule> rules;
};

// A file that cannot be used: what is wrong, at which line (1-based; 0 when the whole file is at fault).
// A JSON syntax error is at the line of the byte the parser stopped at (the last line with text when the
// file ends too soon); a fault of a rule at the line its object opens on; a bad "version" or "rules" at the
// line of its value.
struct WatchListError {
    int line = 0;
    // "unknown \"when\": \"new leeder\" (rule 3)"; the "line 4: " before it is built by Describe().
    std::string message;
    // One sentence naming the file, the line and the fault:
    // "PATH cannot be used as a watch list: line 4: unknown \"when\": \"new leeder\" (rule 3)".
    std::string Describe(const std::string& path) const;
};

// AUCTION.watch.json and AUCTION.alerts.json beside an auction file (Auction14.mdb -> Auction14.watch.json).
std::string WatchListPath(const std::string& auctionPath);
std::string AlertLogPath(const std::string& auctionPath);

// nullopt when the file does not exist (an empty list); throws WatchListError when it cannot be used (a file
// that cannot be read included, at line 0). Never writes.
std::optional<WatchList> ReadWatchList(const std::string& path);
WatchList ParseWatchList(const std::string& text);  // throws WatchListError
// The documented form, one rule per line, keys in the order market, block, bidder, when, amount, percent, and
// only the keys the rule's kind takes:
//   {"version": 1, "rules": [
//     {"market": "M001", "block": "A", "when": "new leader"},
//     {"when": "no new bids"}
//   ]}
std::string WatchListJson(const WatchList& list);
// Written whole to a private (0600) temporary file beside path (a random name, created O_EXCL), synced, then
// renamed over it and the folder synced: a crash or a kill never leaves half a list, only the old list or the
// new one (and at worst a private ".NAME.*.tmp" beside it, removed by a later write once an hour old). An
// existing list keeps its permissions; a symbolic link is written through. A list whose JSON would not read
// back (a rule missing what its kind needs) is refused before anything is written. Throws std::runtime_error
// naming the file on failure.
void WriteWatchList(const std::string& path, const WatchList& list);

struct Alert {
    int rule = 0;      // the rule's index in the list
    int round = 0;     // N
    std::string text;  // one line a person reads at a glance:
                       // "M001 A: Beta Inc now leads at 4,400,000 (was Alpha LLC, 4,000,000)"
};
// The texts, by kind ("M001 A" is the market and its block without blanks; a market sold whole shows alone;
// amounts are grouped by thousands, with cents only when they have any; a bidder is named as first spelt;
// a control character in a name becomes a blank):
//   new leader        "M001 A: Beta Inc now leads at 4,400,000 (was Alpha LLC, 4,000,000)"
//   new high bid      "M002: new high bid 2,100,000 by Gamma PCS"
//   high bid reaches  "M001 B: high bid 5,100,000 reached 5,000,000"
//   rises             "M003 C: high bid rose 12.5% to 4,500,000 (was 4,000,000)"
//   gains or loses    "O'Brien Wireless now leads 3 licences (gained M001 A; lost M004)": the licences by
//                     market and block, at most five of each named, then "and N more"
//   eligibility falls "Gamma PCS: eligibility fell to 900,000 (was 1,000,000)"
//   drops out         "Gamma PCS dropped out"
//   no new bids       "Round 7: no new bids"
//   total reaches     "Standing total 1,020,000,000 reached 1,000,000,000"

// The alerts of round N (against N - 1; round 1 against nothing) under the gross measure, in rule order; a
// licence rule's alerts by market and block. A market or bidder the auction does not have fires nothing, and
// so do the bidder rules of "eligibility falls" and "drops out" in an auction without an eligibility table.
// Round N need not hold bids; N < 1 gives none. Under 50 ms at 1,000,000 bids.
std::vector<Alert> EvaluateWatchList(const WatchList& list, const standings::BidHistory& history, int round);

// The auction's alert log: every alert sent, with the time it was found, newest last in the file:
//   {"version": 1, "alerts": [
//     {"round": 7, "rule": 0, "time": "2026-12-01T14:03:22+01:00", "text": "M001 A: Beta Inc now leads ..."}
//   ]}
// It keeps the newest kAlertLogLimit alerts: an append past that drops the oldest.
struct LoggedAlert {
    Alert alert;
    std::string time;  // ISO 8601, local time with offset
};
inline constexpr std::size_t kAlertLogLimit = 1000;
// "2026-12-01T14:03:22+01:00": the local time of when, with its offset from UTC.
std::string AlertTime(std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
// Empty when missing; throws std::runtime_error naming the file and the line on a file that cannot be used.
// Never writes.
std::vector<LoggedAlert> ReadAlertLog(const std::string& path);
// Adds alerts to the log (the newest kAlertLogLimit kept), written atomically like the watch list: the old
// log or the new one, never half of one. Nothing is written for no alerts. A log that cannot be read is not
// overwritten: throws std::runtime_error, as on a failure to write. One writer at a time (the program).
void AppendAlertLog(const std::string& path, const std::vector<LoggedAlert>& alerts);

}  // namespace corv::report
