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
// A rule with a market and no block watches every block of the market. Blocks are matched with their
// surrounding blanks ignored, bidders without regard to letter case.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standings/BidHistory.h"

namespace corv::report {

enum class WatchWhen {
    NewLeader,         // "new leader": the licence's leader after N differs from after N - 1
    NewHighBid,        // "new high bid": its high bid was placed in round N
    HighBidReaches,    // "high bid reaches" amount: >= amount after N, below it (or none) after N - 1
    Rises,             // "rises" percent: the high bid rose by >= percent % since N - 1
    GainsOrLosesLead,  // "gains or loses a lead": the set of licences the bidder leads changed
    EligibilityFalls,  // "eligibility falls": the bidder's eligibility is lower than in N - 1
    DropsOut,          // "drops out": its status became "out" in round N
    NoNewBids,         // "no new bids": round N holds no bid
    TotalReaches       // "standing total reaches" amount: as "high bid reaches", for the standing total
};
// The words of the file: "new leader", ...
const char* WatchWhenText(WatchWhen when);

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
struct WatchListError {
    int line = 0;
    std::string message;  // "line 4: unknown \"when\": \"new leeder\"" is built by Describe()
    std::string Describe(const std::string& path) const;
};

// AUCTION.watch.json and AUCTION.alerts.json beside an auction file (Auction14.mdb -> Auction14.watch.json).
std::string WatchListPath(const std::string& auctionPath);
std::string AlertLogPath(const std::string& auctionPath);

// nullopt when the file does not exist (an empty list); throws WatchListError when it cannot be used.
std::optional<WatchList> ReadWatchList(const std::string& path);
WatchList ParseWatchList(const std::string& text);  // throws WatchListError
std::string WatchListJson(const WatchList& list);
// Written whole to a private temporary file beside path, then renamed over it: a crash never leaves half a
// list. Throws std::runtime_error naming the file on failure.
void WriteWatchList(const std::string& path, const WatchList& list);

struct Alert {
    int rule = 0;      // the rule's index in the list
    int round = 0;     // N
    std::string text;  // one line a person reads at a glance:
                       // "M001 A: Beta Inc now leads at 4,400,000 (was Alpha LLC, 4,000,000)"
};

// The alerts of round N (against N - 1; round 1 against nothing) under the gross measure, in rule order.
std::vector<Alert> EvaluateWatchList(const WatchList& list, const standings::BidHistory& history, int round);

// The auction's alert log: every alert sent, with the time it was found, newest last in the file.
struct LoggedAlert {
    Alert alert;
    std::string time;  // ISO 8601, local time with offset
};
std::vector<LoggedAlert> ReadAlertLog(const std::string& path);  // empty when missing; throws on a bad file
// Adds alerts to the log, written atomically like the watch list.
void AppendAlertLog(const std::string& path, const std::vector<LoggedAlert>& alerts);

}  // namespace corv::report
