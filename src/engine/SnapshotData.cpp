#include "engine/SnapshotData.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/EngineInternal.h"
#include "engine/PageReader.h"

namespace corv {

namespace {
constexpr unsigned kLenBits = 20;  // a text block holds at most 2^20 bytes, so both fit
constexpr std::uint64_t kLowMask = (std::uint64_t{1} << kLenBits) - 1;

std::uint64_t DoubleBits(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}
double BitsDouble(std::uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}
}  // namespace

SnapshotData::SnapshotData(std::vector<FieldInfo> fields)
    : fields_(std::move(fields)), columns_(fields_.size()) {}

SnapshotData::SnapshotData(std::vector<FieldInfo> fields, std::shared_ptr<PageReader> source)
    : fields_(std::move(fields)), source_(std::move(source)) {}

SnapshotData::~SnapshotData() {
    StopLoading();
}

namespace {

// Storage a reader may see: never value-initialised, so untouched pages of a full-size buffer cost no memory.
template <class T>
std::unique_ptr<T[]> Storage(std::size_t n) {
    return std::unique_ptr<T[]>(new T[n]);
}

template <class T>
void Resize(std::unique_ptr<T[]>& buffer, std::size_t used, std::size_t capacity) {
    std::unique_ptr<T[]> next = Storage<T>(capacity);
    if (used) std::memcpy(next.get(), buffer.get(), used * sizeof(T));
    buffer = std::move(next);
}

}  // namespace

void SnapshotData::ShrinkToFit() {
    if (concurrent_) return;
    for (Column& c : columns_) {
        if (!c.chunks.empty()) {
            Chunk& last = c.chunks[c.chunks.size() - 1];
            const std::size_t used = c.cells - ((c.chunks.size() - 1) << kChunkBits);
            if (used < last.capacity) {
                Resize(last.tags, used, used);
                Resize(last.payload, used, used);
                last.capacity = used;
            }
        }
        if (!c.text.empty()) {
            TextBlock& block = c.text[c.text.size() - 1];
            if (block.used < block.capacity) {
                Resize(block.bytes, block.used, block.used);
                block.capacity = block.used;
            }
        }
    }
}

std::size_t SnapshotData::MemoryBytes() const {
    WaitForRows(SIZE_MAX);
    std::size_t n = 0;
    if (source_) {
        for (std::size_t i = 0; i < idPages_.size(); ++i)
            n += sizeof(IdPage) + (idPages_[i].ids ? idPages_[i].count * sizeof(std::int64_t) : 0);
        std::lock_guard lock(cacheMutex_);
        for (const auto& entry : cache_) n += entry.second.first->MemoryBytes();
        return n;
    }
    for (const Column& c : columns_) {
        for (std::size_t i = 0; i < c.chunks.size(); ++i)
            n += c.chunks[i].capacity * (sizeof(Tag) + sizeof(std::uint64_t));
        for (std::size_t i = 0; i < c.text.size(); ++i) n += c.text[i].capacity;
        for (std::size_t i = 0; i < c.longTexts.size(); ++i) n += c.longTexts[i].capacity();
        for (std::size_t i = 0; i < c.blobs.size(); ++i) n += c.blobs[i].bytes.capacity();
    }
    return n;
}

void SnapshotData::Push(Column& c, Tag tag, std::uint64_t payload) {
    const std::size_t chunk = c.cells >> kChunkBits;
    const std::size_t index = c.cells & (kChunkRows - 1);
    if (chunk == c.chunks.size()) {
        // Later chunks are filled completely, and under a loader nothing may grow: full size at once.
        const std::size_t capacity = (chunk > 0 || concurrent_) ? kChunkRows : kFirstCapacity;
        Chunk& fresh = c.chunks.emplace_back();
        fresh.tags = Storage<Tag>(capacity);
        fresh.payload = Storage<std::uint64_t>(capacity);
        fresh.capacity = capacity;
    }
    Chunk& last = c.chunks[chunk];
    if (index == last.capacity) {
        // Only the first chunk of a set without a loader grows.
        const std::size_t capacity = std::min(std::max(last.capacity * 2, kFirstCapacity), kChunkRows);
        Resize(last.tags, index, capacity);
        Resize(last.payload, index, capacity);
        last.capacity = capacity;
    }
    last.tags[index] = tag;
    last.payload[index] = payload;
    ++c.cells;
}

void SnapshotData::PushText(Column& c, const char* p, std::size_t n) {
    if (n >= kTextBlock) {
        const std::size_t index = c.longTexts.size();
        c.longTexts.emplace_back(p, n);
        Push(c, Tag::LongText, index);
        return;
    }
    TextBlock* block = c.text.empty() ? nullptr : &c.text[c.text.size() - 1];
    if (!block || block->used + n > kTextBlock) {
        // The first block grows from small; later ones are the full size at once.
        block = &c.text.emplace_back();
        block->capacity = (c.text.size() > 1 || concurrent_) ? kTextBlock : std::max<std::size_t>(n, 64);
        block->bytes = Storage<char>(block->capacity);
    } else if (block->used + n > block->capacity) {
        const std::size_t capacity = std::min(std::max(block->capacity * 2, block->used + n), kTextBlock);
        Resize(block->bytes, block->used, capacity);
        block->capacity = capacity;
    }
    const std::uint64_t place = (static_cast<std::uint64_t>(c.text.size() - 1) << (2 * kLenBits)) |
                                (static_cast<std::uint64_t>(block->used) << kLenBits) | n;
    if (n) std::memcpy(block->bytes.get() + block->used, p, n);
    block->used += n;
    Push(c, Tag::Text, place);
}

void SnapshotData::DropPartialRow() {
    // Only cells of the unfinished row go; their places are simply filled again by the next row.
    for (Column& c : columns_) c.cells = std::min(c.cells, rows_);
}

void SnapshotData::Publish() {
    published_.store(rows_, std::memory_order_release);
}

void SnapshotData::EndRow() {
    ++rows_;
    Publish();
}

// The statement's current row, its columns from firstColumn on; not yet published.
void SnapshotData::AppendRow(sqlite3_stmt* stmt, int firstColumn) {
    const int n = ColumnCount();
    for (int i = 0; i < n; ++i) {
        Column& c = columns_[i];
        const int k = i + firstColumn;
        switch (sqlite3_column_type(stmt, k)) {
            case SQLITE_INTEGER:
                Push(c, Tag::Integer, static_cast<std::uint64_t>(sqlite3_column_int64(stmt, k)));
                break;
            case SQLITE_FLOAT:
                Push(c, Tag::Real, DoubleBits(sqlite3_column_double(stmt, k)));
                break;
            case SQLITE_TEXT: {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, k));
                PushText(c, p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, k)));
                break;
            }
            case SQLITE_BLOB: {
                const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, k));
                const int len = sqlite3_column_bytes(stmt, k);
                const std::size_t index = c.blobs.size();
                c.blobs.emplace_back(Blob{std::vector<unsigned char>(p, p + len)});
                Push(c, Tag::Blob, index);
                break;
            }
            default:
                Push(c, Tag::Null, 0);
                break;
        }
    }
    ++rows_;
}

