#include "engine/ProgressiveOpen.h"

#include <sqlite3.h>

#include "engine/EngineInternal.h"
#include "engine/PagedRows.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"

namespace corv {
namespace engine {

namespace {

struct Stmt {
    sqlite3_stmt* s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

bool InWalMode(sqlite3* db) {
    Stmt st;
    if (sqlite3_prepare_v2(db, "PRAGMA main.journal_mode", -1, &st.s, nullptr) != SQLITE_OK ||
        sqlite3_step(st.s) != SQLITE_ROW)
        return false;
    const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0));
    return mode && SameName(mode, "wal");
}

}  // namespace

std::vector<FieldInfo> FieldsOf(sqlite3_stmt* stmt, const PivotType& pivot) {
    std::vector<FieldInfo> fields = StatementFields(stmt);
    if (pivot.first < 0) return fields;
    for (std::size_t i = static_cast<std::size_t>(pivot.first); i < fields.size(); ++i) {
        fields[i].declaredType = pivot.declared;
        fields[i].type = FieldTypeFromDeclared(pivot.declared);
    }
    return fields;
}

std::shared_ptr<SnapshotData> OpenProgressively(const std::string& path, const std::string& sql,
                                                const PivotType& pivot,
                                                const std::optional<std::string>& table, sqlite3*& reader) {
    sqlite3* db = reader ? reader : engine::OpenReaderConnection(path);
    reader = nullptr;
    if (!db) return nullptr;
    // Paging holds a read transaction for the set's life, which only the write-ahead log lets writers
    // work past; a file in another journal mode is read whole and let go, as the writer waits for that.
    if (table && InWalMode(db)) {
        if (auto data = engine::OpenPagedTable(db, "main." + QuoteName(*table), reader)) return data;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const auto give_up = [&]() -> std::shared_ptr<SnapshotData> {
        sqlite3_finalize(stmt);
        sqlite3_close_v2(db);
        return nullptr;
    };
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK ||
        !stmt || !IsBlankTail(tail))
        return give_up();
    std::shared_ptr<SnapshotData> data;
    int rc;
    try {
        data = std::make_shared<SnapshotData>(FieldsOf(stmt, pivot));
        rc = data->AppendRows(stmt, kFirstRows);
    } catch (...) {
        give_up();
        throw;
    }
    if (rc == SQLITE_ROW) {
        if (auto paged = engine::PageQueryResult(data, db, stmt, path)) return paged;
        data->LoadInBackground(db, stmt, path);
        return data;
    }
    if ((rc & 0xff) == SQLITE_FULL) {
        const CorvError e = engine::ReadError(db, path);
        give_up();
        throw e;
    }
    if (rc != SQLITE_DONE) return give_up();
    sqlite3_finalize(stmt);
    // Opening a connection costs more than reading a small result; keep it for the next set.
    reader = db;
    data->ShrinkToFit();
    return data;
}

}  // namespace engine
}  // namespace corv
