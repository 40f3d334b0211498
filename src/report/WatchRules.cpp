// Weighing the watch list's rules for round N against round N - 1, and the text of each alert.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "engine/functions/JetFunctions.h"
#include "report/WatchList.h"
#include "standings/RoundChanges.h"

namespace corv::report {

namespace st = standings;

namespace {

std::string_view Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A name in one line: a control character (a tab, a line break) becomes a blank.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return s;
}

// Thousands grouped; cents only when the amount has any.
std::string Amount(double value) {
    if (!std::isfinite(value)) return "-";
    const double cents = std::round(std::fabs(value) * 100);
    const double whole = std::floor(cents / 100);
    const int fraction = static_cast<int>(cents - whole * 100);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", whole);
    std::string digits = buffer;
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    if (fraction != 0) {
        std::snprintf(buffer, sizeof buffer, ".%02d", fraction);
        digits += buffer;
    }
    return (value < 0 && cents != 0 ? "-" : "") + digits;
}

// One decimal, none when it is 0: "12.5", "10".
std::string Percent(double value) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    std::string text = buffer;
    if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
    return text;
}

// The licences a licence rule watches and the standings it is weighed on.
struct Weighing {
    const st::BidHistory& history;
    int round = 0;
    st::RoundStandings now, before;                     // before: round N - 1, nothing held for round 1
    std::vector<const st::MarketRow*> nowOf, beforeOf;  // by licence; null when not held
    std::unordered_map<std::string_view, std::vector<std::int32_t>> licencesOf;  // by market
    std::unordered_map<std::string, std::int32_t> bidderOf;                      // by folded name
    std::optional<st::EligibilityStandings> eligibility;
    bool haveEligibility = false;

    Weighing(const st::BidHistory& h, int n) : history(h), round(n) {}

    std::string Licence(std::int32_t licence) const {
        const st::Licence& l = history.Licences()[static_cast<std::size_t>(licence)];
        const std::string_view block = Trimmed(l.block);
        return OneLine(block.empty() ? l.market : l.market + " " + std::string(block));
    }
    std::string Bidder(std::int32_t bidder) const {
        const std::string& name = history.Bidders()[static_cast<std::size_t>(bidder)];
        return name.empty() ? "(no name)" : OneLine(name);
    }

    // The licences of the rule's market (and block), by market and block.
    std::vector<std::int32_t> Licences(const WatchRule& rule) const {
        std::vector<std::int32_t> out;
        if (!rule.market) return out;
        const auto it = licencesOf.find(*rule.market);
        if (it == licencesOf.end()) return out;
        const std::optional<std::string_view> block =
            rule.block ? std::optional<std::string_view>(Trimmed(*rule.block)) : std::nullopt;
        for (std::int32_t l : it->second)
            if (!block || Trimmed(history.Licences()[static_cast<std::size_t>(l)].block) == *block)
                out.push_back(l);
        return out;
    }
    std::optional<std::int32_t> BidderOf(const WatchRule& rule) const {
        if (!rule.bidder) return std::nullopt;
        const auto it = bidderOf.find(JetLowerText(*rule.bidder));
        return it == bidderOf.end() ? std::nullopt : std::optional<std::int32_t>(it->second);
    }
    const st::EligibilityRow* EligibilityOf(std::int32_t bidder) const {
        if (!eligibility) return nullptr;
        for (const st::EligibilityRow& row : eligibility->rows)
            if (row.bidder == bidder) return &row;
        return nullptr;
    }
};

std::vector<const st::MarketRow*> ByLicence(const st::RoundStandings& s, std::size_t licences) {
    std::vector<const st::MarketRow*> out(licences, nullptr);
    for (const st::MarketRow& row : s.markets) out[static_cast<std::size_t>(row.licence)] = &row;
    return out;
}

