// Clocks, memory readings and the large auction the viewer benchmarks share.
#pragma once

#include <sqlite3.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Schema.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// CPU time of this process: the machine is shared, so wall time alone overstates the work.
inline double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// kB from /proc/self/status: "VmRSS" now, "VmHWM" the peak since the last reset.
inline long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    return -1;
}
inline long RssKb() {
    return StatusKb("VmRSS");
}

struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = CpuMs();
    void Print(const char* what, const char* aim) const {
        std::printf("%-58s wall %8.1f ms  cpu %8.1f ms  %s\n", what, Ms(wall), CpuMs() - cpu, aim);
    }
};

inline void Check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

inline void Exec(sqlite3* db, const std::string& sql) {
    Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, sql.c_str());
}

// "Markets and Bidders" with rows spread over rounds of rowsPerRound bids on that many markets (of two blocks
// each, unless markets is a multiple of three), "All Bids", a user-built copy of it shown whole, and the
// catalog, laid out as creation lays out an auction (Round index included).
inline void WriteBidAuction(const std::string& path, int rows, int rowsPerRound, int markets = 493) {
    using corv::FieldType;
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    const std::vector<corv::FieldInfo> cols = {{"Auction Id", FieldType::Long, ""},
                                               {"Round", FieldType::Long, ""},
                                               {"Market", FieldType::Text, ""},
                                               {"Block", FieldType::Text, ""},
                                               {"Bidder Name", FieldType::Text, ""},
                                               {"Bid Amount", FieldType::Currency, ""},
                                               {"Net Bid Amount", FieldType::Currency, ""}};
    Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    Exec(db, corv::CreateTableSql("main", "Markets and Bidders", cols));
    Exec(db, corv::CreateTableSql("main", "All Bids", cols));
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO \"Markets and Bidders\" VALUES (?,?,?,?,?,?,?)", -1, &st,
                             nullptr),
          db, "prepare");
    const char* bidders[] = {"Northwind Wireless", "O'Hara Telecom", "Bluebird PCS", "Corvid Spectrum",
                             "Summit Mobile"};
    char market[48];
    for (int i = 0; i < rows; ++i) {
        std::snprintf(market, sizeof market, "M%03d-Market Area %d", i % markets, i % markets);
        const double amount = 100000.0 + (i % 9973) * 250.0 + (i % 4 == 0 ? 0.75 : 0.0);
        sqlite3_bind_int(st, 1, 14);
        sqlite3_bind_int(st, 2, 1 + i / rowsPerRound);
        sqlite3_bind_text(st, 3, market, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, (i % 3 == 0) ? "  " : "A", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 5, bidders[i % 5], -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 6, amount);
        sqlite3_bind_double(st, 7, amount * 0.85);
        Check(sqlite3_step(st), db, "insert");
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "INSERT INTO \"All Bids\" SELECT * FROM \"Markets and Bidders\"");
    Exec(db, corv::CreateTableSql("main", "sysSuppliedTables", {{"TableName", FieldType::Text, ""}}));
    Exec(db, "INSERT INTO sysSuppliedTables VALUES ('Markets and Bidders')");
    Exec(db, corv::CreateTableSql("main", "sysRounds", {{"Round", FieldType::Double, ""}}));
    Exec(db, "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < " +
                 std::to_string((rows + rowsPerRound - 1) / rowsPerRound) +
                 ") INSERT INTO sysRounds SELECT n FROM r");
    Exec(db, corv::CreateTableSql("main", "sysTables", {{"TableName", FieldType::Text, ""}}));
    Exec(db, "INSERT INTO sysTables VALUES ('Markets and Bidders'), ('All Bids'); COMMIT");
    Exec(db, "CREATE INDEX \"sysRoundIndex Markets and Bidders\" ON \"Markets and Bidders\" (\"Round\")");
    sqlite3_close(db);
}

}  // namespace bench
