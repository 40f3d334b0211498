#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/Database.h"
#include "engine/EngineInternal.h"
#include "engine/TempFiles.h"
#include "engine/functions/JetFunctions.h"
#include "engine/jet/JetReader.h"

namespace corv {

namespace engine {

namespace {

constexpr int kDatabaseExists = 3204;

std::string StripSchemaPrefix(std::string name) {
    // SQLite names "main.t" or "ext1.t"; the user knows only t.
    const auto dot = name.find('.');
    if (dot != std::string::npos) {
        const std::string schema = name.substr(0, dot);
        if (schema == "main" || schema == "temp" || schema.rfind("ext", 0) == 0) name.erase(0, dot + 1);
    }
    return name;
}

// The text after prefix in message, up to the end.
bool After(std::string_view message, std::string_view prefix, std::string& rest) {
    const auto p = message.find(prefix);
    if (p == std::string_view::npos) return false;
    rest = std::string(message.substr(p + prefix.size()));
    return true;
}

std::string FileText(std::string_view what) {
    return what.empty() ? std::string("the database") : "'" + std::string(what) + "'";
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

CorvError SqliteError(int rc, std::string_view message, std::string_view what) {
    const int primary = rc & 0xff;
    const std::string msg(message);
    std::string rest;
    int jetNumber = 0;
    if (ParseJetFunctionError(msg, jetNumber, rest)) return CorvError(jetNumber, rest);
    switch (primary) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return CorvError(err::FileInUse, "The file " + FileText(what) +
                                                 " is in use by another program and could not be locked; "
                                                 "try again when it is free.");
        case SQLITE_READONLY:
            return CorvError(err::ReadOnlyDatabase,
                             "The database " + FileText(what) + " is read-only and cannot be changed.");
        case SQLITE_CONSTRAINT:
            return CorvError(err::ConstraintViolation,
                             "The change was refused because it breaks a rule of the table (" + msg + ").");
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return CorvError(err::UnrecognizedFormat, "The file " + FileText(what) +
                                                          " is not a database the engine can read, or it is "
                                                          "damaged.");
        case SQLITE_CANTOPEN:
            return CorvError(err::FileNotFound, "The file " + FileText(what) + " could not be opened.");
        case SQLITE_NOMEM:
            return CorvError(7, "Out of memory.");
        case SQLITE_FULL:
            return CorvError(3035, "The disk or the database is full.");
        default:
            break;
    }
    if (After(msg, "no such table: ", rest)) {
        return CorvError(err::ObjectNotFound,
                         "The table or query '" + StripSchemaPrefix(rest) +
                             "' does not exist. Check that the name is spelled correctly.");
    }
    if (After(msg, "no such column: ", rest)) {
        return CorvError(err::TooFewParameters,
                         "Too few parameters: the name '" + StripSchemaPrefix(rest) +
                             "' is not a field of the tables in the query. Expected 1.");
    }
    if (msg.find("has no column named ") != std::string::npos) {
        After(msg, "has no column named ", rest);
        return CorvError(err::UnknownField, "The destination table has no field named '" + rest + "'.");
    }
    if (msg.find("already exists") != std::string::npos) {
        std::string name = msg.substr(0, msg.find(" already exists"));
        const auto sp = name.find(' ');  // "table x", "index x"
        if (sp != std::string::npos) name.erase(0, sp + 1);
        return CorvError(err::TableExists,
                         "The table or index '" + StripSchemaPrefix(name) + "' already exists.");
    }
    if (msg.find("values were supplied") != std::string::npos ||
        msg.find("values for") != std::string::npos) {
        return CorvError(
            kValueCountMismatch,
            "The number of values does not match the number of destination fields (" + msg + ").");
    }
    if (After(msg, "no such function: ", rest)) {
        return CorvError(kUndefinedFunction, "Undefined function '" + rest + "' in the expression.");
    }
    if (msg.find("syntax error") != std::string::npos || msg.find("incomplete input") != std::string::npos ||
        msg.find("unrecognized token") != std::string::npos) {
        return CorvError(err::SyntaxError, "Syntax error in the query expression (" + msg + ").");
    }
    if (primary == SQLITE_AUTH) {
        return CorvError(err::ReadOnlyDatabase,
                         "The database " + FileText(what) + " is read-only and cannot be changed.");
    }
    return CorvError(err::EngineFailure, "The database engine failed: " + msg + ".");
}

void ThrowSqlite(sqlite3* db, int rc, std::string_view what) {
    const int ext = db ? sqlite3_extended_errcode(db) : rc;
    const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    // The extended code of the connection describes the last failure; fall back on rc if it disagrees.
    throw SqliteError((ext & 0xff) == (rc & 0xff) ? ext : rc, msg ? msg : "", what);
}

sqlite3* OpenScratchConnection() {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        CorvError e = SqliteError(rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw e;
    }
    // An unknown "name" in a filter must be an error, never quietly the text "name".
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    RegisterJetFunctions(db);
    return db;
}

}  // namespace engine

namespace {

using engine::SqliteError;

// Through SQLite's own file layer, never a descriptor of our own: closing any descriptor of a file drops
// every lock this process holds on it, so a look at the auction's header would leave its open connections
// unlocked, and the next program to close the file would take its log away. SQLite keeps a descriptor it
// closes while the process holds locks on the file open until those locks go.
bool ReadHeader(const std::string& path, char* buf, int n, int& got) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (!vfs) return false;
    std::vector<char> space(static_cast<std::size_t>(vfs->szOsFile));
    auto* file = reinterpret_cast<sqlite3_file*>(space.data());
    int flags = 0;
    const int rc = vfs->xOpen(vfs, path.c_str(), file, SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_READONLY, &flags);
    if (rc != SQLITE_OK) {
        if (file->pMethods) file->pMethods->xClose(file);
        return false;
    }
    sqlite3_int64 size = 0;
    bool read = file->pMethods->xFileSize(file, &size) == SQLITE_OK;
    got = static_cast<int>(std::min<sqlite3_int64>(size, n));
    if (read && got > 0) read = file->pMethods->xRead(file, buf, got, 0) == SQLITE_OK;
    file->pMethods->xClose(file);
    return read;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Nothing a foreign file defines may run against our data: no triggers, no views, no untrusted functions
// in its schema, and no writes to the schema tables themselves.
void Harden(sqlite3* db) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);  // "name" never silently a string
    sqlite3_busy_timeout(db, 5000);
}

[[noreturn]] void FailOpen(sqlite3* db, int rc, const std::string& path) {
    const std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw SqliteError(rc, msg, path);
}

// Reading the schema now makes a damaged or foreign file fail at open, not at the first query.
void ReadSchema(sqlite3* db, const std::string& path) {
    const int rc = sqlite3_exec(db, "SELECT count(*) FROM main.sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailOpen(db, sqlite3_extended_errcode(db), path);
}

std::shared_ptr<Database> OpenSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    // No SQLITE_OPEN_CREATE: a file that vanished since the check must not come back empty.
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) FailOpen(db, rc, path);
    Harden(db);
    ReadSchema(db, path);
    return std::make_shared<Database>(db, path, DatabaseOrigin::Sqlite);
}

