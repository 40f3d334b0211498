#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Recordset.h"

struct sqlite3;
struct sqlite3_stmt;

namespace corv {

class SnapshotData;

// The connection a paged set reads its rows from, shared by the set and the sets sorted or filtered from
// it. It is either a read-only connection to the auction held in one read transaction (BEGIN and a first
// read), which is the set's snapshot, or a private temporary file holding a query's result, removed when
// the source goes. Threads: the connection is used by one thread at a time, whoever holds Mutex(): the
// loader while it appends, and any thread reading a page (the user interface's for the rows it shows,
// workers for sort, filter and export).
class PageSource {
  public:
    // table: the quoted table the rows are read from, with its schema. tempPath: the file to remove at the
    // end, or empty.
    PageSource(sqlite3* db, std::string table, std::string tempPath);
    ~PageSource();
    PageSource(const PageSource&) = delete;
    PageSource& operator=(const PageSource&) = delete;

    std::mutex& Mutex() { return mutex_; }
    // Whether the rows are the auction's own, read in a transaction held open (not a result file).
    bool HoldsFileSnapshot() const { return tempPath_.empty(); }
    sqlite3* Db() const { return db_; }  // under Mutex()

    // Under Mutex(): the rows of ids first..first+count-1, or of the ids listed, in that order, as a page
    // with fields. Throws when the file cannot be read.
    std::shared_ptr<SnapshotData> ReadRun(const std::vector<FieldInfo>& fields, std::int64_t first,
                                          std::size_t count);
    std::shared_ptr<SnapshotData> ReadIds(const std::vector<FieldInfo>& fields, const std::int64_t* ids,
                                          std::size_t count);
    // Under Mutex(): one column of rows 0..rows-1, whose ids idOf gives, in that order, without reading
    // the row's other columns. Stops where visit returns false and returns that row, else rows.
    std::size_t ScanColumn(const std::vector<FieldInfo>& fields, int column, std::size_t rows,
                           const std::function<std::int64_t(std::size_t)>& idOf,
                           const std::function<bool(const Value&)>& visit);

  private:
    sqlite3_stmt* Prepare(sqlite3_stmt*& cached, const char* where);

    std::mutex mutex_;
    sqlite3* db_;
    std::string table_;
    std::string tempPath_;
    sqlite3_stmt* run_ = nullptr;
    sqlite3_stmt* one_ = nullptr;
};

namespace engine {

// Rows a set reads before it opens; past that a set loads in the background.
constexpr std::size_t kFirstRows = 4096;

// The whole table main.table (quoted) as a paged set on db, a read-only connection of its own: its row ids
// are read in the background in the table's order. A table of at most kFirstRows rows is read into memory
// and db is handed back in idle for reuse (nullptr when db went to the set). nullptr when the table has no
// row ids; db is then left as it was.
std::shared_ptr<SnapshotData> OpenPagedTable(sqlite3* db, const std::string& table, sqlite3*& idle);

// The rest of a query's result, whose first rows are in first and whose statement stmt (on db, the
// loader's own connection) has more: written in the background to a temporary file that is then paged.
// nullptr when no temporary file can be made; stmt and db are then left to the caller.
std::shared_ptr<SnapshotData> PageQueryResult(const std::shared_ptr<SnapshotData>& first, sqlite3* db,
                                              sqlite3_stmt* stmt, const std::string& what);

}  // namespace engine
}  // namespace corv
