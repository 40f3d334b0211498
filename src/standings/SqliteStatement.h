// The few SQLite calls the core's readers share: on the thread that owns the connection, like it.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "engine/CorvError.h"

namespace corv::standings::detail {

inline std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr) != SQLITE_OK) Fail();
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Step() {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) Fail();
        return false;
    }
    sqlite3_stmt* operator*() const { return st_; }

  private:
    [[noreturn]] void Fail() { throw CorvError(err::EngineFailure, sqlite3_errmsg(db_)); }
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

// The table's own spelling of each column, matched without regard to letter case.
inline std::vector<std::string> ColumnsOf(sqlite3* db, const std::string& table) {
    std::vector<std::string> names;
    Statement st(db, "PRAGMA table_info(" + Quoted(table) + ")");
    while (st.Step()) names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(*st, 1)));
    return names;
}

}  // namespace corv::standings::detail
