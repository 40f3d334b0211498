#include "report/ReportGrid.h"

namespace corv::report::detail {

namespace {

using standings::Licence;

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

class Names {
  public:
    explicit Names(const RoundReport& r) : h_(*r.history) {}
    const Licence& LicenceOf(std::int32_t licence) const {
        return h_.Licences()[static_cast<std::size_t>(licence)];
    }
    Cell Market(std::int32_t licence) const { return LicenceOf(licence).market; }
    Cell Block(std::int32_t licence) const { return Trimmed(LicenceOf(licence).block); }
    Cell Bidder(std::int32_t bidder) const {
        if (bidder < 0) return Null{};
        return h_.Bidders()[static_cast<std::size_t>(bidder)];
    }

  private:
    const standings::BidHistory& h_;
};

Cell Whole(long long v) {
    return v;
}
Cell AmountOr(const std::optional<double>& v) {
    return v ? Cell(Amount{*v}) : Cell(Null{});
}
Cell PriceOr(const std::optional<double>& v) {
    return v ? Cell(Price{*v}) : Cell(Null{});
}
constexpr Column kPriceColumn{"pricePerMHzPop", "$/MHz-pop", true};

Grid Markets(const RoundReport& r, const Names& n) {
    Grid g{{{"market", "Market"},
            {"block", "Block"},
            {"high", "High bid"},
            {"leader", "Leader"},
            {"since", "Since"},
            {"previous", "Previous"},
            {"bids", "Bids"},
            {"leaderChanged", "New leader"},
            {"newHigh", "New high"},
            {"lastBid", "Last bid"},
            {"stood", "Stood"},
            kPriceColumn},
           {}};
    for (const auto& m : r.standings.markets)
        g.rows.push_back({n.Market(m.licence), n.Block(m.licence), Amount{m.high}, n.Bidder(m.leader),
                          Whole(m.since), AmountOr(m.previous), Whole(m.bids), m.leaderChanged, m.newHigh,
                          Whole(m.lastBid), Whole(m.stood), PriceOr(m.pricePerMHzPop)});
    return g;
}

Grid Bidders(const RoundReport& r, const Names& n) {
    Grid g{{{"bidder", "Bidder"},
            {"leads", "Leads"},
            {"held", "Held"},
            {"bids", "Bids"},
            {"firstRound", "First round"},
            {"lastRound", "Last round"},
            kPriceColumn},
           {}};
    for (const auto& b : r.standings.bidders)
        g.rows.push_back({n.Bidder(b.bidder), Whole(b.leads), Amount{b.held}, Whole(b.bids),
                          Whole(b.firstRound), Whole(b.lastRound), PriceOr(b.pricePerMHzPop)});
    return g;
}

Grid Changes(const RoundReport& r, const Names& n) {
    Grid g{{{"market", "Market"},
            {"block", "Block"},
            {"kind", "Change"},
            {"leaderBefore", "Leader before"},
            {"leaderNow", "Leader now"},
            {"highBefore", "High before"},
            {"highNow", "High now"}},
           {}};
    for (const auto& c : r.changes.rows)
        g.rows.push_back({n.Market(c.licence), n.Block(c.licence),
                          std::string(standings::ChangeKindText(c.kind)), n.Bidder(c.leaderBefore),
                          n.Bidder(c.leaderNow), AmountOr(c.highBefore), Amount{c.highNow}});
    return g;
}

Grid Eligibility(const standings::EligibilityStandings& e, const Names& n) {
    Grid g{{{"bidder", "Bidder"},
            {"eligibility", "Eligibility"},
            {"previous", "Previous"},
            {"change", "Change"},
            {"status", "Status"}},
           {}};
    for (const auto& row : e.rows)
        g.rows.push_back({n.Bidder(row.bidder), AmountOr(row.eligibility), AmountOr(row.previous),
                          AmountOr(row.change), std::string(standings::BidderStatusText(row.status))});
    return g;
}

Grid Rounds(const RoundReport& r) {
    Grid g{{{"round", "Round"},
            {"standing", "Standing"},
            {"change", "Change"},
            {"bids", "Bids"},
            {"licencesBid", "Licences bid"},
            {"licencesWithHigh", "With a high bid"},
            {"leaderChanges", "Leader changes"},
            {"eligibility", "Eligibility"}},
           {}};
    for (const auto& p : r.pace)
        g.rows.push_back({Whole(p.round), Amount{p.standing}, Amount{p.change}, Whole(p.bids),
                          Whole(p.licencesBid), Whole(p.licencesWithHigh), Whole(p.leaderChanges),
                          AmountOr(p.eligibility)});
    return g;
}

}  // namespace

std::vector<Total> TotalsOf(const RoundReport& r) {
    const ReportTotals& t = r.totals;
    const std::string after = " after round ";
    std::vector<Total> out = {
        {"standing", "Standing total" + after + std::to_string(r.round), Amount{t.standing}},
        {"previous", "Standing total" + after + std::to_string(r.since), Amount{t.previous}},
        {"change", "Change", Amount{t.change}},
        {"licencesWithHigh", "Licences with a high bid", Whole(t.licencesWithHigh)},
        {"bidsInRound", "Bids in round " + std::to_string(r.round), Whole(t.bidsInRound)},
        {"leaderChanges", "Leader changes since round " + std::to_string(r.since), Whole(t.leaderChanges)}};
    const standings::Totals& s = r.standings.totals;
    if (r.marketData) {
        out.push_back({"withHigh", "$/MHz-pop, licences with a high bid", PriceOr(s.pricePerMHzPopWithHigh),
                       kPriceColumn.key});
        out.push_back({"all", "$/MHz-pop, every licence in the market data", PriceOr(s.pricePerMHzPopAll),
                       kPriceColumn.key});
    } else {
        out.push_back({kPriceColumn.key, "$/MHz-pop", Null{}});
    }
    return out;
}

std::optional<Grid> GridOf(const RoundReport& r, Table table) {
    const Names n(r);
    switch (table) {
        case Table::Markets:
            return Markets(r, n);
        case Table::Bidders:
            return Bidders(r, n);
        case Table::Changes:
            return Changes(r, n);
        case Table::Eligibility:
            if (!r.eligibility) return std::nullopt;
            return Eligibility(*r.eligibility, n);
        case Table::Rounds:
            return Rounds(r);
    }
    return std::nullopt;
}

}  // namespace corv::report::detail
