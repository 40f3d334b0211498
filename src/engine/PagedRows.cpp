// Record sets too large to hold: row ids in memory, rows read from the file a page at a time.

#include "engine/PagedRows.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <thread>

#include "engine/EngineInternal.h"
#include "engine/Schema.h"
#include "engine/SnapshotData.h"
#include "engine/TempFiles.h"

namespace corv {

PageSource::PageSource(sqlite3* db, std::string table, bool resultFile)
    : db_(db), table_(std::move(table)), resultFile_(resultFile) {}

PageSource::~PageSource() {
    for (auto& [used, st] : statements_) {
        sqlite3_finalize(st.run);
        sqlite3_finalize(st.one);
    }
    // Closing ends the read transaction, so the log can be checkpointed past it again; a result file goes.
    sqlite3_close_v2(db_);
}

std::unique_lock<std::mutex> PageSource::ReaderLock() {
    readersWaiting_.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock lock(mutex_);
    readersWaiting_.fetch_sub(1, std::memory_order_relaxed);
    return lock;
}

std::unique_lock<std::mutex> PageSource::LoaderLock() {
    while (readersWaiting_.load(std::memory_order_relaxed) > 0) std::this_thread::yield();
    return std::unique_lock(mutex_);
}

std::string PageSource::ColumnName(const std::vector<FieldInfo>& fields, int column) const {
    // A result file names its columns by position; a table by the names its rows were read with.
    return resultFile_ ? "c" + std::to_string(column)
                       : QuoteName(fields[static_cast<std::size_t>(column)].name);
}

sqlite3_stmt* PageSource::Prepare(const std::vector<FieldInfo>& fields, std::uint64_t used, bool run) {
    Statements& cached = statements_[used];
    sqlite3_stmt*& st = run ? cached.run : cached.one;
    if (!st) {
        std::string sql = "SELECT rowid";
        if (used == kAllColumns) {
            sql += ", *";
        } else {
            for (int i = 0; i < static_cast<int>(fields.size()); ++i)
                sql += (used >> std::min(i, 63)) & 1 ? ", " + ColumnName(fields, i) : ", NULL";
        }
        sql += " FROM " + table_ + (run ? " WHERE rowid BETWEEN ?1 AND ?2" : " WHERE rowid = ?1");
        const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
        if (rc != SQLITE_OK) engine::ThrowSqlite(db_, rc);
    }
    sqlite3_reset(st);
    return st;
}

namespace {

[[noreturn]] void RowsChanged() {
    throw CorvError(err::EngineFailure, "The rows of the record set could not be read again from the file.");
}

}  // namespace

std::shared_ptr<SnapshotData> PageSource::ReadRun(const std::vector<FieldInfo>& fields, std::int64_t first,
                                                  std::size_t count, std::uint64_t used) {
    sqlite3_stmt* st = Prepare(fields, used, true);
    sqlite3_bind_int64(st, 1, first);
    sqlite3_bind_int64(st, 2, first + static_cast<std::int64_t>(count) - 1);
    auto page = std::make_shared<SnapshotData>(fields);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) page->AppendRow(st, 1);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) engine::ThrowSqlite(db_, rc);
    page->Publish();
    if (page->RowCount() != count) RowsChanged();
    return page;
}

std::shared_ptr<SnapshotData> PageSource::ReadIds(const std::vector<FieldInfo>& fields,
                                                  const std::int64_t* ids, std::size_t count,
                                                  std::uint64_t used) {
    auto page = std::make_shared<SnapshotData>(fields);
    bool ascending = true;
    for (std::size_t i = 1; i < count && ascending; ++i) ascending = ids[i] > ids[i - 1];
    // A filtered table keeps its ids in order: one scan over their span beats a lookup per row.
    if (ascending && static_cast<std::uint64_t>(ids[count - 1] - ids[0]) < 4 * count) {
        sqlite3_stmt* st = Prepare(fields, used, true);
        sqlite3_bind_int64(st, 1, ids[0]);
        sqlite3_bind_int64(st, 2, ids[count - 1]);
        std::size_t next = 0;
        int rc;
        while (next < count && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (sqlite3_column_int64(st, 0) != ids[next]) continue;
            page->AppendRow(st, 1);
            ++next;
        }
        sqlite3_reset(st);
        if (next < count) RowsChanged();
    } else {
        sqlite3_stmt* st = Prepare(fields, used, false);
        for (std::size_t i = 0; i < count; ++i) {
            sqlite3_reset(st);
            sqlite3_bind_int64(st, 1, ids[i]);
            const int rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) RowsChanged();
            if (rc != SQLITE_ROW) engine::ThrowSqlite(db_, rc);
            page->AppendRow(st, 1);
        }
        sqlite3_reset(st);
    }
    page->Publish();
    return page;
}

