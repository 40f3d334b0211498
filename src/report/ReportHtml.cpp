#include "report/ReportHtml.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <numeric>

#include "report/ReportGrid.h"
#include "report/ReportSvg.h"
#include "report/ReportWriters.h"

namespace corv::report {

using detail::Amount;
using detail::Cell;
using detail::Grid;
using detail::Null;

void AppendEscaped(std::string& out, const std::string& s) {
    detail::AppendText(out, s, "\xEF\xBF\xBD", [](std::string& o, unsigned char c) {
        switch (c) {
            case '&':
                o += "&amp;";
                break;
            case '<':
                o += "&lt;";
                break;
            case '>':
                o += "&gt;";
                break;
            case '"':
                o += "&quot;";
                break;
            case '\'':
                o += "&#39;";
                break;
            default:
                o += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
        }
    });
}

// A sum of many amounts carries the noise of binary fractions, which a reader has no use for.
std::string PageAmount(double value) {
    const double cents = std::round(value * 100);
    char plain[64];
    std::snprintf(plain, sizeof plain, std::fmod(cents, 100) == 0 ? "%.0f" : "%.2f", cents / 100);
    std::string text = plain;
    if (text == "-0") text = "0";
    const std::size_t sign = text[0] == '-' ? 1 : 0;
    for (std::size_t i = std::min(text.find('.'), text.size()); i > sign + 3; i -= 3) text.insert(i - 3, ",");
    return text;
}

std::string LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[40];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M %z", &local);
    return buffer;
}

HtmlExtras PageExtras(const std::string& auctionPath, const standings::BidHistory& history, int round) {
    HtmlExtras extras;
    extras.made = LocalTimeNow();
    const std::string list = WatchListPath(auctionPath);
    try {
        if (const auto rules = ReadWatchList(list)) extras.alerts = EvaluateWatchList(*rules, history, round);
    } catch (const WatchListError& e) {
        extras.watchProblem = e.Describe(list);
    } catch (const std::exception& e) {
        extras.watchProblem = e.what();
    }
    return extras;
}