int SnapshotData::AppendRows(sqlite3_stmt* stmt, std::size_t maxRows) {
    // Holding the connection's (recursive) mutex makes the per-cell API calls' own locking nearly free.
    struct Held {
        explicit Held(sqlite3_mutex* mutex) : m(mutex) { sqlite3_mutex_enter(m); }
        ~Held() { sqlite3_mutex_leave(m); }
        sqlite3_mutex* m;
    };
    std::optional<Held> held;
    held.emplace(sqlite3_db_mutex(sqlite3_db_handle(stmt)));
    int rc = SQLITE_ROW;
    std::size_t done = 0;
    while (done < maxRows && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        AppendRow(stmt, 0);
        if (++done % kPublishEvery == 0) Publish();
    }
    held.reset();
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) DropPartialRow();
    Publish();
    return rc;
}

void SnapshotData::LoadInBackground(sqlite3* db, sqlite3_stmt* stmt, std::string what) {
    // The buffers being filled get their full size now, while nobody else can read them yet.
    for (Column& c : columns_) {
        if (!c.chunks.empty()) {
            Chunk& last = c.chunks[c.chunks.size() - 1];
            const std::size_t used = c.cells - ((c.chunks.size() - 1) << kChunkBits);
            if (last.capacity < kChunkRows) {
                Resize(last.tags, used, kChunkRows);
                Resize(last.payload, used, kChunkRows);
                last.capacity = kChunkRows;
            }
        }
        if (!c.text.empty()) {
            TextBlock& block = c.text[c.text.size() - 1];
            if (block.capacity < kTextBlock) {
                Resize(block.bytes, block.used, kTextBlock);
                block.capacity = kTextBlock;
            }
        }
    }
    concurrent_ = true;
    const auto step = [this, db, stmt, what = std::move(what)] {
        const int rc = AppendRows(stmt, kPublishEvery * 4);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE && !StopRequested()) throw engine::ReadError(db, what);
        return rc;
    };
    // Ending the read before saying so lets a writer waiting on the file go ahead at once.
    const auto finish = [db, stmt] {
        sqlite3_finalize(stmt);
        sqlite3_close_v2(db);
    };
    LoadInBackground(step, finish, db);
}

