#pragma once

// Pieces shared by the engine's own files; nothing outside src/engine/ needs them.

#include <memory>
#include <string>
#include <string_view>

#include "engine/CorvError.h"

struct sqlite3;

namespace corv {

class SnapshotData;

namespace engine {

constexpr int kInvalidObject = 3420;       // a closed database or record set used again
constexpr int kNotActionQuery = 3065;      // Execute given a plain SELECT
constexpr int kInvalidOperation = 3219;    // OpenRecordset given an action statement
constexpr int kNoTransaction = 3034;       // commit or rollback without BeginTrans
constexpr int kItemNotFound = 3265;        // unknown field name or position
constexpr int kValueCountMismatch = 3346;  // INSERT with a different number of values than columns
constexpr int kUndefinedFunction = 3085;

// The engine's own error for a failed SQLite call on db (its message, its extended code). what names the
// file involved, for "file in use" and similar texts.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, std::string_view what = {});
CorvError SqliteError(int rc, std::string_view message, std::string_view what = {});
// Why a statement that only reads stopped on db: a full disk can then only be that of its temporary files,
// so it is named as the temporary folder being full.
CorvError ReadError(sqlite3* db, const std::string& what);

// Opens an in-memory connection with the Jet functions registered.
sqlite3* OpenScratchConnection();

// A second, read-only connection to the database file at path, defended and equipped like the engine's
// own; nullptr when it cannot be opened.
sqlite3* OpenReaderConnection(const std::string& path);

// Rows of data meeting whereSql (an SQLite expression, may be empty), ordered by orderSql (an SQLite ORDER BY
// list, may be empty), computed by SQLite over the rows through a virtual table. Fields are kept.
std::shared_ptr<SnapshotData> QuerySnapshot(const std::shared_ptr<const SnapshotData>& data,
                                            const std::string& whereSql, const std::string& orderSql);

// ASCII comparison without regard to letter case, as the engine compares names.
bool SameName(std::string_view a, std::string_view b);

// Whether what follows a prepared statement's text is blanks and semicolons only: no second statement.
inline bool IsBlankTail(const char* p) {
    for (; p && *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r' && *p != ';') return false;
    return true;
}

}  // namespace engine
}  // namespace corv
