// What the Changes, Eligibility and Rounds tabs show for one round, their charts' content included: plain
// values computed together on a worker from the shared read-only BidHistory, then handed over whole.
#pragma once

#include <memory>
#include <vector>

#include "overview/OverviewCharts.h"
#include "standings/RoundChanges.h"

namespace corv::overview {

struct RoundFigures {
    std::shared_ptr<const standings::RoundChanges> changes;
    std::shared_ptr<const standings::EligibilityStandings> eligibility;  // null without an eligibility table
    ChartData eligibilityChart;
    std::shared_ptr<const std::vector<standings::PaceRow>> pace;
    ChartData paceChart;
};

// The charts name this many bidders; the rest are summed as one line.
constexpr std::size_t kNamedBidders = 10;

// standings is the round shown; since is the round the Changes tab compares it with.
RoundFigures ComputeRoundFigures(const standings::BidHistory& history,
                                 const standings::RoundStandings& standings, int since);
std::shared_ptr<const standings::RoundChanges> ComputeChangesOf(const standings::BidHistory& history,
                                                                int round, int since,
                                                                standings::Measure measure);

// The total eligibility after each round 1 to eligibility.round and each bidder's: the largest
// kNamedBidders in that round by name, the others summed as "Others".
ChartData EligibilityChartData(const standings::BidHistory& history,
                               const standings::EligibilityStandings& eligibility);
// Bids in each round as bars on the count axis, and the growth of the standing total in percent.
ChartData PaceChartData(const std::vector<standings::PaceRow>& pace, standings::Measure measure);

}  // namespace corv::overview
