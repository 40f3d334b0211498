#include "overview/OverviewRoundFigures.h"

#include <algorithm>
#include <limits>

namespace corv::overview {

RoundFigures ComputeRoundFigures(const standings::BidHistory& history,
                                 const standings::RoundStandings& standings, int since) {
    RoundFigures f;
    const int round = standings.round;
    f.changes = ComputeChangesOf(history, round, since, standings.measure);
    if (std::optional<standings::EligibilityStandings> e =
            standings::ComputeEligibility(history, standings)) {
        f.eligibilityChart = EligibilityChartData(history, *e);
        f.eligibility = std::make_shared<const standings::EligibilityStandings>(std::move(*e));
    }
    auto pace = std::make_shared<const std::vector<standings::PaceRow>>(
        standings::ComputePace(history, standings.measure, round));
    f.paceChart = PaceChartData(*pace, standings.measure);
    f.pace = std::move(pace);
    return f;
}

std::shared_ptr<const standings::RoundChanges> ComputeChangesOf(const standings::BidHistory& history,
                                                                int round, int since,
                                                                standings::Measure measure) {
    return std::make_shared<const standings::RoundChanges>(
        standings::ComputeChanges(history, round, std::clamp(since, 0, std::max(round - 1, 0)), measure));
}

ChartData EligibilityChartData(const standings::BidHistory& history,
                               const standings::EligibilityStandings& eligibility) {
    const int rounds = eligibility.round;
    ChartData chart;
    chart.title = QStringLiteral("Eligibility after each round");
    chart.rounds = rounds;
    chart.amountTitle = "Eligibility";
    chart.legendAtRight = true;
    auto line = [&](const QString& name, const std::vector<std::optional<double>>& values) -> SeriesData& {
        SeriesData& s = chart.series.emplace_back();
        s.name = name;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i]) continue;
            s.points.append(QPointF(static_cast<double>(i + 1), *values[i]));
            chart.highestAmount = std::max(chart.highestAmount, *values[i]);
        }
        return s;
    };
    chart.series.reserve(kNamedBidders + 2);  // the references line() hands out stay good
    SeriesData& total = line("Total eligibility", standings::EligibilityTotals(history, rounds));
    total.color = Qt::black;
    total.lineWidth = 3;

    // The largest in the round shown first; a bidder without a figure in it last.
    std::vector<const standings::EligibilityRow*> order;
    for (const standings::EligibilityRow& r : eligibility.rows) order.push_back(&r);
    constexpr double kNone = -std::numeric_limits<double>::infinity();
    std::stable_sort(order.begin(), order.end(), [&](const auto* a, const auto* b) {
        return a->eligibility.value_or(kNone) > b->eligibility.value_or(kNone);
    });
    std::vector<std::optional<double>> others(static_cast<std::size_t>(std::max(rounds, 0)));
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::vector<std::optional<double>> values =
            standings::BidderEligibility(history, order[i]->bidder, rounds);
        if (i < kNamedBidders) {
            const std::string& name = history.Bidders()[static_cast<std::size_t>(order[i]->bidder)];
            SeriesData& s =
                line(name.empty() ? QStringLiteral("Unnamed bidder") : QString::fromStdString(name), values);
            // The theme's few colours repeat; hues a golden angle apart keep ten bidders apart.
            s.color = QColor::fromHsv(static_cast<int>(i * 137) % 360, 200, 210);
            s.lineWidth = 2;
            continue;
        }
        for (std::size_t r = 0; r < values.size() && r < others.size(); ++r)
            if (values[r]) others[r] = others[r].value_or(0) + *values[r];
    }
    if (order.size() > kNamedBidders) {
        SeriesData& rest = line("Others", others);
        rest.color = Qt::darkGray;
        rest.lineWidth = 2;
    }
    return chart;
}

ChartData PaceChartData(const std::vector<standings::PaceRow>& pace, standings::Measure measure) {
    ChartData chart;
    chart.title = QStringLiteral("Bids and growth of the standing total in each round (%1 amounts)")
                      .arg(measure == standings::Measure::Net ? "net" : "gross");
    chart.rounds = static_cast<int>(pace.size());
    chart.amountTitle = "Growth of the standing total (%)";
    chart.countTitle = "Bids";
    chart.series.reserve(2);
    SeriesData& bids = chart.series.emplace_back();
    bids.kind = SeriesData::Kind::Bars;
    bids.name = "Bids";
    bids.onCountAxis = true;
    bids.color = QColor(150, 180, 220);
    SeriesData& growth = chart.series.emplace_back();
    growth.name = "Growth of the standing total (%)";
    growth.color = Qt::black;
    growth.lineWidth = 2;
    for (const standings::PaceRow& r : pace) {
        bids.points.append(QPointF(r.round, r.bids));
        chart.highestCount = std::max(chart.highestCount, r.bids);
        if (!r.changePercent) continue;
        growth.points.append(QPointF(r.round, *r.changePercent));
        chart.highestAmount = std::max(chart.highestAmount, *r.changePercent);
    }
    // Small percentages keep their decimals on the axis.
    chart.amountDecimals = chart.highestAmount < 1 ? 2 : chart.highestAmount < 10 ? 1 : 0;
    return chart;
}

}  // namespace corv::overview