namespace {

struct Finalizer {
    sqlite3_stmt* s = nullptr;
    ~Finalizer() { sqlite3_finalize(s); }
};

Value ColumnValue(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return Value(static_cast<std::int64_t>(sqlite3_column_int64(st, i)));
        case SQLITE_FLOAT:
            return Value(sqlite3_column_double(st, i));
        case SQLITE_TEXT:
            return Value(std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                     static_cast<std::size_t>(sqlite3_column_bytes(st, i))));
        case SQLITE_BLOB: {
            const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
            return Value(Blob{std::vector<unsigned char>(p, p + sqlite3_column_bytes(st, i))});
        }
        default:
            return Value();
    }
}

}  // namespace

std::size_t PageSource::ScanColumn(const std::vector<FieldInfo>& fields, int column, std::size_t rows,
                                   const std::function<IdSpan(std::size_t row)>& spanAt,
                                   const std::function<bool(const Value&)>& visit) {
    const std::string select =
        "SELECT rowid, " + ColumnName(fields, column) + " FROM " + table_ + " WHERE rowid ";
    Finalizer seek;
    Finalizer run;
    for (auto [st, where] : {std::pair{&seek.s, ">= ?1"}, std::pair{&run.s, "BETWEEN ?1 AND ?2"}})
        if (const int rc = sqlite3_prepare_v2(db_, (select + where).c_str(), -1, st, nullptr);
            rc != SQLITE_OK)
            engine::ThrowSqlite(db_, rc);
    const auto step = [this](sqlite3_stmt* st) {
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) RowsChanged();
        if (rc != SQLITE_ROW) engine::ThrowSqlite(db_, rc);
        return sqlite3_column_int64(st, 0);
    };
    // Listed ids that run on (a filter keeping most rows) are read in one forward scan; an id behind the
    // scan or far ahead of it is sought afresh.
    constexpr std::int64_t kSeekGap = 16;
    bool positioned = false;
    std::int64_t at = 0;
    std::size_t row = 0;
    while (row < rows) {
        const IdSpan span = spanAt(row);
        if (!span.ids) {
            // Pages whose ids run on from one another (a whole table) are one range, read without seeking.
            std::size_t n = span.count;
            for (IdSpan next; row + n < rows && !(next = spanAt(row + n)).ids &&
                              next.first == span.first + static_cast<std::int64_t>(n);)
                n += next.count;
            n = std::min(n, rows - row);
            sqlite3_bind_int64(run.s, 1, span.first);
            sqlite3_bind_int64(run.s, 2, span.first + static_cast<std::int64_t>(n) - 1);
            for (std::size_t k = 0; k < n; ++k, ++row) {
                if (step(run.s) != span.first + static_cast<std::int64_t>(k)) RowsChanged();
                if (!visit(ColumnValue(run.s, 1))) return row;
            }
            sqlite3_reset(run.s);
            positioned = false;
            continue;
        }
        for (std::size_t k = 0; k < span.count && row < rows; ++k, ++row) {
            const std::int64_t id = span.ids[k];
            if (!positioned || id < at || id - at > kSeekGap) {
                sqlite3_reset(seek.s);
                sqlite3_bind_int64(seek.s, 1, id);
                at = step(seek.s);
                positioned = true;
            }
            while (at < id) at = step(seek.s);
            if (at != id) RowsChanged();
            if (!visit(ColumnValue(seek.s, 1))) return row;
        }
    }
    return rows;
}

