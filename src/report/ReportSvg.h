// A round-by-round chart as inline SVG for the report's page: one series over rounds 1 to N, its title and
// a sentence saying what it shows for those who cannot see it. Readable printed in black and white: each
// kind is told apart by its line style and markers, never by colour alone; nothing outside the page is
// referred to (no url(), no href). No Qt; pure functions, any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corv::report {

enum class ChartStyle {
    SolidLine,   // a solid line, round markers
    DashedLine,  // a dashed line, square markers
    Bars,        // solid bars with an outline
};

struct SvgChart {
    std::string id;     // unique in the page: the ids of its title and description derive from it
    std::string title;  // as given; escaped when written
    std::string what;   // the values' name in the description: "the standing total"
    ChartStyle style = ChartStyle::SolidLine;
    std::vector<std::optional<double>> values;  // index 0 is round 1; nullopt: no value for the round
};

// The description read out in place of the chart: the first and last values and the highest.
std::string ChartDescription(const SvgChart& chart);

// Appends <svg role="img" aria-labelledby=...> with <title> and <desc>.
void AppendChartSvg(std::string& out, const SvgChart& chart);

// 1,250,000 -> "1.25M"; for axis labels.
std::string CompactNumber(double value);

}  // namespace corv::report
