#include "support/AuctionDatabase.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

#include "engine/Schema.h"

namespace corv::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvidel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void RunSqlite(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("sqlite: " + text + " in " + sql);
}

long long QueryCount(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + path);
    sqlite3_stmt* st = nullptr;
    long long value = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    if (value < 0) throw std::runtime_error("query failed: " + sql);
    return value;
}

std::string BuildAuctionDatabase(const std::string& folder, const fixture::AuctionOptions& options) {
    const std::vector<std::string> rounds = fixture::WriteAuctionRounds(folder + "/rounds", options);
    const std::string path = folder + "/Auction" + std::to_string(options.auction) + ".mdb";
    std::filesystem::copy_file(rounds.front(), path, std::filesystem::copy_options::overwrite_existing);

    const std::vector<std::string> supplied = {
        "Markets and Bidders",  "Round Statistics",      "Increment Statistics", "Miscellaneous Statistics",
        "Reduction Statistics", "Withdrawal Statistics", "Waiver Statistics",    "Bidder Eligibility"};
    std::string sql = "BEGIN;";
    sql += CreateTableSql("main", "sysSuppliedTables", {{"TableName", FieldType::Text, ""}}) + ";";
    for (const auto& t : supplied) sql += "INSERT INTO sysSuppliedTables VALUES ('" + t + "');";
    sql += CreateTableSql("main", "sysRounds", {{"Round", FieldType::Double, ""}}) + ";";
    sql += "INSERT INTO sysRounds VALUES (1);";
    sql += CreateTableSql("main", "sysTables", {{"TableName", FieldType::Text, ""}}) + ";";
    sql += "INSERT INTO sysTables SELECT * FROM sysSuppliedTables;COMMIT;";
    RunSqlite(path, sql);

    for (std::size_t r = 1; r < rounds.size(); ++r) {
        std::string append = "ATTACH '" + rounds[r] + "' AS src; BEGIN;";
        append += "DELETE FROM \"Withdrawal Statistics\";";
        for (const auto& t : supplied)
            append += "INSERT INTO main.\"" + t + "\" SELECT * FROM src.\"" + t + "\";";
        append += "INSERT INTO sysRounds VALUES (" + std::to_string(r + 1) + ");COMMIT; DETACH src;";
        RunSqlite(path, append);
    }
    return path;
}

}  // namespace corv::test
