// Copying between database files and the schema work that goes with it, beside Database.cpp to keep that
// file to the connection itself.

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"

namespace corv {

namespace {

struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

[[noreturn]] void ThrowCopyFailure(sqlite3* db) {
    throw CorvError(err::EngineFailure, sqlite3_errmsg(db));
}

[[noreturn]] void ThrowEngineFailure(sqlite3* db) {
    throw CorvError(err::EngineFailure, "The database engine failed: " +
                                            std::string(db ? sqlite3_errmsg(db) : "out of memory") + ".");
}

}  // namespace

void Database::CopyTablesFrom(Database& from) {
    sqlite3* in = from.Handle();
    sqlite3* out = db_;
    for (const TableDef& t : from.TableDefs()) {
        Statement read;
        const std::string select = "SELECT * FROM main." + QuoteName(t.Name);
        if (sqlite3_prepare_v2(in, select.c_str(), -1, &read.s, nullptr) != SQLITE_OK) ThrowCopyFailure(in);
        const std::vector<FieldInfo> fields = StatementFields(read.s);
        if (sqlite3_exec(out, CreateTableSql("main", t.Name, fields).c_str(), nullptr, nullptr, nullptr) !=
            SQLITE_OK)
            ThrowCopyFailure(out);
        std::string insert = "INSERT INTO main." + QuoteName(t.Name) + " VALUES (";
        for (std::size_t i = 0; i < fields.size(); ++i) insert += i ? ",?" : "?";
        insert += ")";
        Statement write;
        if (sqlite3_prepare_v2(out, insert.c_str(), -1, &write.s, nullptr) != SQLITE_OK)
            ThrowCopyFailure(out);
        const int columns = static_cast<int>(fields.size());
        int rc;
        while ((rc = sqlite3_step(read.s)) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c)
                sqlite3_bind_value(write.s, c + 1, sqlite3_column_value(read.s, c));
            if (sqlite3_step(write.s) != SQLITE_DONE) ThrowCopyFailure(out);
            sqlite3_reset(write.s);
        }
        if (rc != SQLITE_DONE) ThrowCopyFailure(in);
    }
}

void Database::BackupTo(const std::string& path) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> out(raw, sqlite3_close_v2);
    if (opened != SQLITE_OK) ThrowEngineFailure(out.get());
    sqlite3_backup* copy = sqlite3_backup_init(out.get(), "main", db_, "main");
    if (!copy) ThrowEngineFailure(out.get());
    const int rc = sqlite3_backup_step(copy, -1);
    sqlite3_backup_finish(copy);
    if (rc != SQLITE_DONE) ThrowEngineFailure(out.get());
}

std::vector<std::string> Database::TablesWithColumn(const std::string& column) {
    Statement stmt;
    if (sqlite3_prepare_v2(db_,
                           "SELECT m.name FROM sqlite_schema m WHERE m.type = 'table' AND EXISTS (SELECT 1 "
                           "FROM pragma_table_info(m.name) WHERE name = ?1 COLLATE NOCASE) ORDER BY rowid",
                           -1, &stmt.s, nullptr) != SQLITE_OK)
        ThrowEngineFailure(db_);
    sqlite3_bind_text(stmt.s, 1, column.c_str(), static_cast<int>(column.size()), SQLITE_TRANSIENT);
    std::vector<std::string> tables;
    int rc;
    while ((rc = sqlite3_step(stmt.s)) == SQLITE_ROW)
        tables.push_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.s, 0)));
    if (rc != SQLITE_DONE) ThrowEngineFailure(db_);
    return tables;
}

void Database::CreateIndex(const std::string& name, const std::string& table, const std::string& column) {
    const std::string create =
        "CREATE INDEX " + QuoteName(name) + " ON " + QuoteName(table) + " (" + QuoteName(column) + ")";
    if (sqlite3_exec(db_, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ThrowEngineFailure(db_);
}

}  // namespace corv
