#include "report/ReportSvg.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "report/ReportHtml.h"

namespace corv::report {

namespace {

// The drawing's own units; the page scales it to its width.
constexpr double kWidth = 760, kHeight = 280;
constexpr double kLeft = 70, kRight = 16, kTop = 14, kBottom = 46;
constexpr double kPlotWidth = kWidth - kLeft - kRight, kPlotHeight = kHeight - kTop - kBottom;
// Beyond this many rounds the markers would run into one another: the line style alone tells the kind.
constexpr std::size_t kMostMarkers = 60;

std::string Fixed(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", v);
    return buffer;
}

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
    if (!(raw > 0)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) return m * power;
    return 10 * power;
}

struct Scale {
    double top = 1, step = 1;
    double Y(double v) const { return kTop + kPlotHeight * (1 - v / top); }
};

Scale ScaleOf(const std::vector<std::optional<double>>& values) {
    double highest = 0;
    for (const auto& v : values)
        if (v) highest = std::max(highest, *v);
    Scale s;
    s.step = NiceStep(highest / 4);
    s.top = std::max(s.step, std::ceil(highest / s.step) * s.step);
    return s;
}

// The centre of round i's place (0-based) across the plot.
double X(std::size_t i, std::size_t n, bool bars) {
    if (bars) return kLeft + kPlotWidth * (static_cast<double>(i) + 0.5) / static_cast<double>(n);
    if (n == 1) return kLeft + kPlotWidth / 2;
    return kLeft + kPlotWidth * static_cast<double>(i) / static_cast<double>(n - 1);
}

void Axes(std::string& out, const Scale& s, std::size_t n, bool bars) {
    out += "<g class=\"axis\">";
    for (double v = 0; v <= s.top + s.step / 2; v += s.step) {
        const std::string y = Fixed(s.Y(v));
        out += "<line x1=\"" + Fixed(kLeft) + "\" x2=\"" + Fixed(kLeft + kPlotWidth) + "\" y1=\"" + y +
               "\" y2=\"" + y + "\" class=\"grid\"/>";
        out += "<text x=\"" + Fixed(kLeft - 6) + "\" y=\"" + Fixed(s.Y(v) + 4) + "\" text-anchor=\"end\">" +
               CompactNumber(v) + "</text>";
    }
    // At most about ten round labels, on round numbers.
    std::size_t every = 1;
    while (n / every > 10) every = static_cast<std::size_t>(NiceStep(static_cast<double>(every) + 1));
    for (std::size_t r = 1; r <= n; ++r) {
        if (r % every != 0 && r != 1) continue;
        const std::string x = Fixed(X(r - 1, n, bars));
        out += "<line x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" + Fixed(kTop + kPlotHeight) + "\" y2=\"" +
               Fixed(kTop + kPlotHeight + 4) + "\"/>";
        out += "<text x=\"" + x + "\" y=\"" + Fixed(kTop + kPlotHeight + 17) + "\" text-anchor=\"middle\">" +
               std::to_string(r) + "</text>";
    }
    out += "<line x1=\"" + Fixed(kLeft) + "\" x2=\"" + Fixed(kLeft + kPlotWidth) + "\" y1=\"" +
           Fixed(kTop + kPlotHeight) + "\" y2=\"" + Fixed(kTop + kPlotHeight) + "\"/>";
    out += "<text x=\"" + Fixed(kLeft + kPlotWidth / 2) + "\" y=\"" + Fixed(kHeight - 6) +
           "\" text-anchor=\"middle\">Round</text></g>";
}

void Bars(std::string& out, const SvgChart& c, const Scale& s) {
    const std::size_t n = c.values.size();
    const double width = std::max(1.0, kPlotWidth / static_cast<double>(n) * 0.7);
    out += "<g class=\"bars\">";
    for (std::size_t i = 0; i < n; ++i) {
        if (!c.values[i] || *c.values[i] <= 0) continue;
        const double y = s.Y(*c.values[i]);
        out += "<rect x=\"" + Fixed(X(i, n, true) - width / 2) + "\" y=\"" + Fixed(y) + "\" width=\"" +
               Fixed(width) + "\" height=\"" + Fixed(kTop + kPlotHeight - y) + "\"/>";
    }
    out += "</g>";
}

void Line(std::string& out, const SvgChart& c, const Scale& s) {
    const std::size_t n = c.values.size();
    const bool dashed = c.style == ChartStyle::DashedLine;
    out += dashed ? "<g class=\"line dashed\">" : "<g class=\"line solid\">";
    // A round without a value breaks the line.
    std::string points;
    std::size_t run = 0;
    const auto endRun = [&] {
        if (run > 1) out += "<polyline points=\"" + points + "\"/>";
        points.clear();
        run = 0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (!c.values[i]) {
            endRun();
            continue;
        }
        if (run++) points += ' ';
        points += Fixed(X(i, n, false)) + ',' + Fixed(s.Y(*c.values[i]));
    }
    endRun();
    // A value standing alone shows only as its marker, so it keeps one however many rounds there are.
    for (std::size_t i = 0; i < n; ++i) {
        if (!c.values[i]) continue;
        const bool alone = (i == 0 || !c.values[i - 1]) && (i + 1 == n || !c.values[i + 1]);
        if (n > kMostMarkers && !alone) continue;
        const double x = X(i, n, false), y = s.Y(*c.values[i]);
        if (dashed)
            out += "<rect class=\"mark\" x=\"" + Fixed(x - 3.5) + "\" y=\"" + Fixed(y - 3.5) +
                   "\" width=\"7\" height=\"7\"/>";
        else
            out += "<circle class=\"mark\" cx=\"" + Fixed(x) + "\" cy=\"" + Fixed(y) + "\" r=\"3.5\"/>";
    }
    out += "</g>";
}

}  // namespace

