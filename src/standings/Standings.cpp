#include "standings/Standings.h"

#include <cmath>

#include "standings/StandingsWalk.h"

namespace corv::standings {

using walk::kNothing;
using walk::Lead;
using walk::Walk;

RoundStandings ComputeRound(const BidHistory& history, int round, Measure measure,
                            const LicenceSizes* sizes) {
    RoundStandings out;
    out.priced = sizes != nullptr;
    out.round = round;
    out.measure = measure;
    const std::size_t licences = history.Licences().size();
    std::vector<Lead> leads, before;
    std::vector<int> bidsOnLicence(licences, 0), lastBid(licences, 0);
    std::vector<BidderRow> bidders(history.Bidders().size());
    Walk(
        history, measure, round, leads,
        [&](int r, std::int32_t licence, std::int32_t bidder, double) {
            BidderRow& b = bidders[bidder];
            if (b.firstRound == 0) b.firstRound = r;
            b.lastRound = r;
            lastBid[licence] = r;
            if (r == round) {
                ++b.bids;
                ++bidsOnLicence[licence];
            }
        },
        kNothing,
        [&](int r) {
            if (r == round - 1) before = leads;
        });
    if (before.empty()) before.assign(licences, Lead{});
    // Held high bids and their MHz-pop, licences with market data alone.
    std::vector<double> pricedHeld(sizes ? bidders.size() : 0), bidderMhzPop(sizes ? bidders.size() : 0);
    double pricedHigh = 0, highMhzPop = 0;

    for (std::size_t i = 0; i < licences; ++i) {
        const Lead& now = leads[i];
        if (!now.Held()) continue;
        MarketRow row;
        row.licence = static_cast<std::int32_t>(i);
        row.high = now.high;
        row.leader = now.leader;
        row.since = now.since;
        row.bids = bidsOnLicence[i];
        row.newHigh = now.since == round;
        row.lastBid = lastBid[i];
        row.stood = round - now.since;
        if (before[i].Held()) {
            row.previous = before[i].high;
            row.leaderChanged = before[i].leader != now.leader;
            out.totals.change -= before[i].high;
        }
        out.totals.standing += now.high;
        out.totals.change += now.high;
        ++out.totals.withHigh;
        if (row.leaderChanged) ++out.totals.leaderChanges;
        BidderRow& b = bidders[now.leader];
        ++b.leads;
        b.held += now.high;
        if (sizes && i < sizes->mhzPop.size() && sizes->mhzPop[i] > 0) {
            const double size = sizes->mhzPop[i];
            row.pricePerMHzPop = now.high / size;
            pricedHigh += now.high;
            highMhzPop += size;
            pricedHeld[static_cast<std::size_t>(now.leader)] += now.high;
            bidderMhzPop[static_cast<std::size_t>(now.leader)] += size;
        }
        out.markets.push_back(row);
    }
    for (std::size_t i = 0; i < bidders.size(); ++i) {
        if (bidders[i].firstRound == 0) continue;
        bidders[i].bidder = static_cast<std::int32_t>(i);
        if (sizes && bidderMhzPop[i] > 0) bidders[i].pricePerMHzPop = pricedHeld[i] / bidderMhzPop[i];
        out.bidders.push_back(bidders[i]);
    }
    if (sizes) {
        if (highMhzPop > 0) out.totals.pricePerMHzPopWithHigh = pricedHigh / highMhzPop;
        if (sizes->allMhzPop > 0) out.totals.pricePerMHzPopAll = pricedHigh / sizes->allMhzPop;
    }
    return out;
}

std::vector<double> StandingTotals(const BidHistory& history, Measure measure, int lastRound) {
    std::vector<double> out;
    std::vector<Lead> leads;
    double total = 0;
    Walk(
        history, measure, lastRound, leads, kNothing,
        [&](const Lead& old, std::int32_t, std::int32_t, double a) {
            total += a - (old.Held() ? old.high : 0);
        },
        [&](int) { out.push_back(total); });
    return out;
}

MarketHistory ComputeMarketHistory(const BidHistory& history, std::int32_t licence, Measure measure,
                                   int lastRound) {
    MarketHistory out;
    std::vector<Lead> leads;
    Walk(
        history, measure, lastRound, leads,
        [&](int r, std::int32_t l, std::int32_t bidder, double a) {
            if (l == licence) out.bids.push_back({r, bidder, a});
        },
        kNothing,
        [&](int) {
            const Lead& lead = leads[licence];
            out.highAfter.push_back(lead.Held() ? std::optional<double>(lead.high) : std::nullopt);
        });
    return out;
}

BidderHistory ComputeBidderHistory(const BidHistory& history, std::int32_t bidder, Measure measure,
                                   int lastRound) {
    BidderHistory out;
    std::vector<Lead> leads;
    double held = 0;
    int count = 0;
    Walk(
        history, measure, lastRound, leads, kNothing,
        [&](const Lead& old, std::int32_t, std::int32_t by, double a) {
            if (old.Held() && old.leader == bidder) {
                held -= old.high;
                --count;
            }
            if (by == bidder) {
                held += a;
                ++count;
            }
        },
        [&](int) {
            out.heldAfter.push_back(held);
            out.leadsAfter.push_back(count);
        });
    return out;
}

}  // namespace corv::standings
