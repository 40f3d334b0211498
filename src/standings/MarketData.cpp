#include "standings/MarketData.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "standings/SqliteStatement.h"
#include "store/RoundTables.h"

namespace corv::standings {

namespace {

using detail::ColumnsOf;
using detail::Quoted;
using detail::Statement;
using store::FindColumn;

std::string Trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

std::string TextOf(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

// A table imported from a text file may hold its numbers as text: text that is a number whole counts.
double NumberOf(sqlite3_value* v) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_value_double(v);
        case SQLITE_TEXT: {
            const std::string text = Trimmed(TextOf(v));
            if (text.empty()) return std::nan("");
            char* end = nullptr;
            const double d = std::strtod(text.c_str(), &end);
            return *end == '\0' ? d : std::nan("");
        }
        default:
            return std::nan("");
    }
}

bool Positive(double d) {
    return std::isfinite(d) && d > 0;
}

std::vector<std::string> Column(sqlite3* db, const std::string& sql) {
    std::vector<std::string> out;
    Statement st(db, sql);
    while (st.Step()) out.push_back(TextOf(sqlite3_column_value(*st, 0)));
    return out;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

MarketDataTable ReadTable(sqlite3* db, const std::string& name, const std::vector<std::string>& columns) {
    MarketDataTable t;
    t.name = name;
    std::string select;
    for (const char* c : kMarketDataColumns) select += Quoted(*FindColumn(columns, c)) + ", ";
    const auto block = FindColumn(columns, kMarketDataBlockColumn);
    select += block ? Quoted(*block) : "NULL";
    Statement st(db, "SELECT " + select + " FROM " + Quoted(name) + " ORDER BY rowid");
    while (st.Step()) {
        MarketDataRow row;
        row.market = Trimmed(TextOf(sqlite3_column_value(*st, 0)));
        row.population = NumberOf(sqlite3_column_value(*st, 1));
        row.mhz = NumberOf(sqlite3_column_value(*st, 2));
        row.block = Trimmed(TextOf(sqlite3_column_value(*st, 3)));
        if (row.market.empty() || !Positive(row.population) || !Positive(row.mhz)) {
            ++t.leftOut;
            continue;
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

}  // namespace

UserTables ReadUserTables(sqlite3* db) {
    UserTables out;
    if (Column(db,
               "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'sysTables' COLLATE NOCASE")
            .empty())
        return out;
    std::vector<std::string> supplied;
    if (!Column(db,
                "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'sysSuppliedTables' "
                "COLLATE NOCASE")
             .empty())
        supplied = Column(db, "SELECT TableName FROM sysSuppliedTables");
    for (const std::string& name : Column(db, "SELECT TableName FROM sysTables ORDER BY rowid")) {
        bool isSupplied = false;
        for (const std::string& s : supplied) isSupplied = isSupplied || SameName(s, name);
        if (isSupplied || name.empty()) continue;
        out.names.push_back(name);
        const std::vector<std::string> columns = ColumnsOf(db, name);
        bool all = true;
        for (const char* c : kMarketDataColumns) all = all && FindColumn(columns, c);
        if (all) out.marketData.push_back(ReadTable(db, name, columns));
    }
    return out;
}

const MarketDataTable* FindMarketData(const std::vector<MarketDataTable>& tables, const std::string& name) {
    for (const MarketDataTable& t : tables)
        if (SameName(t.name, name)) return &t;
    return nullptr;
}

LicenceSizes SizeLicences(const MarketDataTable& table, const BidHistory& history) {
    // The first row for a licence or a market counts; a later one for the same is a repeat.
    std::map<std::pair<std::string, std::string>, double> blocks;
    std::map<std::string, double> markets;
    for (const MarketDataRow& r : table.rows) {
        const double size = r.mhz * r.population;
        if (r.block.empty())
            markets.emplace(r.market, size);
        else
            blocks.emplace(std::make_pair(r.market, r.block), size);
    }
    LicenceSizes out;
    out.leftOut = table.leftOut;
    const std::vector<Licence>& licences = history.Licences();
    out.mhzPop.assign(licences.size(), 0);
    std::set<std::pair<std::string, std::string>> seen;
    std::set<std::string> seenMarkets;
    for (std::size_t i = 0; i < licences.size(); ++i) {
        auto key = std::make_pair(Trimmed(licences[i].market), Trimmed(licences[i].block));
        seenMarkets.insert(key.first);
        double size = 0;
        if (auto b = blocks.find(key); b != blocks.end())
            size = b->second;
        else if (auto m = markets.find(key.first); m != markets.end())
            size = m->second;
        out.mhzPop[i] = size;
        if (seen.insert(std::move(key)).second) out.allMhzPop += size;
    }
    // What the table gives beyond the licences bid on: a block never bid on, a market none of whose blocks
    // was (counted as one licence, the market whole).
    for (const auto& [key, size] : blocks)
        if (!seen.count(key)) out.allMhzPop += size;
    for (const auto& [market, size] : markets)
        if (!seenMarkets.count(market)) out.allMhzPop += size;
    return out;
}

}  // namespace corv::standings
