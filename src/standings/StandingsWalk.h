// The one walk over the bids that every figure of the standings is computed from. Internal to the core.
#pragma once

#include <cmath>
#include <vector>

#include "standings/BidHistory.h"

namespace corv::standings::walk {

struct Lead {
    double high = std::nan("");
    std::int32_t leader = -1;
    int since = 0;
    bool Held() const { return leader >= 0; }
};

// Walks the bids of rounds up to last in order. onBid sees every bid that has an amount; onTake sees the
// lead before a bid takes it (strictly higher only: an equal later bid leaves the earlier one leading);
// onRoundEnd runs after each round 1..last, rounds without bids included.
template <class OnBid, class OnTake, class OnRoundEnd>
void Walk(const BidHistory& history, Measure measure, int last, std::vector<Lead>& leads, OnBid onBid,
          OnTake onTake, OnRoundEnd onRoundEnd) {
    leads.assign(history.Licences().size(), Lead{});
    int ended = 0;
    for (const auto& [round, bids] : history.Rounds()) {
        if (round > last) break;
        for (; ended + 1 < round; ++ended) onRoundEnd(ended + 1);
        const std::vector<double>& amounts = bids->Amounts(measure);
        const std::size_t n = amounts.size();
        for (std::size_t i = 0; i < n; ++i) {
            const double a = amounts[i];
            if (std::isnan(a)) continue;
            const std::int32_t licence = bids->licence[i], bidder = bids->bidder[i];
            onBid(round, licence, bidder, a);
            Lead& lead = leads[licence];
            if (!lead.Held() || a > lead.high) {
                onTake(lead, licence, bidder, a);
                lead = {a, bidder, round};
            }
        }
        if (round >= 1) onRoundEnd(ended = round);
    }
    for (; ended < last; ++ended) onRoundEnd(ended + 1);
}

inline constexpr auto kNothing = [](auto&&...) {};

}  // namespace corv::standings::walk
