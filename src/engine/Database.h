#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Recordset.h"

struct sqlite3;

namespace corv {

class TableClaims;

struct TableDef {
    std::string Name;
};

enum class DatabaseOrigin { Sqlite, Jet };

// Readers and the writer.
// A Database is one connection, used by one thread at a time (the user interface's). A record set too large
// to read at once loads the rest on a read-only connection of its own, on a thread of its own. The auction
// file is kept in SQLite's write-ahead-log mode (KeepWriteAheadLog, set by the store whenever it opens an
// auction), so:
//  - a loader never blocks a write (import, table builders, drop), and a write never waits for a loader;
//  - a record set's read transaction is its stable snapshot: it keeps the rows as they were when it opened;
//  - every new query starts a new read transaction, so it sees every change committed through any handle.
// Round results files stay in the journal mode they came with: the program only reads them.
// A database file is renamed or replaced only once it is whole on its own (DbEngine::RenameDatabaseFile:
// opened, checkpointed, closed); a -wal, -shm or -journal file never ends up beside a file it does not belong
// to.

// An open database file. SQLite files are opened read-write in place; Jet files are held as an in-memory
// copy and are read-only. All SQL given to it is Jet SQL.
class Database : public std::enable_shared_from_this<Database> {
  public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& Name() const { return path_; }  // the path it was opened from
    DatabaseOrigin Origin() const { return origin_; }
    bool IsOpen() const { return db_ != nullptr; }

    // Runs exactly one action statement. A text holding a second statement is refused and nothing runs.
    void Execute(std::string_view jetSql);
    // source: SQL text or a table name.
    std::shared_ptr<Recordset> OpenRecordset(std::string_view source,
                                             RecordsetType type = RecordsetType::Dynaset);
    // Every table, the engine's own (names beginning "MSys") included, in creation order.
    std::vector<TableDef> TableDefs();
    void Close();

    // A transaction spans every file the statements reach, external files named with IN included.
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransaction() const;

    // Closes the idle connection kept for reading record sets, for work that needs the file to itself
    // (changing its journal mode).
    void ReleaseIdleReader();

    // Puts a file in the engine's own format into write-ahead-log mode for good. A file that cannot be
    // switched (read-only, or held by another program) stays as it is.
    void KeepWriteAheadLog();
    // Copies into the file as much of the write-ahead log as no reader still needs, without waiting for any:
    // another program reading must not hold the window up. Once the log is copied whole, the next write
    // starts it afresh and cuts it back (journal_size_limit).
    void Checkpoint();

    // ---- Copying and schema work for the store (DatabaseCopy.cpp) ----
    // Every table of from, with its columns' declared types and its rows, created here. Nothing else comes
    // along: no triggers, views or indexes. Runs in the caller's transaction; a failure is a CorvError.
    void CopyTablesFrom(Database& from);
    // This database, whole, into the existing empty file at path, which is closed again on return.
    void BackupTo(const std::string& path);
    // The tables with a column of that name (letter case aside), in creation order.
    std::vector<std::string> TablesWithColumn(const std::string& column);
    // An index on one column; the names may hold any character.
    void CreateIndex(const std::string& name, const std::string& table, const std::string& column);

    // For tools and tests that need SQLite itself (benchmarks, fixture writers).
    sqlite3* Handle() const { return db_; }

    // Construction is DbEngine's business.
    Database(sqlite3* db, std::string path, DatabaseOrigin origin);

  private:
    std::string AttachAlias(const std::string& path);
    // Rows of an SQLite SELECT as texts, Null as nullopt: what a crosstab learns its columns from.
    std::vector<std::vector<std::optional<std::string>>> ReadRows(const std::string& sql);

    sqlite3* db_ = nullptr;
    std::string path_;
    DatabaseOrigin origin_;
    std::map<std::string, std::string> attached_;  // external file path -> schema alias
    std::shared_ptr<TableClaims> claims_;  // the tables open sets were read from; shared with the sets
    // Engine bookkeeping.
    int transDepth_ = 0;         // nested BeginTrans levels
    bool attaching_ = false;     // ATTACH is allowed only while the engine itself attaches
    bool readOnlyHit_ = false;   // the last statement was refused for writing to a read-only file
    sqlite3* reader_ = nullptr;  // an idle read-only connection kept for the next record set
    static int Authorize(void* self, int action, const char* a, const char* b, const char* schema,
                         const char* trigger);
};

// The engine object. Files are recognised by their content, never by their name.
class DbEngine {
  public:
    // SQLite file: read-write, shared (waits a few seconds for another program's lock before error 3045).
    // Jet 3/4 file: converted in a separate reader process with a time limit into an in-memory copy.
    // Missing file: 3024. Anything else: 3343.
    std::shared_ptr<Database> OpenDatabase(const std::string& path);
    // A file in the engine's own format opened read-only through SQLite alone: its bytes are not looked at
    // first, so the locks the program's other connections hold on it stay whole. For a worker thread that
    // reads a file the program has open; the Database is then that thread's. Not for Jet files.
    std::shared_ptr<Database> OpenReadOnly(const std::string& path);
    // A new, empty database file in the engine's own format; error 3204-like if it exists.
    std::shared_ptr<Database> CreateDatabase(const std::string& path);

    // Renames a database file so that it is whole at its new name. A file in the engine's own format is first
    // opened, checkpointed and closed; 3045 when another connection still holds its log, and nothing moves.
    // One the engine cannot read (damaged) takes its -wal, -shm and -journal files along. File system
    // failures arrive as std::filesystem::filesystem_error.
    void RenameDatabaseFile(const std::string& from, const std::string& to);
    // Removes the -wal, -shm and -journal files named after path when no file is there to own them.
    static void RemoveOrphanSidecars(const std::string& path);
    // Whether a file is at path or any of the -wal, -shm and -journal files named after it.
    static bool FileOrSidecarExists(const std::string& path);

    // Whether path is a database file (by content), or the -wal, -shm or -journal file of one: writing over
    // it loses data, and while a connection holds it, damages the file under that connection.
    static bool HoldsDatabase(const std::string& path);
    // Whether the file at path is a Jet database (by content). False for missing files.
    static bool IsJetFile(const std::string& path);
    static bool IsSqliteFile(const std::string& path);
};

// The engine, created on first use and kept for the program's life.
DbEngine& Engine();

}  // namespace corv
