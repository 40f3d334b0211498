#pragma once

// Reading database files with SQLite itself, independent of the engine under test.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

namespace corv::storetest {

using Rows = std::vector<std::vector<std::string>>;

inline Rows Query(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    Rows rows;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << path;
        return rows;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
        sqlite3_close(db);
        return rows;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const unsigned char* t = sqlite3_column_text(st, c);
            row.push_back(t ? reinterpret_cast<const char*>(t) : "<null>");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

inline void Exec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* msg = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
    sqlite3_free(msg);
    sqlite3_close(db);
}

inline long Count(const std::string& path, const std::string& table) {
    const Rows r = Query(path, "SELECT COUNT(*) FROM \"" + table + "\"");
    return r.empty() ? -1 : std::stol(r.at(0).at(0));
}

inline std::vector<std::string> Column(const Rows& rows, size_t index = 0) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r.at(index));
    return out;
}

// The tables of the fixture's round files, in their order.
inline const std::vector<std::string> kFixtureTables = {
    "Markets and Bidders",  "Round Statistics",      "Increment Statistics", "Miscellaneous Statistics",
    "Reduction Statistics", "Withdrawal Statistics", "Waiver Statistics",    "Bidder Eligibility"};

}  // namespace corv::storetest