// In the process's private folder: nobody else can read the copy or put a file of their own in its place.
std::string TempSqlitePath() {
    static std::atomic<unsigned> counter{0};
    return (std::filesystem::path(engine::PrivateTempFolder()) /
            ("jet-" + std::to_string(counter++) + ".sqlite"))
        .string();
}

void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    std::filesystem::remove(path + "-journal", ec);
}

std::shared_ptr<Database> OpenJet(const std::string& path) {
    const std::string tmp = TempSqlitePath();
    struct Cleanup {
        std::string p;
        ~Cleanup() { RemoveQuietly(p); }
    } cleanup{tmp};
    try {
        ConvertJetFile(path, tmp);
    } catch (const CorvError& e) {
        if (e.number() != err::DiskFull) throw;
        throw CorvError(err::DiskFull, "The temporary folder '" + engine::TempFolder() +
                                           "' is full: there is no room for the copy of '" + path + "'.");
    }

    sqlite3* file = nullptr;
    int rc = sqlite3_open_v2(tmp.c_str(), &file, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) FailOpen(file, rc, path);
    sqlite3* mem = nullptr;
    rc = sqlite3_open_v2(":memory:", &mem, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(file);
        FailOpen(mem, rc, path);
    }
    sqlite3_backup* b = sqlite3_backup_init(mem, "main", file, "main");
    if (!b) {
        sqlite3_close_v2(file);
        FailOpen(mem, sqlite3_errcode(mem), path);
    }
    rc = sqlite3_backup_step(b, -1);
    sqlite3_backup_finish(b);
    sqlite3_close_v2(file);
    if (rc != SQLITE_DONE) FailOpen(mem, rc, path);
    Harden(mem);
    ReadSchema(mem, path);
    return std::make_shared<Database>(mem, path, DatabaseOrigin::Jet);
}

}  // namespace

sqlite3* engine::OpenReaderConnection(const std::string& path) {
    sqlite3* db = nullptr;
    // One thread at a time uses a reader (a loader, or whoever holds its page source's lock), so SQLite's
    // own per-call locking is only cost: a column scan calls it several times a row.
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    Harden(db);
    RegisterJetFunctions(db);
    return db;
}

