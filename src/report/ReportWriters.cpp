#include "report/ReportWriters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "report/ReportGrid.h"

namespace corv::report {

using detail::Amount;
using detail::Cell;
using detail::Grid;
using detail::Null;
using detail::Price;

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    // Fixed notation, shortest that reads back: 1000000 rather than 1e+06.
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
    return std::string(buffer, end);
}

namespace detail {

std::size_t Utf8Length(const std::string& s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t n = 0;
    unsigned lowest = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lowest = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    unsigned code = c & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

std::string Grouped(double value) {
    const std::string plain = JsonNumber(value);
    const std::size_t sign = plain[0] == '-' ? 1 : 0;
    const std::size_t point = std::min(plain.find('.'), plain.size());
    std::string out = plain.substr(0, sign);
    for (std::size_t i = sign; i < point; ++i) {
        if (i > sign && (point - i) % 3 == 0) out += ',';
        out += plain[i];
    }
    return out + plain.substr(point);
}

}  // namespace detail

using detail::Grouped;
using detail::Utf8Length;

namespace {

// ---- JSON ----

// A byte that is not UTF-8 (a name read from an old file) becomes U+FFFD, so the document stays valid.
void JsonString(std::string& out, const std::string& s) {
    static const char* hex = "0123456789abcdef";
    out += '"';
    detail::AppendText(out, s, "\\ufffd", [](std::string& o, unsigned char c) {
        switch (c) {
            case '"':
                o += "\\\"";
                break;
            case '\\':
                o += "\\\\";
                break;
            case '\n':
                o += "\\n";
                break;
            case '\r':
                o += "\\r";
                break;
            case '\t':
                o += "\\t";
                break;
            default:
                if (c < 0x20) {
                    o += "\\u00";
                    o += hex[c >> 4];
                    o += hex[c & 15];
                } else {
                    o += static_cast<char>(c);
                }
        }
    });
    out += '"';
}

void JsonCell(std::string& out, const Cell& cell) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Null>)
                out += "null";
            else if constexpr (std::is_same_v<T, std::string>)
                JsonString(out, v);
            else if constexpr (std::is_same_v<T, long long>)
                out += std::to_string(v);
            else if constexpr (std::is_same_v<T, Amount> || std::is_same_v<T, Price>)
                out += JsonNumber(v.value);
            else
                out += v ? "true" : "false";
        },
        cell);
}

void JsonGrid(std::string& out, const Grid& g) {
    out += "[";
    for (std::size_t r = 0; r < g.rows.size(); ++r) {
        out += r ? ",\n    {" : "\n    {";
        for (std::size_t c = 0; c < g.columns.size(); ++c) {
            if (c) out += ", ";
            JsonString(out, g.columns[c].key);
            out += ": ";
            JsonCell(out, g.rows[r][c]);
        }
        out += '}';
    }
    out += g.rows.empty() ? "]" : "\n  ]";
}

// ---- CSV ----