namespace engine {

namespace {

CorvError TempFolderFull() {
    return CorvError(err::DiskFull, "The temporary folder '" + TempFolder() +
                                        "' is full: there is no room for the rest of the result. Free some "
                                        "room there, or name a folder with room in TMPDIR.");
}

// Why the result file took no more rows (asked before anything else runs on t).
CorvError ResultFileError(sqlite3* t) {
    const int rc = sqlite3_extended_errcode(t);
    const int e = sqlite3_system_errno(t);
    if ((rc & 0xff) == SQLITE_FULL || ((rc & 0xff) == SQLITE_IOERR && (e == ENOSPC || e == EDQUOT)))
        return TempFolderFull();
    return CorvError(SqliteError(rc, "").number(),
                     "The rest of the result could not be written to the temporary folder '" + TempFolder() +
                         "': " + sqlite3_errmsg(t) + ".");
}

void Bind(sqlite3_stmt* ins, int i, const Value& v) {
    if (v.isInteger())
        sqlite3_bind_int64(ins, i, v.asInteger());
    else if (v.isReal())
        sqlite3_bind_double(ins, i, v.asDouble());
    else if (v.isText())
        sqlite3_bind_text64(ins, i, v.text().data(), v.text().size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    else if (v.isBlob())
        sqlite3_bind_blob64(ins, i, v.blob().bytes.data(), v.blob().bytes.size(), SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(ins, i);
}

}  // namespace

CorvError ReadError(sqlite3* db, const std::string& what) {
    const int rc = sqlite3_extended_errcode(db);
    if ((rc & 0xff) == SQLITE_FULL) return TempFolderFull();
    return SqliteError(rc, sqlite3_errmsg(db), what);
}

std::shared_ptr<SnapshotData> OpenPagedTable(sqlite3* db, const std::string& table, sqlite3*& idle) {
    idle = nullptr;
    // The read transaction begins with the first step below and lasts as long as the source.
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return nullptr;
    Finalizer all;
    const std::string select = "SELECT * FROM " + table;
    sqlite3_stmt* ids = nullptr;
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &all.s, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, ("SELECT rowid FROM " + table + " ORDER BY rowid").c_str(), -1, &ids,
                           nullptr) != SQLITE_OK) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    std::vector<FieldInfo> fields = StatementFields(all.s);
    std::vector<std::int64_t> first;
    int rc = SQLITE_ROW;
    while (first.size() < kFirstRows && (rc = sqlite3_step(ids)) == SQLITE_ROW)
        first.push_back(sqlite3_column_int64(ids, 0));
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        sqlite3_finalize(ids);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return nullptr;
    }
    if (rc == SQLITE_DONE) {
        // Small enough to hold: read it whole in the same transaction, and keep the connection for reuse.
        sqlite3_finalize(ids);
        auto data = std::make_shared<SnapshotData>(std::move(fields));
        rc = data->AppendRows(all.s);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_DONE) return nullptr;
        data->ShrinkToFit();
        idle = db;
        return data;
    }
    auto source = std::make_shared<PageSource>(db, table, false);
    auto data = std::make_shared<SnapshotData>(std::move(fields), source);
    for (std::int64_t id : first) data->AppendRowId(id);
    SnapshotData* d = data.get();
    const auto step = [d, source, ids] {
        auto lock = source->LoaderLock();
        int rc = SQLITE_ROW;
        for (std::size_t n = 0; n < kFirstRows && (rc = sqlite3_step(ids)) == SQLITE_ROW; ++n)
            d->AppendRowId(sqlite3_column_int64(ids, 0));
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) ThrowSqlite(source->Db(), rc);
        return rc;
    };
    const auto finish = [d, source, ids] {
        {
            auto lock = source->LoaderLock();
            sqlite3_finalize(ids);
        }
        d->FinishRowIds();
    };
    data->LoadInBackground(step, finish, nullptr);
    return data;
}