namespace {

// Print: A4 and Letter alike, headers again on each page, no row split, wide tables brought to the width.
constexpr const char* kStyle = R"(
body{font:15px/1.45 "DejaVu Sans",Verdana,sans-serif;color:#111;background:#fff;margin:1.5em auto;max-width:80em;padding:0 1em}
h1{font-size:1.5em;margin:0 0 .3em}
h2{font-size:1.2em;margin:1.8em 0 .5em;padding-bottom:.2em;border-bottom:2px solid #444}
p{margin:.3em 0}
.meta{color:#333}
nav ul{list-style:none;padding:0;margin:.8em 0;display:flex;flex-wrap:wrap;gap:.2em 1.4em}
a{color:#0b3d91}
.wide{overflow-x:auto}
table{border-collapse:collapse;margin:.4em 0 1em;font-variant-numeric:tabular-nums}
caption{text-align:left;font-weight:bold;padding:.2em 0}
th,td{padding:.2em .6em;border-bottom:1px solid #bbb;text-align:left;vertical-align:top}
thead th{background:#e8e8e8;border-bottom:2px solid #333}
tbody th{font-weight:normal}
.n{text-align:right;white-space:nowrap}
tr.mark td,tr.mark th{background:#fff0b8}
tr.mark td:first-child{box-shadow:inset 5px 0 #9a6700}
.key{font-size:.9em;color:#333}
.none{font-style:italic}
ul.alerts{padding-left:1.2em}
ul.alerts li{margin:.25em 0}
figure{margin:1em 0 2em;max-width:760px}
figcaption{font-weight:bold;margin-bottom:.3em}
svg{display:block;width:100%;height:auto}
svg text{font:12px "DejaVu Sans",Verdana,sans-serif;fill:#111}
svg line{stroke:#111;stroke-width:1}
svg line.grid{stroke:#bbb}
svg .bars rect{fill:#6b6b6b;stroke:#111;stroke-width:.6}
svg .line polyline{fill:none;stroke-width:2.2}
svg .solid polyline{stroke:#0b3d91}
svg .dashed polyline{stroke:#7a2e00;stroke-dasharray:8 5}
svg .solid .mark{fill:#fff;stroke:#0b3d91;stroke-width:1.6}
svg .dashed .mark{fill:#7a2e00}
@page{size:portrait;margin:12mm 10mm}
@media print{
body{font-size:9pt;margin:0;padding:0;max-width:none}
nav{display:none}
.wide{overflow:visible}
table{width:100%;table-layout:auto;font-size:7.5pt}
#t-totals{width:auto}
th,td{padding:.1em .3em;overflow-wrap:break-word}
thead{display:table-header-group}
tr,figure,li{break-inside:avoid;page-break-inside:avoid}
h2,caption,.key{break-after:avoid;page-break-after:avoid}
tr.mark td,tr.mark th{-webkit-print-color-adjust:exact;print-color-adjust:exact}
figure{max-width:none}
}
)";

std::string Escaped(const std::string& s) {
    std::string out;
    AppendEscaped(out, s);
    return out;
}

bool Numeric(const Cell& cell) {
    return std::holds_alternative<long long>(cell) || std::holds_alternative<Amount>(cell) ||
           std::holds_alternative<detail::Price>(cell);
}

// Four decimals, as the text report gives them.
std::string PriceText(double value) {
    char plain[64];
    std::snprintf(plain, sizeof plain, "%.4f", value);
    std::string text = plain;
    const std::size_t sign = text[0] == '-' ? 1 : 0;
    for (std::size_t i = text.find('.'); i > sign + 3; i -= 3) text.insert(i - 3, ",");
    return text;
}

void AppendCell(std::string& out, const Cell& cell) {
    if (std::holds_alternative<Null>(cell)) {
        out += '-';
    } else if (const auto* a = std::get_if<Amount>(&cell)) {
        out += PageAmount(a->value);
    } else if (const auto* n = std::get_if<long long>(&cell)) {
        out += detail::Grouped(static_cast<double>(*n));
    } else if (const auto* p = std::get_if<detail::Price>(&cell)) {
        out += PriceText(p->value);
    } else if (const auto* b = std::get_if<bool>(&cell)) {
        out += *b ? "<strong>yes</strong>" : "no";
    } else {
        AppendEscaped(out, std::get<std::string>(cell));
    }
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return detail::Grouped(static_cast<double>(n)) + ' ' + (n == 1 ? one : many);
}

// A grid as a table: rows in order's order (every row when empty), those mark picks shaded. Without market
// data the $/MHz-pop columns would be blank throughout, and are left out.
void AppendTable(std::string& out, const std::string& id, const std::string& caption, Grid g, bool priced,
                 const std::vector<std::size_t>& order, const std::function<bool(std::size_t)>& mark) {
    if (!priced)
        for (std::size_t c = g.columns.size(); c-- > 0;) {
            if (!g.columns[c].priced) continue;
            g.columns.erase(g.columns.begin() + static_cast<std::ptrdiff_t>(c));
            for (auto& row : g.rows) row.erase(row.begin() + static_cast<std::ptrdiff_t>(c));
        }
    std::vector<bool> numeric(g.columns.size(), false);
    for (const auto& row : g.rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            if (Numeric(row[c])) numeric[c] = true;
    out += "<div class=\"wide\"><table id=\"" + id + "\">\n<caption>";
    AppendEscaped(out, caption);
    out += "</caption>\n<thead><tr>";
    for (std::size_t c = 0; c < g.columns.size(); ++c)
        out += std::string(numeric[c] ? "<th scope=\"col\" class=\"n\">" : "<th scope=\"col\">") +
               g.columns[c].title + "</th>";
    out += "</tr></thead>\n<tbody>\n";
    for (std::size_t k = 0; k < g.rows.size(); ++k) {
        const std::size_t r = order.empty() ? k : order[k];
        out += mark && mark(r) ? "<tr class=\"mark\">" : "<tr>";
        for (std::size_t c = 0; c < g.columns.size(); ++c) {
            out += numeric[c] ? "<td class=\"n\">" : "<td>";
            AppendCell(out, g.rows[r][c]);
            out += "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody>\n</table></div>\n";
    if (g.rows.empty()) out += "<p class=\"none\">None.</p>\n";
}

struct Section {
    std::string id, title;
    std::function<void(std::string&)> body;
};

std::vector<Section> Sections(const RoundReport& r, const HtmlExtras& x) {
    const std::string n = std::to_string(r.round), m = std::to_string(r.since);
    const bool priced = r.marketData.has_value();
    std::vector<Section> s;
    if (x.alerts || !x.watchProblem.empty())
        s.push_back({"alerts", "Watch list alerts in round " + n, [&x, &r, n](std::string& out) {
                         if (!x.watchProblem.empty()) {
                             out += "<p><strong>The watch list cannot be used:</strong> ";
                             AppendEscaped(out, x.watchProblem);
                             out += "</p>\n";
                             return;
                         }
                         out += "<p class=\"key\">The rules of the watch list weighed on round " + n +
                                " against round " + std::to_string(r.round - 1) + ", gross amounts.</p>\n";
                         if (x.alerts->empty()) {
                             out += "<p class=\"none\">No rule was met in round " + n + ".</p>\n";
                             return;
                         }
                         out += "<ul class=\"alerts\">\n";
                         for (const Alert& a : *x.alerts) {
                             out += "<li>";
                             AppendEscaped(out, a.text);
                             out += "</li>\n";
                         }
                         out += "</ul>\n";
                     }});
    s.push_back({"totals", "Totals", [&r, n](std::string& out) {
                     out += "<table id=\"t-totals\">\n<caption>Totals after round " + n +
                            "</caption>\n<thead><tr><th scope=\"col\">Figure</th><th scope=\"col\" "
                            "class=\"n\">Value</th></tr></thead>\n<tbody>\n";
                     for (const auto& t : detail::TotalsOf(r)) {
                         // Without market data there is no $/MHz-pop to give.
                         if (!t.group && std::holds_alternative<Null>(t.value)) continue;
                         out += "<tr><th scope=\"row\">";
                         AppendEscaped(out, t.title);
                         out += "</th><td class=\"n\">";
                         AppendCell(out, t.value);
                         out += "</td></tr>\n";
                     }
                     out += "</tbody>\n</table>\n";
                 }});
    s.push_back({"changes", "What changed since round " + m, [&r, m, priced](std::string& out) {
                     const Grid g = *detail::GridOf(r, Table::Changes);
                     out +=
                         "<p class=\"key\">Each row is a licence whose high bid or leader changed since "
                         "round " +
                         m + "; the Change column says how.</p>\n";
                     AppendTable(
                         out, "t-changes",
                         "Changes since round " + m + " (" + Count(g.rows.size(), "row", "rows") + ")", g,
                         priced, {}, nullptr);
                 }});
    s.push_back({"markets", "Markets after round " + n, [&r, n, priced](std::string& out) {
                     const Grid g = *detail::GridOf(r, Table::Markets);
                     const auto& rows = r.standings.markets;
                     std::vector<std::size_t> order(rows.size());
                     std::iota(order.begin(), order.end(), std::size_t{0});
                     std::stable_sort(order.begin(), order.end(), [&rows](std::size_t a, std::size_t b) {
                         return rows[a].high > rows[b].high;
                     });
                     out +=
                         "<p class=\"key\">Shaded rows, with <strong>yes</strong> under New leader or New "
                         "high, changed in round " +
                         n + ".</p>\n";
                     AppendTable(out, "t-markets",
                                 "Markets after round " + n + ", highest high bid first (" +
                                     Count(g.rows.size(), "licence", "licences") + ")",
                                 g, priced, order,
                                 [&rows](std::size_t i) { return rows[i].leaderChanged || rows[i].newHigh; });
                 }});
    s.push_back({"bidders", "Bidders after round " + n, [&r, n, priced](std::string& out) {
                     const Grid g = *detail::GridOf(r, Table::Bidders);
                     AppendTable(
                         out, "t-bidders",
                         "Bidders after round " + n + " (" + Count(g.rows.size(), "bidder", "bidders") + ")",
                         g, priced, {}, nullptr);
                 }});
    if (r.eligibility)
        s.push_back({"eligibility", "Eligibility in round " + n, [&r, n, priced](std::string& out) {
                         const Grid g = *detail::GridOf(r, Table::Eligibility);
                         const auto& rows = r.eligibility->rows;
                         out +=
                             "<p class=\"key\">Shaded rows, with the status <strong>reduced</strong> or "
                             "<strong>out</strong>, lost eligibility.</p>\n";
                         AppendTable(out, "t-eligibility", "Eligibility in round " + n, g, priced, {},
                                     [&rows](std::size_t i) {
                                         return rows[i].status != standings::BidderStatus::Active;
                                     });
                     }});
    s.push_back({"rounds", "Rounds 1 to " + n, [&r, n, priced](std::string& out) {
                     AppendTable(out, "t-rounds", "The pace of rounds 1 to " + n,
                                 *detail::GridOf(r, Table::Rounds), priced, {}, nullptr);
                 }});
    s.push_back(
        {"charts", "Charts", [&r](std::string& out) {
             SvgChart total{"chart-total",
                            "Standing total after each round",
                            "the standing total",
                            ChartStyle::SolidLine,
                            {}};
             SvgChart bids{"chart-bids", "Bids per round", "the number of bids", ChartStyle::Bars, {}};
             SvgChart eligibility{"chart-eligibility",
                                  "Total eligibility",
                                  "the total eligibility",
                                  ChartStyle::DashedLine,
                                  {}};
             for (const auto& p : r.pace) {
                 total.values.emplace_back(p.standing);
                 bids.values.emplace_back(p.bids);
                 eligibility.values.push_back(p.eligibility);
             }
             for (const SvgChart* c : {&total, &bids, &eligibility}) {
                 out += "<figure>\n<figcaption>";
                 AppendEscaped(out, c->title);
                 out += "</figcaption>\n";
                 if (c == &eligibility && !r.eligibility) {
                     out += "<p class=\"none\">";
                     AppendEscaped(out, standings::NoEligibilityTableSentence());
                     out += "</p>\n";
                 } else {
                     AppendChartSvg(out, *c);
                 }
                 out += "</figure>\n";
             }
         }});
    return s;
}

}  // namespace

std::vector<std::string> HtmlSectionTitles(const RoundReport& report, const HtmlExtras& extras) {
    std::vector<std::string> titles;
    for (const Section& s : Sections(report, extras)) titles.push_back(s.title);
    return titles;
}

std::string HtmlPage(const RoundReport& r, const HtmlExtras& x) {
    const std::string heading = r.auction + ", round " + std::to_string(r.round);
    std::string out;
    out.reserve(4096 + r.standings.markets.size() * 420 + r.changes.rows.size() * 260 + r.pace.size() * 300);
    out +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        // Nothing from outside and no script, whatever the page holds.
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
        "'unsafe-inline'\">\n<meta name=\"viewport\" content=\"width=device-width, "
        "initial-scale=1\">\n<title>";
    AppendEscaped(out, heading);
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header>\n<h1>";
    AppendEscaped(out, heading);
    out += "</h1>\n<p class=\"meta\">";
    out += r.measure == standings::Measure::Net ? "Net amounts, after each bidder&#39;s discount."
                                                : "Gross amounts.";
    out += " Changes are counted since round " + std::to_string(r.since) +
           ".</p>\n<p class=\"meta\">Report made ";
    AppendEscaped(out, x.made);
    out +=
        ". The auction records no time at which its rounds were imported: this is when the report was made "
        "from it.</p>\n";
    if (r.marketData) {
        out += "<p class=\"meta\">$/MHz-pop from the market data in ";
        AppendEscaped(out, r.marketData->table);
        const int left = r.marketData->leftOut;
        if (left > 0)
            out += " (" + std::to_string(left) + (left == 1 ? " row" : " rows") +
                   " left out: no market, or a population or MHz that is not a positive number)";
        out += ".</p>\n";
    }
    out += "</header>\n";
    const std::vector<Section> sections = Sections(r, x);
    out += "<nav aria-label=\"Contents\"><ul>";
    for (const Section& s : sections)
        out += "<li><a href=\"#" + s.id + "\">" + Escaped(s.title) + "</a></li>";
    out += "</ul></nav>\n<main>\n";
    for (const Section& s : sections) {
        out += "<section id=\"" + s.id + "\" aria-labelledby=\"" + s.id + "-h\">\n<h2 id=\"" + s.id + "-h\">";
        AppendEscaped(out, s.title);
        out += "</h2>\n";
        s.body(out);
        out += "</section>\n";
    }
    out += "</main>\n</body>\n</html>\n";
    return out;
}

}  // namespace corv::report