void SnapshotData::LoadInBackground(std::function<int()> step, std::function<void()> finish,
                                    sqlite3* interruptible) {
    {
        std::lock_guard lock(loadMutex_);
        loading_ = true;
        complete_ = false;
        loaderDb_ = interruptible;
    }
    loader_ =
        std::thread([this, step = std::move(step), finish = std::move(finish)] { RunLoader(step, finish); });
}

void SnapshotData::RunLoader(const std::function<int()>& step, const std::function<void()>& finish) {
    std::exception_ptr error;
    bool complete = false;
    try {
        int rc = SQLITE_ROW;
        while (!cancel_.load(std::memory_order_relaxed) && rc == SQLITE_ROW) {
            rc = step();
            {
                // Taking the lock orders the wake-up after the publication a waiter checks.
                std::lock_guard lock(loadMutex_);
            }
            loadChanged_.notify_all();
        }
        complete = rc == SQLITE_DONE;
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard lock(loadMutex_);
        loaderDb_ = nullptr;
    }
    try {
        finish();
    } catch (...) {
        if (!error) error = std::current_exception();
        complete = false;
    }
    {
        std::lock_guard lock(loadMutex_);
        loading_ = false;
        complete_ = complete;
        loadError_ = error;
    }
    loadChanged_.notify_all();
}

bool SnapshotData::IsComplete() const {
    return complete_.load();
}

bool SnapshotData::IsLoading() const {
    return loading_.load();
}

std::size_t SnapshotData::WaitForRows(std::size_t rows) const {
    std::unique_lock lock(loadMutex_);
    loadChanged_.wait(lock, [&] { return !loading_ || RowCount() >= rows; });
    if (loadError_ && RowCount() < rows) std::rethrow_exception(loadError_);
    return RowCount();
}

bool SnapshotData::WaitComplete() const {
    WaitForRows(SIZE_MAX);
    std::lock_guard lock(loadMutex_);
    if (loadError_) std::rethrow_exception(loadError_);
    return complete_;
}

void SnapshotData::StopLoading() const {
    std::lock_guard join(joinMutex_);
    if (!loader_.joinable()) return;
    cancel_.store(true);
    {
        std::lock_guard lock(loadMutex_);
        if (loaderDb_) sqlite3_interrupt(loaderDb_);
    }
    loader_.join();
}

void SnapshotData::AddUser() const {
    users_.fetch_add(1, std::memory_order_relaxed);
}

void SnapshotData::ReleaseUser() const {
    if (users_.fetch_sub(1, std::memory_order_acq_rel) == 1) StopLoading();
}