std::string CompactNumber(double value) {
    struct Unit {
        double size;
        const char* suffix;
    };
    for (const Unit u : {Unit{1e12, "T"}, Unit{1e9, "B"}, Unit{1e6, "M"}, Unit{1e3, "k"}}) {
        if (std::fabs(value) < u.size) continue;
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.3g%s", value / u.size, u.suffix);
        return buffer;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4g", value);
    return buffer;
}

std::string ChartDescription(const SvgChart& c) {
    const std::string rounds = "Rounds 1 to " + std::to_string(c.values.size()) + ". ";
    std::optional<std::size_t> first, last, highest;
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        if (!c.values[i]) continue;
        if (!first) first = i;
        last = i;
        if (!highest || *c.values[i] > *c.values[*highest]) highest = i;
    }
    std::string what = c.what;
    if (!what.empty()) what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
    if (!first) return rounds + what + ": no value in any round.";
    const auto at = [&](std::size_t i) {
        return PageAmount(*c.values[i]) + " in round " + std::to_string(i + 1);
    };
    return rounds + what + " was " + at(*first) + " and " + at(*last) + "; highest " + at(*highest) + '.';
}

void AppendChartSvg(std::string& out, const SvgChart& c) {
    const std::string title = c.id + "-title", desc = c.id + "-desc";
    out += "<svg role=\"img\" aria-labelledby=\"" + title + ' ' + desc + "\" viewBox=\"0 0 " + Fixed(kWidth) +
           ' ' + Fixed(kHeight) + "\" id=\"" + c.id + "\">\n<title id=\"" + title + "\">";
    AppendEscaped(out, c.title);
    out += "</title>\n<desc id=\"" + desc + "\">";
    AppendEscaped(out, ChartDescription(c));
    out += "</desc>\n";
    const Scale s = ScaleOf(c.values);
    const bool bars = c.style == ChartStyle::Bars;
    Axes(out, s, std::max<std::size_t>(1, c.values.size()), bars);
    if (!c.values.empty()) {
        if (bars)
            Bars(out, c, s);
        else
            Line(out, c, s);
    }
    out += "\n</svg>\n";
}

}  // namespace corv::report