// "M001 A, M002 and 3 more": at most five named.
std::string LicenceList(const Weighing& w, const std::vector<std::int32_t>& licences) {
    constexpr std::size_t kNamed = 5;
    std::string out;
    for (std::size_t i = 0; i < licences.size() && i < kNamed; ++i)
        out += (i ? ", " : "") + w.Licence(licences[i]);
    if (licences.size() > kNamed) out += " and " + std::to_string(licences.size() - kNamed) + " more";
    return out;
}

void SortByName(const Weighing& w, std::vector<std::int32_t>& licences) {
    const auto& all = w.history.Licences();
    std::sort(licences.begin(), licences.end(), [&](std::int32_t a, std::int32_t b) {
        const st::Licence& x = all[static_cast<std::size_t>(a)];
        const st::Licence& y = all[static_cast<std::size_t>(b)];
        if (x.market != y.market) return x.market < y.market;
        const auto bx = Trimmed(x.block), by = Trimmed(y.block);
        return bx != by ? bx < by : a < b;
    });
}

// The text of a licence rule that fired on a licence, or nothing.
std::optional<std::string> LicenceAlert(const Weighing& w, const WatchRule& rule, std::int32_t licence) {
    const st::MarketRow* now = w.nowOf[static_cast<std::size_t>(licence)];
    if (!now) return std::nullopt;
    const st::MarketRow* before = w.beforeOf[static_cast<std::size_t>(licence)];
    const std::string name = w.Licence(licence);
    switch (rule.when) {
        case WatchWhen::NewLeader:
            if (!before || before->leader == now->leader) return std::nullopt;
            return name + ": " + w.Bidder(now->leader) + " now leads at " + Amount(now->high) + " (was " +
                   w.Bidder(before->leader) + ", " + Amount(before->high) + ")";
        case WatchWhen::NewHighBid:
            if (now->since != w.round) return std::nullopt;
            return name + ": new high bid " + Amount(now->high) + " by " + w.Bidder(now->leader);
        case WatchWhen::HighBidReaches: {
            const double amount = rule.amount.value_or(0);
            if (!(now->high >= amount) || (before && !(before->high < amount))) return std::nullopt;
            return name + ": high bid " + Amount(now->high) + " reached " + Amount(amount);
        }
        case WatchWhen::Rises: {
            if (!before || !(before->high > 0) || !(now->high > before->high)) return std::nullopt;
            // Multiplied out, so that 4,400,000 over 4,000,000 is 10% exactly.
            const double rise = now->high - before->high;
            if (!(rise * 100 >= rule.percent.value_or(0) * before->high)) return std::nullopt;
            return name + ": high bid rose " + Percent(rise / before->high * 100) + "% to " +
                   Amount(now->high) + " (was " + Amount(before->high) + ")";
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::string> BidderAlert(const Weighing& w, const WatchRule& rule, std::int32_t bidder) {
    const std::string name = w.Bidder(bidder);
    switch (rule.when) {
        case WatchWhen::GainsOrLosesLead: {
            std::vector<std::int32_t> gained, lost;
            int leads = 0;
            for (std::size_t l = 0; l < w.nowOf.size(); ++l) {
                const bool ledNow = w.nowOf[l] && w.nowOf[l]->leader == bidder;
                const bool ledBefore = w.beforeOf[l] && w.beforeOf[l]->leader == bidder;
                leads += ledNow;
                if (ledNow && !ledBefore) gained.push_back(static_cast<std::int32_t>(l));
                if (ledBefore && !ledNow) lost.push_back(static_cast<std::int32_t>(l));
            }
            if (gained.empty() && lost.empty()) return std::nullopt;
            SortByName(w, gained);
            SortByName(w, lost);
            std::string text =
                name + " now leads " +
                (leads == 0 ? std::string("no licence")
                            : std::to_string(leads) + (leads == 1 ? " licence" : " licences")) +
                " (";
            if (!gained.empty()) text += "gained " + LicenceList(w, gained);
            if (!lost.empty())
                text += std::string(gained.empty() ? "" : "; ") + "lost " + LicenceList(w, lost);
            return text + ")";
        }
        case WatchWhen::EligibilityFalls: {
            const st::EligibilityRow* row = w.EligibilityOf(bidder);
            if (!row || !row->eligibility || !row->previous || !(*row->eligibility < *row->previous))
                return std::nullopt;
            return name + ": eligibility fell to " + Amount(*row->eligibility) + " (was " +
                   Amount(*row->previous) + ")";
        }
        case WatchWhen::DropsOut: {
            const st::EligibilityRow* row = w.EligibilityOf(bidder);
            if (!row || !row->outThisRound) return std::nullopt;
            return name + " dropped out";
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::string> AuctionAlert(const Weighing& w, const WatchRule& rule) {
    switch (rule.when) {
        case WatchWhen::NoNewBids: {
            for (const st::BidderRow& b : w.now.bidders)
                if (b.bids > 0) return std::nullopt;
            return "Round " + std::to_string(w.round) + ": no new bids";
        }
        case WatchWhen::TotalReaches: {
            const double amount = rule.amount.value_or(0);
            const double total = w.now.totals.standing;
            const bool heldBefore = w.before.totals.withHigh > 0;
            if (w.now.totals.withHigh == 0 || !(total >= amount) ||
                (heldBefore && !(w.before.totals.standing < amount)))
                return std::nullopt;
            return "Standing total " + Amount(total) + " reached " + Amount(amount);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

std::vector<Alert> EvaluateWatchList(const WatchList& list, const st::BidHistory& history, int round) {
    std::vector<Alert> alerts;
    if (list.rules.empty() || round < 1) return alerts;

    // Only what the rules ask for is computed: the standings of both rounds (one walk each), the eligibility
    // when a bidder's eligibility is watched.
    Weighing w(history, round);
    w.now = st::ComputeRound(history, round, st::Measure::Gross);
    if (round > 1) w.before = st::ComputeRound(history, round - 1, st::Measure::Gross);
    w.before.round = round - 1;
    const std::size_t licences = history.Licences().size();
    w.nowOf = ByLicence(w.now, licences);
    w.beforeOf = ByLicence(w.before, licences);
    bool bidderRules = false, eligibilityRules = false;
    for (const WatchRule& r : list.rules) {
        bidderRules |= SubjectOf(r.when) == WatchSubject::Bidder;
        eligibilityRules |= r.when == WatchWhen::EligibilityFalls || r.when == WatchWhen::DropsOut;
    }
    for (std::size_t l = 0; l < licences; ++l)
        w.licencesOf[history.Licences()[l].market].push_back(static_cast<std::int32_t>(l));
    if (bidderRules)
        for (std::size_t b = 0; b < history.Bidders().size(); ++b)
            w.bidderOf.emplace(JetLowerText(history.Bidders()[b]), static_cast<std::int32_t>(b));
    if (eligibilityRules) w.eligibility = st::ComputeEligibility(history, w.now);

    for (std::size_t i = 0; i < list.rules.size(); ++i) {
        const WatchRule& rule = list.rules[i];
        const auto add = [&](std::string text) {
            alerts.push_back({static_cast<int>(i), round, std::move(text)});
        };
        switch (SubjectOf(rule.when)) {
            case WatchSubject::Licence: {
                std::vector<std::int32_t> watched = w.Licences(rule);
                SortByName(w, watched);
                for (std::int32_t l : watched)
                    if (auto text = LicenceAlert(w, rule, l)) add(std::move(*text));
                break;
            }
            case WatchSubject::Bidder:
                if (const auto bidder = w.BidderOf(rule))
                    if (auto text = BidderAlert(w, rule, *bidder)) add(std::move(*text));
                break;
            case WatchSubject::Auction:
                if (auto text = AuctionAlert(w, rule)) add(std::move(*text));
                break;
        }
    }
    return alerts;
}

}  // namespace corv::report
