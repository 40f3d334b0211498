#include "standings/RoundChanges.h"

#include <cmath>

#include "standings/StandingsWalk.h"
#include "store/RoundTables.h"

namespace corv::standings {

using walk::kNothing;
using walk::Lead;
using walk::Walk;

const char* ChangeKindText(ChangeKind kind) {
    switch (kind) {
        case ChangeKind::FirstBid:
            return "first bid";
        case ChangeKind::NewLeader:
            return "new leader";
        case ChangeKind::HigherBid:
            return "higher bid";
    }
    return "";
}

const char* BidderStatusText(BidderStatus status) {
    switch (status) {
        case BidderStatus::Active:
            return "active";
        case BidderStatus::Reduced:
            return "reduced";
        case BidderStatus::Out:
            return "out";
    }
    return "";
}

RoundChanges ComputeChanges(const BidHistory& history, int round, int since, Measure measure) {
    RoundChanges out;
    out.round = round;
    out.since = since;
    std::vector<Lead> leads, before;
    Walk(history, measure, round, leads, kNothing, kNothing, [&](int r) {
        if (r == since) before = leads;
    });
    if (before.empty()) before.assign(leads.size(), Lead{});

    std::vector<BidderChange> bidders(history.Bidders().size());
    for (std::size_t i = 0; i < leads.size(); ++i) {
        const Lead& now = leads[i];
        const Lead& then = before[i];
        if (!now.Held()) continue;  // a high bid once placed is never lost
        ChangeRow row;
        row.licence = static_cast<std::int32_t>(i);
        row.leaderNow = now.leader;
        row.highNow = now.high;
        if (!then.Held()) {
            row.kind = ChangeKind::FirstBid;
            ++out.firstBids;
        } else if (then.leader != now.leader) {
            row.kind = ChangeKind::NewLeader;
            ++out.newLeaders;
        } else if (now.high > then.high) {
            row.kind = ChangeKind::HigherBid;
            ++out.higherBids;
        } else {
            continue;
        }
        if (then.Held()) {
            row.leaderBefore = then.leader;
            row.highBefore = then.high;
            if (then.high > 0) row.risePercent = (now.high - then.high) / then.high * 100;
            bidders[then.leader].heldChange -= then.high;
            if (then.leader != now.leader) ++bidders[then.leader].lost;
        }
        row.rise = now.high - (then.Held() ? then.high : 0);
        bidders[now.leader].heldChange += now.high;
        if (row.leaderBefore != now.leader) ++bidders[now.leader].gained;
        out.totalRise += row.rise;
        out.rows.push_back(row);
    }
    for (std::size_t b = 0; b < bidders.size(); ++b) {
        BidderChange& c = bidders[b];
        if (c.gained == 0 && c.lost == 0 && c.heldChange == 0) continue;
        c.bidder = static_cast<std::int32_t>(b);
        out.bidders.push_back(c);
    }
    return out;
}

// ---- eligibility ----

namespace {

// A bidder's row of one round: the first row when the table holds several.
struct Cell {
    bool row = false;
    double value = std::nan("");
    bool Known() const { return row && !std::isnan(value); }
};

std::vector<Cell> CellsOf(const BidHistory& history, int round) {
    std::vector<Cell> out(history.Bidders().size());
    const auto it = history.Eligibility().find(round);
    if (it == history.Eligibility().end()) return out;
    const RoundEligibility& e = *it->second;
    for (std::size_t i = 0; i < e.size(); ++i) {
        Cell& c = out[static_cast<std::size_t>(e.bidder[i])];
        if (!c.row) c = {true, e.eligibility[i]};
    }
    return out;
}

BidderStatus StatusOf(const Cell& now, const Cell& before, bool seenEarlier) {
    if (!now.row) return seenEarlier ? BidderStatus::Out : BidderStatus::Active;
    if (now.value == 0) return BidderStatus::Out;
    if (now.Known() && before.Known() && now.value < before.value) return BidderStatus::Reduced;
    return BidderStatus::Active;
}

std::optional<double> Total(const std::vector<Cell>& cells) {
    std::optional<double> total;
    for (const Cell& c : cells)
        if (c.row) total = total.value_or(0) + (c.Known() ? c.value : 0);
    return total;
}

}  // namespace

std::optional<EligibilityStandings> ComputeEligibility(const BidHistory& history,
                                                       const RoundStandings& standings) {
    if (history.EligibilityTable().empty()) return std::nullopt;
    const int n = standings.round;
    const std::size_t count = history.Bidders().size();
    std::vector<bool> seen(count, false);
    std::vector<std::int32_t> order;  // bidders as first seen in the table
    std::vector<BidderStatus> status(count, BidderStatus::Active), before = status;
    std::vector<Cell> back(count), now(count);
    for (int r = 1; r <= n; ++r) {
        back = std::move(now);
        now = CellsOf(history, r);
        before = status;
        // A round the table holds no row of says nothing of anyone: each bidder stands as the round before
        // left it.
        const auto rows = history.Eligibility().find(r);
        if (rows == history.Eligibility().end()) continue;
        for (std::size_t b = 0; b < count; ++b) status[b] = StatusOf(now[b], back[b], seen[b]);
        for (std::int32_t b : rows->second->bidder)
            if (!seen[static_cast<std::size_t>(b)]) {
                seen[static_cast<std::size_t>(b)] = true;
                order.push_back(b);
            }
    }

    std::vector<const BidderRow*> standing(count, nullptr);
    for (const BidderRow& b : standings.bidders) standing[static_cast<std::size_t>(b.bidder)] = &b;

    EligibilityStandings out;
    out.round = n;
    out.total = Total(now);
    if (n > 1) out.previousTotal = Total(back);
    for (std::int32_t b : order) {
        const auto i = static_cast<std::size_t>(b);
        EligibilityRow row;
        row.bidder = b;
        if (now[i].Known()) row.eligibility = now[i].value;
        if (back[i].Known()) row.previous = back[i].value;
        if (row.eligibility && row.previous) {
            row.change = *row.eligibility - *row.previous;
            if (*row.previous > 0) row.changePercent = *row.change / *row.previous * 100;
        }
        row.status = status[i];
        row.outThisRound = row.status == BidderStatus::Out && before[i] != BidderStatus::Out;
        if (const BidderRow* s = standing[i]) {
            row.leads = s->leads;
            row.held = s->held;
            row.bids = s->bids;
        }
        if (row.status != BidderStatus::Out) ++out.stillIn;
        if (row.outThisRound) ++out.outThisRound;
        out.rows.push_back(row);
    }
    return out;
}

std::vector<std::optional<double>> EligibilityTotals(const BidHistory& history, int lastRound) {
    std::vector<std::optional<double>> out(static_cast<std::size_t>(std::max(lastRound, 0)));
    if (history.EligibilityTable().empty()) return out;
    for (const auto& [r, rows] : history.Eligibility())
        if (r >= 1 && r <= lastRound) out[static_cast<std::size_t>(r - 1)] = Total(CellsOf(history, r));
    return out;
}

std::vector<std::optional<double>> BidderEligibility(const BidHistory& history, std::int32_t bidder,
                                                     int lastRound) {
    std::vector<std::optional<double>> out(static_cast<std::size_t>(std::max(lastRound, 0)));
    for (const auto& [r, rows] : history.Eligibility()) {
        if (r < 1 || r > lastRound) continue;
        for (std::size_t i = 0; i < rows->size(); ++i)
            if (rows->bidder[i] == bidder) {
                if (!std::isnan(rows->eligibility[i]))
                    out[static_cast<std::size_t>(r - 1)] = rows->eligibility[i];
                break;
            }
    }
    return out;
}

std::string NoEligibilityTableSentence() {
    return std::string(
               "This auction has no eligibility table: none of its supplied tables has the columns ") +
           store::kEligibilityColumns[0] + ", " + store::kEligibilityColumns[1] + " and " +
           store::kEligibilityColumns[2] + ".";
}

// ---- the pace ----

std::vector<PaceRow> ComputePace(const BidHistory& history, Measure measure, int lastRound) {
    std::vector<PaceRow> out;
    if (lastRound < 1) return out;
    out.resize(static_cast<std::size_t>(lastRound));
    const std::size_t licences = history.Licences().size();
    std::vector<int> bidIn(licences, 0);    // the last round with a bid on the licence
    std::vector<int> takenIn(licences, 0);  // the last round its lead was taken
    std::vector<std::int32_t> leaderAtStart(licences, -1);
    std::vector<std::int32_t> taken;  // licences whose lead was taken in the round walked
    std::vector<Lead> leads;
    double standing = 0;
    int withHigh = 0, current = 0;
    Walk(
        history, measure, lastRound, leads,
        [&](int r, std::int32_t licence, std::int32_t, double) {
            current = r;
            if (r < 1) return;
            PaceRow& row = out[static_cast<std::size_t>(r - 1)];
            ++row.bids;
            if (bidIn[licence] != r) {
                bidIn[licence] = r;
                ++row.licencesBid;
            }
        },
        [&](const Lead& old, std::int32_t licence, std::int32_t, double a) {
            standing += a - (old.Held() ? old.high : 0);
            if (!old.Held()) ++withHigh;
            // A lead taken several times in one round changes hands once at most: its leader at the round's
            // start is what the round's end is compared with.
            if (current >= 1 && takenIn[licence] != current) {
                takenIn[licence] = current;
                leaderAtStart[licence] = old.leader;
                taken.push_back(licence);
            }
        },
        [&](int r) {
            PaceRow& row = out[static_cast<std::size_t>(r - 1)];
            row.round = r;
            row.standing = standing;
            row.licencesWithHigh = withHigh;
            for (std::int32_t l : taken)
                if (leaderAtStart[l] >= 0 && leads[l].leader != leaderAtStart[l]) ++row.leaderChanges;
            taken.clear();
        });
    const std::vector<std::optional<double>> eligibility = EligibilityTotals(history, lastRound);
    double before = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        PaceRow& row = out[i];
        row.change = row.standing - before;
        if (before > 0) row.changePercent = row.change / before * 100;
        row.eligibility = eligibility[i];
        before = row.standing;
    }
    return out;
}

}  // namespace corv::standings
