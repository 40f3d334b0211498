// Market data: the population and bandwidth of each licence, brought by the user as a table of their own,
// so that licences of different sizes compare by the price per MHz-pop (high bid / (MHz x population)).
//
// A user table (in sysTables, not supplied) is market data when it has the columns Market, Population and
// MHz (Block optional), letter case aside. A row with a block gives that licence; a row whose block is empty
// or missing gives every block of its market that has no row of its own. Blocks match without their
// surrounding blanks, so "" and the two-space block of a market sold whole are one. A row without a market,
// or whose population or MHz is not a positive number, is left out and counted.
//
// Plain values, read on whichever thread owns the connection and shared read-only afterwards. No Qt.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standings/BidHistory.h"

struct sqlite3;

namespace corv::standings {

inline constexpr const char* kMarketDataColumns[] = {"Market", "Population", "MHz"};
inline constexpr const char* kMarketDataBlockColumn = "Block";

struct MarketDataRow {
    std::string market;  // without surrounding blanks
    std::string block;   // without surrounding blanks; empty: every block of the market
    double population = 0;
    double mhz = 0;
};

struct MarketDataTable {
    std::string name;  // as sysTables spells it
    std::vector<MarketDataRow> rows;
    int leftOut = 0;  // rows that broke the rules above
};

struct UserTables {
    std::vector<std::string> names;           // every user table, in sysTables order
    std::vector<MarketDataTable> marketData;  // those that are market data, in the same order
};

// Reads the user tables within the caller's transaction, if any. An auction without sysTables has none.
// Failures of SQLite arrive as CorvError.
UserTables ReadUserTables(sqlite3* db);

// The table named name, letter case aside; null when none is.
const MarketDataTable* FindMarketData(const std::vector<MarketDataTable>& tables, const std::string& name);

// One market data table laid over a history's licences.
struct LicenceSizes {
    std::vector<double> mhzPop;  // by licence number; 0 for a licence the table gives nothing for
    double allMhzPop = 0;        // over every licence the table gives, those never bid on included
    int leftOut = 0;
};
LicenceSizes SizeLicences(const MarketDataTable& table, const BidHistory& history);

}  // namespace corv::standings
