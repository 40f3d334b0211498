#pragma once

// What the Jet SQL dialect tests share.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Schema.h"
#include "engine/functions/JetFunctions.h"
#include "engine/sql/JetSql.h"

namespace corv::jetsqltest {

using Rows = std::vector<std::vector<std::string>>;

// An in-memory database holding a small auction; every Jet statement runs through the translation.
class JetSqlDb : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        corv::RegisterJetFunctions(db_);
        Exec(corv::CreateTableSql("", "Markets and Bidders",
                                  {{"Auction Id", FieldType::Long, ""},
                                   {"Round", FieldType::Long, ""},
                                   {"Market", FieldType::Text, ""},
                                   {"Block", FieldType::Text, ""},
                                   {"Bidder Name", FieldType::Text, ""},
                                   {"Bid Amount", FieldType::Currency, ""},
                                   {"Net Bid Amount", FieldType::Currency, ""}}));
        const char* bids[] = {
            "(14, 1, 'A', '1', 'ABC Wireless', 100, 90)",  "(14, 1, 'B', '  ', 'abc wireless', 200, 180)",
            "(14, 2, 'A', '2', 'Zeta Corp', 550, 500)",    "(14, 3, 'c', '1', 'O''Brien Tel', 700, 650)",
            "(14, 7, 'A', '1', 'ABC Wireless', 900, 800)", "(14, 7, 'B', '  ', 'Zeta Corp', 450, 400)",
            "(14, 7, 'C', '2', 'zeta corp', 600, 540)",    "(14, 7, 'a', '2', 'Beta', NULL, NULL)",
        };
        for (const char* b : bids) Exec(std::string("INSERT INTO \"Markets and Bidders\" VALUES ") + b);
        ctx_.attach = [this](const std::string& path) {
            attachedPaths_.push_back(path);
            return std::string("ext1");
        };
        ctx_.columns = [this](const std::string& schema, const std::string& table) {
            return Columns(schema, table);
        };
    }
    void TearDown() override { sqlite3_close(db_); }

    void Exec(const std::string& sql) {
        char* msg = nullptr;
        int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
        std::string text = msg ? msg : "";
        sqlite3_free(msg);
        ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << text;
    }

    // Rows of an SQLite query as text; Null shows as "<null>". A failure is reported as a CorvError
    // carrying the function's error number where one of ours raised it.
    Rows Query(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            throw CorvError(3000, std::string(sqlite3_errmsg(db_)) + " in " + sql);
        }
        Rows rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const unsigned char* t = sqlite3_column_text(st, i);
                row.push_back(t ? reinterpret_cast<const char*>(t) : "<null>");
            }
            rows.push_back(row);
        }
        std::string msg = sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            int number = 0;
            std::string description;
            if (corv::ParseJetFunctionError(msg, number, description)) throw CorvError(number, description);
            throw CorvError(3000, msg);
        }
        return rows;
    }

    Rows Jet(const std::string& jet) { return Query(jetsql::Translate(jet, ctx_).sql); }

    std::vector<std::string> Column(const Rows& rows, size_t i = 0) {
        std::vector<std::string> out;
        for (auto& r : rows) out.push_back(r.at(i));
        return out;
    }
    std::string One(const std::string& jetExpr) {
        Rows r = Jet("SELECT " + jetExpr + " AS v");
        return r.at(0).at(0);
    }
    int ErrorOf(const std::string& jetExpr) {
        try {
            One(jetExpr);
        } catch (const CorvError& e) {
            return e.number();
        }
        return 0;
    }

    std::optional<std::vector<std::string>> Columns(const std::string& schema, const std::string& table) {
        Rows r = Query("SELECT name FROM pragma_table_info(" + Literal(table) + ", " + Literal(schema) + ")");
        if (r.empty()) return std::nullopt;
        return Column(r);
    }
    static std::string Literal(const std::string& s) {
        std::string out = "'";
        for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
        return out + "'";
    }

    sqlite3* db_ = nullptr;
    jetsql::Context ctx_;
    std::vector<std::string> attachedPaths_;
};

inline int TranslateError(std::string_view jet, const jetsql::Context& ctx = {}) {
    try {
        jetsql::Translate(jet, ctx);
    } catch (const CorvError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace corv::jetsqltest