void CsvField(std::string& out, const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string PlainText(const Cell& cell) {
    if (const auto* s = std::get_if<std::string>(&cell)) return *s;
    if (const auto* n = std::get_if<long long>(&cell)) return std::to_string(*n);
    if (const auto* a = std::get_if<Amount>(&cell)) return JsonNumber(a->value);
    if (const auto* p = std::get_if<Price>(&cell)) return JsonNumber(p->value);
    if (const auto* b = std::get_if<bool>(&cell)) return *b ? "true" : "false";
    return {};
}

// ---- text ----

std::string ShownText(const Cell& cell) {
    if (std::holds_alternative<Null>(cell)) return "-";
    if (const auto* a = std::get_if<Amount>(&cell)) return Grouped(a->value);
    if (const auto* p = std::get_if<Price>(&cell)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.4f", p->value);
        return buffer;
    }
    if (const auto* b = std::get_if<bool>(&cell)) return *b ? "yes" : "no";
    // A tab or line break in a name would break the columns.
    std::string text = PlainText(cell);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

bool RightAligned(const Cell& cell) {
    return std::holds_alternative<long long>(cell) || std::holds_alternative<Amount>(cell) ||
           std::holds_alternative<Price>(cell);
}

// Characters on screen: UTF-8 continuation bytes take no column.
std::size_t Width(const std::string& s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void Padded(std::string& out, const std::string& s, std::size_t width, bool right) {
    const std::string pad(width - std::min(width, Width(s)), ' ');
    out += right ? pad + s : s + pad;
}

void Section(std::string& out, const std::string& title) {
    out += title + '\n' + std::string(Width(title), '-') + '\n';
}

// Without market data the $/MHz-pop columns would be blank throughout: the text leaves them out.
void TextGrid(std::string& out, Grid g, bool priced) {
    if (!priced) {
        for (std::size_t c = g.columns.size(); c-- > 0;) {
            if (!g.columns[c].priced) continue;
            g.columns.erase(g.columns.begin() + static_cast<std::ptrdiff_t>(c));
            for (auto& row : g.rows) row.erase(row.begin() + static_cast<std::ptrdiff_t>(c));
        }
    }
    std::vector<std::vector<std::string>> shown;
    std::vector<std::size_t> widths;
    for (const auto& c : g.columns) widths.push_back(Width(c.title));
    std::vector<bool> right(g.columns.size(), false);
    for (const auto& row : g.rows) {
        auto& line = shown.emplace_back();
        for (std::size_t c = 0; c < row.size(); ++c) {
            line.push_back(ShownText(row[c]));
            widths[c] = std::max(widths[c], Width(line.back()));
            if (RightAligned(row[c])) right[c] = true;
        }
    }
    const auto emit = [&](const auto& cellText) {
        std::string line;
        for (std::size_t c = 0; c < g.columns.size(); ++c) {
            if (c) line += "  ";
            Padded(line, cellText(c), widths[c], right[c]);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + '\n';
    };
    emit([&](std::size_t c) { return std::string(g.columns[c].title); });
    emit([&](std::size_t c) { return std::string(widths[c], '-'); });
    for (const auto& line : shown) emit([&](std::size_t c) { return line[c]; });
    if (g.rows.empty()) out += "(none)\n";
}

}  // namespace

std::vector<std::string> TextSectionTitles(const RoundReport& r) {
    const std::string n = std::to_string(r.round);
    return {"Totals",
            "Markets after round " + n,
            "Bidders after round " + n,
            "Changes since round " + std::to_string(r.since),
            "Eligibility in round " + n,
            "Rounds 1 to " + n};
}

std::string MarketDataLine(const RoundReport& r) {
    if (!r.marketData) return {};
    const int n = r.marketData->leftOut;
    return "$/MHz-pop from the market data in " + r.marketData->table +
           (n == 0 ? std::string() : " (" + std::to_string(n) + (n == 1 ? " row" : " rows") + " left out)") +
           "\n";
}

void WriteText(const RoundReport& r, std::ostream& os) {
    std::string out = r.auction + ", round " + std::to_string(r.round) + ", " + MeasureName(r.measure) +
                      " amounts, changes since round " + std::to_string(r.since) + "\n" + MarketDataLine(r) +
                      "\n";
    const std::vector<std::string> titles = TextSectionTitles(r);
    Section(out, titles[0]);
    auto totals = detail::TotalsOf(r);
    // An auction without market data has no $/MHz-pop line.
    std::erase_if(totals,
                  [](const detail::Total& t) { return !t.group && std::holds_alternative<Null>(t.value); });
    std::size_t width = 0, valueWidth = 0;
    for (const auto& t : totals) {
        width = std::max(width, Width(t.title));
        valueWidth = std::max(valueWidth, Width(ShownText(t.value)));
    }
    for (const auto& t : totals) {
        Padded(out, t.title, width + 2, false);
        Padded(out, ShownText(t.value), valueWidth, true);
        out += '\n';
    }
    for (std::size_t i = 0; i < std::size(kTables); ++i) {
        out += '\n';
        Section(out, titles[i + 1]);
        if (auto g = detail::GridOf(r, kTables[i]))
            TextGrid(out, std::move(*g), r.marketData.has_value());
        else
            out += standings::NoEligibilityTableSentence() + '\n';
    }
    os << out;
}

bool WriteCsv(const RoundReport& r, Table table, std::ostream& os) {
    const auto g = detail::GridOf(r, table);
    if (!g) return false;
    std::string out;
    for (std::size_t c = 0; c < g->columns.size(); ++c) {
        if (c) out += ',';
        CsvField(out, g->columns[c].key);
    }
    out += "\r\n";
    for (const auto& row : g->rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c) out += ',';
            CsvField(out, PlainText(row[c]));
        }
        out += "\r\n";
    }
    os << out;
    return true;
}

void WriteJson(const RoundReport& r, std::ostream& os) {
    std::string out = "{\n  \"auction\": ";
    JsonString(out, r.auction);
    out += ",\n  \"round\": " + std::to_string(r.round) + ",\n  \"since\": " + std::to_string(r.since) +
           ",\n  \"measure\": ";
    JsonString(out, MeasureName(r.measure));
    out += ",\n  \"marketData\": ";
    if (r.marketData) {
        out += "{\"table\": ";
        JsonString(out, r.marketData->table);
        out += ", \"rowsLeftOut\": " + std::to_string(r.marketData->leftOut) + "}";
    } else {
        out += "null";
    }
    out += ",\n  \"totals\": {";
    const char* group = nullptr;
    bool first = true;
    for (const auto& t : detail::TotalsOf(r)) {
        const bool sameGroup = t.group && t.group == group;
        if (group && !sameGroup) out += "}";
        if (!first) out += ", ";
        if (t.group && !sameGroup) {
            JsonString(out, t.group);
            out += ": {";
        }
        first = false;
        group = t.group;
        JsonString(out, t.key);
        out += ": ";
        JsonCell(out, t.value);
    }
    if (group) out += "}";
    out += "}";
    for (Table table : kTables) {
        out += ",\n  ";
        JsonString(out, TableName(table));
        out += ": ";
        if (auto g = detail::GridOf(r, table))
            JsonGrid(out, *g);
        else
            out += "null";
    }
    out += "\n}\n";
    os << out;
}

}  // namespace corv::report