void SnapshotData::AppendValue(int column, const Value& v) {
    Column& c = columns_[column];
    if (v.isInteger()) {
        Push(c, Tag::Integer, static_cast<std::uint64_t>(v.asInteger()));
    } else if (v.isReal()) {
        Push(c, Tag::Real, DoubleBits(v.asDouble()));
    } else if (v.isText()) {
        PushText(c, v.text().data(), v.text().size());
    } else if (v.isBlob()) {
        const std::size_t index = c.blobs.size();
        c.blobs.emplace_back(v.blob());
        Push(c, Tag::Blob, index);
    } else {
        Push(c, Tag::Null, 0);
    }
}

std::string_view SnapshotData::TextAt(std::size_t row, int column) const {
    const Column& c = columns_[column];
    const std::uint64_t p = c.chunks[row >> kChunkBits].payload[row & (kChunkRows - 1)];
    switch (TagAt(row, column)) {
        case Tag::Text:
            return std::string_view(c.text[p >> (2 * kLenBits)].bytes.get() + ((p >> kLenBits) & kLowMask),
                                    p & kLowMask);
        case Tag::LongText:
            return c.longTexts[p];
        default:
            return {};
    }
}

Value SnapshotData::Cell(std::size_t row, int column) const {
    if (source_) {
        std::size_t first = 0;
        std::shared_ptr<const SnapshotData> keep;
        return PageOf(row, first, keep)->Cell(row - first, column);
    }
    const Column& c = columns_[column];
    const std::uint64_t p = c.chunks[row >> kChunkBits].payload[row & (kChunkRows - 1)];
    switch (TagAt(row, column)) {
        case Tag::Null:
            return Value();
        case Tag::Integer:
            return Value(static_cast<std::int64_t>(p));
        case Tag::Real:
            return Value(BitsDouble(p));
        case Tag::Text:
        case Tag::LongText:
            return Value(std::string(TextAt(row, column)));
        case Tag::Blob:
            return Value(c.blobs[p]);
    }
    return Value();
}

void SnapshotData::ResultCell(sqlite3_context* ctx, std::size_t row, int column) const {
    if (source_) {
        // The page may leave the cache as soon as this returns: SQLite gets its own copy.
        const Value v = Cell(row, column);
        if (v.isInteger())
            sqlite3_result_int64(ctx, v.asInteger());
        else if (v.isReal())
            sqlite3_result_double(ctx, v.asDouble());
        else if (v.isText())
            sqlite3_result_text64(ctx, v.text().data(), v.text().size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        else if (v.isBlob())
            sqlite3_result_blob64(ctx, v.blob().bytes.data(), v.blob().bytes.size(), SQLITE_TRANSIENT);
        else
            sqlite3_result_null(ctx);
        return;
    }
    const Column& c = columns_[column];
    const std::uint64_t p = c.chunks[row >> kChunkBits].payload[row & (kChunkRows - 1)];
    switch (TagAt(row, column)) {
        case Tag::Null:
            sqlite3_result_null(ctx);
            break;
        case Tag::Integer:
            sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(p));
            break;
        case Tag::Real:
            sqlite3_result_double(ctx, BitsDouble(p));
            break;
        case Tag::Text:
        case Tag::LongText: {
            std::string_view s = TextAt(row, column);
            // The snapshot outlives every statement that reads it.
            sqlite3_result_text64(ctx, s.data(), s.size(), SQLITE_STATIC, SQLITE_UTF8);
            break;
        }
        case Tag::Blob: {
            const auto& b = c.blobs[p].bytes;
            sqlite3_result_blob64(ctx, b.data(), b.size(), SQLITE_STATIC);
            break;
        }
    }
}

const SnapshotData* SnapshotData::PageOf(std::size_t row, std::size_t& first,
                                         std::shared_ptr<const SnapshotData>& keep) const {
    if (!source_) {
        first = 0;
        return this;
    }
    const std::size_t page = row / kPageRows;
    first = page * kPageRows;
    std::lock_guard lock(cacheMutex_);
    if (auto it = cache_.find(page); it != cache_.end()) {
        lru_.splice(lru_.begin(), lru_, it->second.second);
        keep = it->second.first;
        return keep.get();
    }
    keep = ReadPage(page);
    ++pageReads_;
    lru_.push_front(page);
    cache_.emplace(page, std::make_pair(keep, lru_.begin()));
    if (cache_.size() > kCachePages) {
        cache_.erase(lru_.back());
        lru_.pop_back();
    }
    return keep.get();
}

