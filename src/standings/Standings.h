// Standings computed from a BidHistory: pure functions, run on whichever thread holds the history.
//
// A market and block's high bid after round N is the highest amount bid on it in rounds 1 to N; on a tie the
// earliest bid keeps it. A Null amount is no bid.
#pragma once

#include <optional>
#include <vector>

#include "standings/BidHistory.h"
#include "standings/MarketData.h"

namespace corv::standings {

struct MarketRow {
    std::int32_t licence = 0;
    double high = 0;
    std::int32_t leader = 0;  // bidder index
    int since = 0;            // the round of the high bid
    std::optional<double> previous;
    int bids = 0;                          // in round N
    bool newHigh = false;                  // the high bid was placed in round N
    bool leaderChanged = false;            // another bidder led after round N - 1
    int lastBid = 0;                       // the latest round up to N with a bid on the licence
    int stood = 0;                         // N less since: how long the high bid has stood
    std::optional<double> pricePerMHzPop;  // nullopt without market data for the licence
};

struct BidderRow {
    std::int32_t bidder = 0;
    int leads = 0;
    double held = 0;  // the sum of the high bids it holds
    int bids = 0;     // in round N
    int firstRound = 0;
    int lastRound = 0;  // of rounds 1 to N
    // The high bids it holds over their MHz-pop, both sums over the licences with market data alone;
    // nullopt when none of its has any.
    std::optional<double> pricePerMHzPop;
};

struct Totals {
    double standing = 0;  // the sum of every high bid
    double change = 0;    // since round N - 1
    int withHigh = 0;
    int leaderChanges = 0;
    // Each a sum over a sum, never an average of ratios. withHigh: the high bids over the MHz-pop of the
    // licences with a high bid and market data. all: the same high bids over the MHz-pop of every licence
    // the market data gives, those without a high bid counting 0. nullopt where the divisor is 0.
    std::optional<double> pricePerMHzPopWithHigh, pricePerMHzPopAll;
};

struct RoundStandings {
    int round = 0;
    Measure measure = Measure::Gross;
    std::vector<MarketRow> markets;  // in the order the licences were first bid on
    std::vector<BidderRow> bidders;  // in the order the bidders first bid
    Totals totals;
    bool priced = false;  // sizes were given: the $/MHz-pop figures are computed
};

// sizes: the market data laid over history (SizeLicences), or null for no $/MHz-pop figures.
RoundStandings ComputeRound(const BidHistory& history, int round, Measure measure,
                            const LicenceSizes* sizes = nullptr);

// The standing total after each round 1 to lastRound (index 0 is round 1).
std::vector<double> StandingTotals(const BidHistory& history, Measure measure, int lastRound);

struct PlacedBid {
    int round = 0;
    std::int32_t bidder = 0;
    double amount = 0;
};
struct MarketHistory {
    std::vector<std::optional<double>> highAfter;  // index 0 is round 1; nullopt before the first bid
    std::vector<PlacedBid> bids;
};
MarketHistory ComputeMarketHistory(const BidHistory& history, std::int32_t licence, Measure measure,
                                   int lastRound);

struct BidderHistory {
    std::vector<double> heldAfter;  // index 0 is round 1
    std::vector<int> leadsAfter;
};
BidderHistory ComputeBidderHistory(const BidHistory& history, std::int32_t bidder, Measure measure,
                                   int lastRound);

}  // namespace corv::standings
