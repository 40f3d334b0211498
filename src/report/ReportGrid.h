// The report's tables as cells, for the writers alone: one description per table, so every format shows
// the same columns and values.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "report/Report.h"

namespace corv::report::detail {

struct Null {};
struct Amount {
    double value;
};
// A $/MHz-pop figure: four decimals in the text, as computed in CSV and JSON.
struct Price {
    double value;
};
using Cell = std::variant<Null, std::string, long long, Amount, bool, Price>;

struct Column {
    const char* key;      // the JSON key and CSV header
    const char* title;    // the text output's header
    bool priced = false;  // a $/MHz-pop figure: the text leaves it out without market data
};

struct Grid {
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;
};

// The named values of the totals, in order. Those of one group are one object in JSON, under its key.
struct Total {
    const char* key;
    std::string title;
    Cell value;
    const char* group = nullptr;
};
std::vector<Total> TotalsOf(const RoundReport& report);

// Null for the eligibility table of an auction without one.
std::optional<Grid> GridOf(const RoundReport& report, Table table);

// Thousands grouped with commas; the fraction as stored, when there is one.
std::string Grouped(double value);
// The length of the well-formed UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(const std::string& s, std::size_t i);
// s appended to out with each well-formed UTF-8 sequence kept, each byte of a broken one as invalid, and
// each ASCII character as ascii(out, c) writes it.
template <class Ascii>
void AppendText(std::string& out, const std::string& s, std::string_view invalid, Ascii ascii) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ascii(out, c);
            ++i;
        } else if (const std::size_t n = Utf8Length(s, i)) {
            out.append(s, i, n);
            i += n;
        } else {
            out += invalid;
            ++i;
        }
    }
}

}  // namespace corv::report::detail