std::shared_ptr<const SnapshotData> SnapshotData::ReadPage(std::size_t page, std::uint64_t used) const {
    const IdPage& ids = idPages_[page];
    auto lock = source_->ReaderLock();
    return ids.ids ? source_->ReadIds(fields_, ids.ids.get(), ids.count, used)
                   : source_->ReadRun(fields_, ids.first, ids.count, used);
}

std::shared_ptr<const SnapshotData> SnapshotData::ReadPageColumns(std::size_t row, std::uint64_t used,
                                                                  std::size_t& first) const {
    first = row / kPageRows * kPageRows;
    return ReadPage(row / kPageRows, used);
}

std::size_t SnapshotData::ScanColumn(int column, const std::function<bool(const Value&)>& visit) const {
    const std::size_t rows = RowCount();
    if (!source_) {
        for (std::size_t r = 0; r < rows; ++r)
            if (!visit(Cell(r, column))) return r;
        return rows;
    }
    auto lock = source_->ReaderLock();
    const auto spanAt = [this](std::size_t row) {
        const IdPage& ids = idPages_[row / kPageRows];
        const std::size_t i = row % kPageRows;
        return PageReader::IdSpan{ids.first + static_cast<std::int64_t>(i), ids.count - i,
                                  ids.ids ? ids.ids.get() + i : nullptr};
    };
    return source_->ScanColumn(fields_, column, rows, spanAt, visit);
}

bool SnapshotData::HoldsFileSnapshot() const {
    return source_ && source_->HoldsFileSnapshot();
}

std::int64_t SnapshotData::RowId(std::size_t row) const {
    const IdPage& ids = idPages_[row / kPageRows];
    const std::size_t i = row % kPageRows;
    return ids.ids ? ids.ids[i] : ids.first + static_cast<std::int64_t>(i);
}

void SnapshotData::AppendRowId(std::int64_t id) {
    pendingIds_.push_back(id);
    if (pendingIds_.size() == kPageRows) PushIdPage();
}

void SnapshotData::FinishRowIds() {
    if (!pendingIds_.empty()) PushIdPage();
}

void SnapshotData::PushIdPage() {
    IdPage& page = idPages_.emplace_back();
    page.first = pendingIds_.front();
    page.count = pendingIds_.size();
    bool runs = true;
    for (std::size_t i = 1; i < pendingIds_.size() && runs; ++i)
        runs = pendingIds_[i] == page.first + static_cast<std::int64_t>(i);
    if (!runs) {
        page.ids = std::make_unique<std::int64_t[]>(page.count);
        std::memcpy(page.ids.get(), pendingIds_.data(), page.count * sizeof(std::int64_t));
    }
    rows_ += page.count;
    pendingIds_.clear();
    Publish();
}

std::size_t SnapshotData::PageReads() const {
    std::lock_guard lock(cacheMutex_);
    return pageReads_;
}

std::size_t SnapshotData::CachedPages() const {
    std::lock_guard lock(cacheMutex_);
    return cache_.size();
}

std::vector<FieldInfo> StatementFields(sqlite3_stmt* stmt) {
    std::vector<FieldInfo> fields;
    const int n = sqlite3_column_count(stmt);
    fields.reserve(n);
    for (int i = 0; i < n; ++i) {
        FieldInfo f;
        const char* name = sqlite3_column_name(stmt, i);
        f.name = name ? name : "";
        const char* decl = sqlite3_column_decltype(stmt, i);
        f.declaredType = decl ? decl : "";
        f.type = FieldTypeFromDeclared(f.declaredType);
        fields.push_back(std::move(f));
    }
    return fields;
}

}  // namespace corv
