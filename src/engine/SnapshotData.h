#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/FieldInfo.h"
#include "engine/Value.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;

namespace corv {

class PageReader;

// An append-only list whose elements never move. One thread appends while others read elements below a
// count published to them separately (the slot table is replaced, never freed, when it grows).
template <class T>
class AppendList {
  public:
    AppendList() = default;
    AppendList(const AppendList&) = delete;
    AppendList& operator=(const AppendList&) = delete;
    ~AppendList() {
        T** table = slots_.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < size_; ++i) delete table[i];
    }

    // Appender only.
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    template <class... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == capacity_) Grow();
        T* item = new T(std::forward<Args>(args)...);
        slots_.load(std::memory_order_relaxed)[size_++] = item;
        return *item;
    }

    T& operator[](std::size_t i) const { return *slots_.load(std::memory_order_acquire)[i]; }

  private:
    void Grow() {
        const std::size_t capacity = capacity_ ? capacity_ * 2 : 4;
        auto table = std::make_unique<T*[]>(capacity);
        T** old = slots_.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < size_; ++i) table[i] = old[i];
        slots_.store(table.get(), std::memory_order_release);
        tables_.push_back(std::move(table));
        capacity_ = capacity;
    }
    std::atomic<T**> slots_{nullptr};
    std::vector<std::unique_ptr<T*[]>> tables_;  // a reader may still hold an older one
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The rows of a record set, held column by column. A cell costs a tag byte and an 8-byte payload; text
// lives in large blocks per column, so a million-row set needs no per-cell allocation and Cell() is O(1).
//
// A set may be filled by a loader thread while others read it. Threads: the loader (or, without one, the
// thread that builds the set) owns every count and capacity below; readers on any thread touch only buffer
// addresses and cells below RowCount(), whose release/acquire publication orders the cells before them.
// A buffer a reader may hold is never moved, grown or freed while a loader runs.
//
// A large set keeps its rows in the file instead (paged): it holds only the row ids of source's table in
// its own order, a page of ids per kPageRows rows, and reads rows a page at a time inside source's read
// transaction into a cache of at most kCachePages pages. A loader appends ids as it appends rows. Pages of
// ids are published whole, so a page once read never changes. Threads: the cache and its counters are
// guarded by cacheMutex_, taken before source's own mutex, never after.
class SnapshotData {
  public:
    enum class Tag : std::uint8_t { Null, Integer, Real, Text, LongText, Blob };
    static constexpr std::size_t kPageRows = 1024;
    static constexpr std::size_t kCachePages = 48;

    explicit SnapshotData(std::vector<FieldInfo> fields);
    SnapshotData(std::vector<FieldInfo> fields, std::shared_ptr<PageReader> source);
    ~SnapshotData();
    SnapshotData(const SnapshotData&) = delete;
    SnapshotData& operator=(const SnapshotData&) = delete;

    const std::vector<FieldInfo>& Fields() const { return fields_; }
    int ColumnCount() const { return static_cast<int>(fields_.size()); }
    // Rows readable now; grows while a loader runs.
    std::size_t RowCount() const { return published_.load(std::memory_order_acquire); }

    bool IsPaged() const { return source_ != nullptr; }
    const std::shared_ptr<PageReader>& Source() const { return source_; }
    // Whether the rows are read from the database file in a read transaction the source holds open.
    bool HoldsFileSnapshot() const;
    // The set's rows are the whole page: in-memory sets answer themselves, with first 0; paged sets the
    // cached page holding row, kept alive by keep, and the row number of its first row. Throws when the
    // page cannot be read.
    const SnapshotData* PageOf(std::size_t row, std::size_t& first,
                               std::shared_ptr<const SnapshotData>& keep) const;
    // Paged sets only: the page holding row read afresh, bypassing the cache (for scans that would only
    // push the pages on screen out of it), with only the columns whose bit is set in used (bit 63 for
    // every column from 63 on) and the others Null; first is the row number of its first row.
    std::shared_ptr<const SnapshotData> ReadPageColumns(std::size_t row, std::uint64_t used,
                                                        std::size_t& first) const;
    std::int64_t RowId(std::size_t row) const;  // paged sets only
    // The cells of one column of the rows there now, in order, until visit returns false; returns the row
    // it stopped at, or RowCount(). A paged set reads that column alone from its file, bypassing the cache;
    // visit must not read this set's rows. Throws when the file cannot be read.
    std::size_t ScanColumn(int column, const std::function<bool(const Value&)>& visit) const;
    // Builders and loaders of paged sets: ids become rows a page at a time, and the last page at Finish.
    void AppendRowId(std::int64_t id);
    void FinishRowIds();
    // Pages read from the file so far, and pages cached now.
    std::size_t PageReads() const;
    std::size_t CachedPages() const;

    // In-memory sets only.
    Tag TagAt(std::size_t row, int column) const {
        return columns_[column].chunks[row >> kChunkBits].tags[row & (kChunkRows - 1)];
    }
    Value Cell(std::size_t row, int column) const;
    // Text of a Text cell without copying; empty for other cells.
    std::string_view TextAt(std::size_t row, int column) const;
    // Hands the cell to SQLite as a function or virtual-table result.
    void ResultCell(sqlite3_context* ctx, std::size_t row, int column) const;