std::shared_ptr<SnapshotData> PageQueryResult(const std::shared_ptr<SnapshotData>& first, sqlite3* db,
                                              sqlite3_stmt* stmt, const std::string& what) {
    std::string path;
    try {
        path = NewPrivateTempFile("rows");
    } catch (const CorvError&) {
        return nullptr;
    }
    sqlite3* tmp = nullptr;
    sqlite3_stmt* ins = nullptr;
    const auto give_up = [&]() -> std::shared_ptr<SnapshotData> {
        sqlite3_finalize(ins);
        sqlite3_close_v2(tmp);
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return nullptr;
    };
    if (sqlite3_open_v2(path.c_str(), &tmp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        return give_up();
    const int n = first->ColumnCount();
    // The journal, in memory, lets a write the full folder refuses roll back: the rows committed before stay
    // readable, where a file without one is left damaged.
    std::string create =
        "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF; CREATE TABLE r(";
    std::string insert = "INSERT INTO r VALUES(";
    for (int i = 0; i < n; ++i) {
        create += (i ? ", c" : "c") + std::to_string(i);
        insert += i ? ", ?" : "?";
    }
    create += ")";
    insert += ")";
    if (sqlite3_exec(tmp, create.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(tmp, insert.c_str(), -1, &ins, nullptr) != SQLITE_OK)
        return give_up();
    // Open for good: from here on the rows are this connection's alone, and the kernel drops them with the
    // process, however it ends.
    std::error_code ec;
    std::filesystem::remove(path, ec);

    auto source = std::make_shared<PageSource>(tmp, "main.r", true);
    auto data = std::make_shared<SnapshotData>(first->Fields(), source);
    // The rows already read go first; a file that cannot take them leaves the whole result to memory.
    std::vector<std::int64_t> ids;
    bool written = sqlite3_exec(tmp, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (std::size_t r = 0; written && r < first->RowCount(); ++r) {
        for (int i = 0; i < n; ++i) Bind(ins, i + 1, first->Cell(r, i));
        written = sqlite3_step(ins) == SQLITE_DONE;
        sqlite3_reset(ins);
        ids.push_back(sqlite3_last_insert_rowid(tmp));
    }
    if (!written || sqlite3_exec(tmp, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_finalize(ins);
        return nullptr;
    }
    for (std::int64_t id : ids) data->AppendRowId(id);
    SnapshotData* d = data.get();
    // The query steps outside the lock, so a slow query never holds up the rows being shown.
    const auto step = [d, source, db, stmt, ins, n, what] {
        std::vector<sqlite3_value*> batch;
        int rc = SQLITE_ROW;
        for (std::size_t k = 0; k < SnapshotData::kPageRows && (rc = sqlite3_step(stmt)) == SQLITE_ROW; ++k)
            for (int i = 0; i < n; ++i) batch.push_back(sqlite3_value_dup(sqlite3_column_value(stmt, i)));
        struct Free {
            std::vector<sqlite3_value*>& b;
            ~Free() {
                for (sqlite3_value* v : b) sqlite3_value_free(v);
            }
        } release{batch};
        const bool failed = rc != SQLITE_ROW && rc != SQLITE_DONE && !d->StopRequested();
        const CorvError failure = failed ? ReadError(db, what) : CorvError(0, {});
        auto lock = source->LoaderLock();
        sqlite3* t = source->Db();
        const auto refused = [t] {
            const CorvError e = ResultFileError(t);
            if (!sqlite3_get_autocommit(t)) sqlite3_exec(t, "ROLLBACK", nullptr, nullptr, nullptr);
            throw e;
        };
        std::vector<std::int64_t> ids;
        ids.reserve(batch.size() / static_cast<std::size_t>(n));
        if (sqlite3_exec(t, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) refused();
        for (std::size_t at = 0; at < batch.size(); at += n) {
            for (int i = 0; i < n; ++i) sqlite3_bind_value(ins, i + 1, batch[at + i]);
            if (sqlite3_step(ins) != SQLITE_DONE) refused();
            sqlite3_reset(ins);
            ids.push_back(sqlite3_last_insert_rowid(t));
        }
        if (sqlite3_exec(t, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) refused();
        // Only rows the file holds for good become the set's: those before a failure stay readable.
        for (std::int64_t id : ids) d->AppendRowId(id);
        if (failed) throw failure;
        return rc;
    };
    const auto finish = [d, source, db, stmt, ins] {
        sqlite3_finalize(stmt);
        sqlite3_close_v2(db);
        {
            auto lock = source->LoaderLock();
            sqlite3_finalize(ins);
        }
        d->FinishRowIds();
    };
    data->LoadInBackground(step, finish, db);
    return data;
}

}  // namespace engine
}  // namespace corv