bool DbEngine::IsSqliteFile(const std::string& path) {
    char buf[16];
    int got = 0;
    if (!ReadHeader(path, buf, sizeof buf, got) || got < static_cast<int>(sizeof buf)) return false;
    return std::memcmp(buf, "SQLite format 3\0", 16) == 0;
}

bool DbEngine::IsJetFile(const std::string& path) {
    char buf[19];
    int got = 0;
    if (!ReadHeader(path, buf, sizeof buf, got) || got < static_cast<int>(sizeof buf)) return false;
    return std::memcmp(buf + 4, "Standard Jet DB", 15) == 0 ||
           std::memcmp(buf + 4, "Standard ACE DB", 15) == 0;
}

std::shared_ptr<Database> DbEngine::OpenDatabase(const std::string& path) {
    if (path.empty() || !FileExists(path)) {
        throw CorvError(err::FileNotFound, "Could not find the file '" + path + "'.");
    }
    std::error_code ec;
    const bool jet = IsJetFile(path);
    if (std::filesystem::is_directory(path, ec) || (!jet && !IsSqliteFile(path))) {
        throw CorvError(err::UnrecognizedFormat,
                        "The file '" + path + "' is not a database in a format the engine recognises.");
    }
    return jet ? OpenJet(path) : OpenSqlite(path);
}

std::shared_ptr<Database> DbEngine::OpenReadOnly(const std::string& path) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) FailOpen(db, rc, path);
    Harden(db);
    ReadSchema(db, path);
    return std::make_shared<Database>(db, path, DatabaseOrigin::Sqlite);
}

std::shared_ptr<Database> DbEngine::CreateDatabase(const std::string& path) {
    if (FileExists(path)) {
        throw CorvError(engine::kDatabaseExists, "The database '" + path + "' already exists.");
    }
    std::error_code ec;
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
        throw CorvError(err::PathNotFound, "Path not found: '" + parent.string() + "'.");
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) FailOpen(db, rc, path);
    Harden(db);
    // Write the header now so the new file is recognised by its content straight away.
    rc = sqlite3_exec(db, "PRAGMA user_version = 0; VACUUM", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const std::string msg = sqlite3_errmsg(db);
        sqlite3_close_v2(db);
        RemoveQuietly(path);
        throw SqliteError(rc, msg, path);
    }
    return std::make_shared<Database>(db, path, DatabaseOrigin::Sqlite);
}

namespace {

constexpr const char* kSidecars[] = {"-wal", "-shm", "-journal"};

bool AnySidecar(const std::string& path) {
    std::error_code ec;
    for (const char* s : kSidecars)
        if (std::filesystem::exists(path + s, ec)) return true;
    return false;
}

}  // namespace

bool DbEngine::HoldsDatabase(const std::string& path) {
    std::string owner = path;
    for (const std::string_view s : kSidecars)
        if (owner.ends_with(s)) owner.resize(owner.size() - s.size());
    const auto isDatabase = [](const std::string& p) { return IsSqliteFile(p) || IsJetFile(p); };
    return isDatabase(path) || (owner != path && isDatabase(owner));
}

bool DbEngine::FileOrSidecarExists(const std::string& path) {
    return FileExists(path) || AnySidecar(path);
}

void DbEngine::RemoveOrphanSidecars(const std::string& path) {
    if (FileExists(path)) return;
    std::error_code ec;
    for (const char* s : kSidecars) std::filesystem::remove(path + s, ec);
}

void DbEngine::RenameDatabaseFile(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    if (!FileExists(from)) throw CorvError(err::FileNotFound, "Could not find the file '" + from + "'.");
    bool whole = !IsSqliteFile(from);
    if (!whole) {
        try {
            // Reading it recovers a log or rolls back a hot journal; the checkpoint and the close of the
            // last connection leave the file holding everything committed, and no log beside it.
            std::shared_ptr<Database> db = OpenDatabase(from);
            db->Checkpoint();
            db->Close();
            whole = true;
        } catch (const CorvError& e) {
            if (e.number() != err::UnrecognizedFormat) throw;
        }
        // A log that outlived our close is still another connection's.
        if (whole && FileExists(from + "-wal")) throw SqliteError(SQLITE_BUSY, "", from);
    }
    if (!whole) {
        // Damaged beyond our reading: its companions go with it, ahead of it, so that a crash half-way
        // never leaves them beside another file.
        for (const char* s : kSidecars)
            if (FileExists(from + s)) fs::rename(from + s, to + s);
    }
    fs::rename(from, to);
}

DbEngine& Engine() {
    static DbEngine engine;
    return engine;
}

}  // namespace corv
