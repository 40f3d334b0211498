#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/PageReader.h"

struct sqlite3;
struct sqlite3_stmt;

namespace corv {

class SnapshotData;

// The connection a paged set reads its rows from, shared by the set and the sets sorted or filtered from
// it. It is either a read-only connection to the auction held in one read transaction (BEGIN and a first
// read), which is the set's snapshot, or a private temporary file holding a query's result, whose name is
// gone as soon as it is open: nothing of the result outlives the process, however it ends. Threads: the
// connection is used by one thread at a time, whoever holds its mutex: the loader while it appends
// (LoaderLock), and any thread reading a page (ReaderLock: the user interface's for the rows it shows,
// workers for sort, filter and export). The loader takes the lock batch after batch; it lets a waiting reader
// go first, or the rows on screen would wait for the whole load.
class PageSource : public PageReader {
  public:
    // table: the quoted table the rows are read from, with its schema. resultFile: db is a query's result
    // file, whose columns are named by position.
    PageSource(sqlite3* db, std::string table, bool resultFile);
    ~PageSource() override;
    PageSource(const PageSource&) = delete;
    PageSource& operator=(const PageSource&) = delete;

    std::unique_lock<std::mutex> ReaderLock() override;
    std::unique_lock<std::mutex> LoaderLock();
    bool HoldsFileSnapshot() const override { return !resultFile_; }
    sqlite3* Db() const { return db_; }  // under the lock

    std::shared_ptr<SnapshotData> ReadRun(const std::vector<FieldInfo>& fields, std::int64_t first,
                                          std::size_t count, std::uint64_t used) override;
    std::shared_ptr<SnapshotData> ReadIds(const std::vector<FieldInfo>& fields, const std::int64_t* ids,
                                          std::size_t count, std::uint64_t used) override;
    std::size_t ScanColumn(const std::vector<FieldInfo>& fields, int column, std::size_t rows,
                           const std::function<IdSpan(std::size_t row)>& spanAt,
                           const std::function<bool(const Value&)>& visit) override;

  private:
    struct Statements {
        sqlite3_stmt* run = nullptr;  // rows of a range of ids
        sqlite3_stmt* one = nullptr;  // the row of one id
    };
    sqlite3_stmt* Prepare(const std::vector<FieldInfo>& fields, std::uint64_t used, bool run);
    std::string ColumnName(const std::vector<FieldInfo>& fields, int column) const;

    std::mutex mutex_;
    std::atomic<int> readersWaiting_{0};
    sqlite3* db_;
    std::string table_;
    bool resultFile_;
    std::map<std::uint64_t, Statements> statements_;  // by the columns they read
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
// nullptr when no temporary file can be made or take the first rows; stmt and db are then left to the
// caller. A temporary folder that fills ends the load with an error naming it; the rows before stay.
std::shared_ptr<SnapshotData> PageQueryResult(const std::shared_ptr<SnapshotData>& first, sqlite3* db,
                                              sqlite3_stmt* stmt, const std::string& what);

}  // namespace engine
}  // namespace corv