    // Appends the rows the statement yields, at most maxRows of them, reading each cell once. Returns the
    // last sqlite3_step code: SQLITE_DONE when all rows were read, SQLITE_ROW when maxRows were.
    int AppendRows(sqlite3_stmt* stmt, std::size_t maxRows = SIZE_MAX);
    void AppendValue(int column, const Value& v);  // for builders; call EndRow after each row's cells
    void EndRow();
    void ShrinkToFit();  // not once a loader has been started
    // For page readers: appends the statement's current row, its columns from firstColumn on, unseen by
    // readers until Publish().
    void AppendRow(sqlite3_stmt* stmt, int firstColumn);
    void Publish();

    // Approximate heap use, for benchmarks; waits for a loader to end.
    std::size_t MemoryBytes() const;

    // Background loading. The loader takes over db and stmt, steps stmt to its end appending rows, then
    // finalizes and closes both on its own thread. what names the file in error texts.
    void LoadInBackground(sqlite3* db, sqlite3_stmt* stmt, std::string what);
    // The same for any loader: step appends the next batch and returns SQLITE_ROW while more remain and
    // SQLITE_DONE at the end, throwing on failure; finish runs last on the loader's thread, whatever
    // happened. interruptible is a connection that stopping may interrupt (the loader's own), or nullptr.
    void LoadInBackground(std::function<int()> step, std::function<void()> finish, sqlite3* interruptible);
    bool StopRequested() const { return cancel_.load(std::memory_order_relaxed); }
    // True once every row is there (always, for a set filled without a loader).
    bool IsComplete() const;
    // True while the loader still runs.
    bool IsLoading() const;
    // Blocks until at least rows rows are there or loading has ended; returns RowCount(). Throws the
    // loading failure, if any.
    std::size_t WaitForRows(std::size_t rows) const;
    // Blocks until loading has ended; throws the loading failure, if any. Returns IsComplete() (false only
    // when loading was stopped).
    bool WaitComplete() const;
    // Stops the loader and joins it; the rows read so far stay. Safe from any thread, more than once.
    void StopLoading() const;

    // Open record sets reading these rows. Loading goes on while one is left and stops with the last.
    void AddUser() const;
    void ReleaseUser() const;

  private:
    // Rows live in chunks of kChunkRows so a growing set is never copied; the first chunk grows from small,
    // so a one-row catalog lookup stays small. Text goes into blocks of at most kTextBlock bytes.
    static constexpr unsigned kChunkBits = 16;
    static constexpr std::size_t kChunkRows = std::size_t{1} << kChunkBits;
    static constexpr std::size_t kTextBlock = std::size_t{1} << 20;
    static constexpr std::size_t kPublishEvery = 1024;
    static constexpr std::size_t kFirstCapacity = 16;
    // Fixed-size storage: readers use only the addresses, which are set before the buffer is published.
    struct Chunk {
        std::unique_ptr<Tag[]> tags;
        std::unique_ptr<std::uint64_t[]> payload;  // int64, double bits, packed text place, or an index
        std::size_t capacity = 0;                  // owner only
    };
    struct TextBlock {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;  // owner only
        std::size_t used = 0;      // owner only
    };
    struct Column {
        AppendList<Chunk> chunks;
        AppendList<TextBlock> text;
        AppendList<std::string> longTexts;
        AppendList<Blob> blobs;
        std::size_t cells = 0;  // owner only; one ahead of the rows while a row is being filled
    };
    struct IdPage {
        std::int64_t first = 0;  // the first id; the ids run on from it when ids is empty
        std::size_t count = 0;
        std::unique_ptr<std::int64_t[]> ids;  // the page's ids in order, when they do not run on
    };
    std::shared_ptr<const SnapshotData> ReadPage(std::size_t page,
                                                 std::uint64_t used = ~std::uint64_t{0}) const;
    void PushIdPage();

    void Push(Column& c, Tag tag, std::uint64_t payload);
    void PushText(Column& c, const char* p, std::size_t n);
    void DropPartialRow();
    void RunLoader(const std::function<int()>& step, const std::function<void()>& finish);

    std::vector<FieldInfo> fields_;
    // Paged sets.
    std::shared_ptr<PageReader> source_;
    AppendList<IdPage> idPages_;
    std::vector<std::int64_t> pendingIds_;  // owner only: ids of the page being filled
    mutable std::mutex cacheMutex_;
    mutable std::list<std::size_t> lru_;  // page numbers, most recent first
    mutable std::unordered_map<
        std::size_t, std::pair<std::shared_ptr<const SnapshotData>, std::list<std::size_t>::iterator>>
        cache_;
    mutable std::size_t pageReads_ = 0;

    std::vector<Column> columns_;
    std::size_t rows_ = 0;  // owner's own count, ahead of published_ within a batch
    std::atomic<std::size_t> published_{0};
    bool concurrent_ = false;  // a loader may be appending: buffers are allocated full size

    // Loader state.
    mutable std::mutex loadMutex_;
    mutable std::condition_variable loadChanged_;
    // Written by the loader under loadMutex_, so a waiter sees the change with its wake-up; read by any
    // thread, the user-interface thread's polling included, without the lock.
    std::atomic<bool> loading_{false};
    std::atomic<bool> complete_{true};
    std::exception_ptr loadError_;
    sqlite3* loaderDb_ = nullptr;  // for interrupting; guarded by loadMutex_
    mutable std::atomic<bool> cancel_{false};
    mutable std::atomic<int> users_{0};
    mutable std::mutex joinMutex_;
    mutable std::thread loader_;
};

// Reads the result columns of a prepared statement: name, declared type and the Jet type it stands for.
std::vector<FieldInfo> StatementFields(sqlite3_stmt* stmt);

}  // namespace corv
