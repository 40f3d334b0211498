#include "engine/SnapshotData.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/EngineInternal.h"

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

SnapshotData::~SnapshotData() {
    StopLoading();
}

void SnapshotData::Reserve(std::size_t rows) {
    const std::size_t first = std::min(rows, kChunkRows);
    for (Column& c : columns_) {
        if (c.tags.empty()) {
            c.lastTags = &c.tags.emplace_back();
            c.lastPayload = &c.payload.emplace_back();
            c.lastTags->reserve(first);
            c.lastPayload->reserve(first);
        }
    }
}

void SnapshotData::ShrinkToFit() {
    if (concurrent_) return;
    for (Column& c : columns_) {
        if (c.lastTags) {
            c.lastTags->shrink_to_fit();
            c.lastPayload->shrink_to_fit();
        }
        if (c.lastText) c.lastText->shrink_to_fit();
    }
}

std::size_t SnapshotData::MemoryBytes() const {
    WaitForRows(SIZE_MAX);
    std::size_t n = 0;
    for (const Column& c : columns_) {
        for (std::size_t i = 0; i < c.tags.size(); ++i) n += c.tags[i].capacity();
        for (std::size_t i = 0; i < c.payload.size(); ++i)
            n += c.payload[i].capacity() * sizeof(std::uint64_t);
        for (std::size_t i = 0; i < c.text.size(); ++i) n += c.text[i].capacity();
        for (std::size_t i = 0; i < c.longTexts.size(); ++i) n += c.longTexts[i].capacity();
        for (std::size_t i = 0; i < c.blobs.size(); ++i) n += c.blobs[i].bytes.capacity();
    }
    return n;
}

void SnapshotData::Push(Column& c, Tag tag, std::uint64_t payload) {
    const std::size_t chunk = rows_ >> kChunkBits;
    if (chunk == c.tags.size()) {
        // Later chunks are filled completely: reserve once instead of growing. Under a loader nothing may
        // grow, since readers hold on to the buffers.
        c.lastTags = &c.tags.emplace_back();
        c.lastPayload = &c.payload.emplace_back();
        if (chunk > 0 || concurrent_) {
            c.lastTags->reserve(kChunkRows);
            c.lastPayload->reserve(kChunkRows);
        }
    }
    c.lastTags->push_back(tag);
    c.lastPayload->push_back(payload);
}

void SnapshotData::PushText(Column& c, const char* p, std::size_t n) {
    if (n >= kTextBlock) {
        const std::size_t index = c.longTexts.size();
        c.longTexts.emplace_back(p, n);
        Push(c, Tag::LongText, index);
        return;
    }
    if (!c.lastText || c.lastText->size() + n > kTextBlock) {
        // The first block grows from small; later ones are the full size at once.
        c.lastText = &c.text.emplace_back();
        if (c.text.size() > 1 || concurrent_) c.lastText->reserve(kTextBlock);
    }
    std::string& block = *c.lastText;
    const std::uint64_t place = (static_cast<std::uint64_t>(c.text.size() - 1) << (2 * kLenBits)) |
                                (static_cast<std::uint64_t>(block.size()) << kLenBits) | n;
    block.append(p, n);
    Push(c, Tag::Text, place);
}

void SnapshotData::DropPartialRow() {
    // Only cells of the unfinished row go; an emptied chunk stays for the next row to fill.
    for (Column& c : columns_) {
        if (c.tags.empty()) continue;
        const std::size_t cells = ((c.tags.size() - 1) << kChunkBits) + c.lastTags->size();
        if (cells > rows_) {
            c.lastTags->pop_back();
            c.lastPayload->pop_back();
        }
    }
}

void SnapshotData::Publish() {
    published_.store(rows_, std::memory_order_release);
}

void SnapshotData::EndRow() {
    ++rows_;
    Publish();
}

int SnapshotData::AppendRows(sqlite3_stmt* stmt, std::size_t maxRows) {
    const int n = ColumnCount();
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
        for (int i = 0; i < n; ++i) {
            Column& c = columns_[i];
            switch (sqlite3_column_type(stmt, i)) {
                case SQLITE_INTEGER:
                    Push(c, Tag::Integer, static_cast<std::uint64_t>(sqlite3_column_int64(stmt, i)));
                    break;
                case SQLITE_FLOAT:
                    Push(c, Tag::Real, DoubleBits(sqlite3_column_double(stmt, i)));
                    break;
                case SQLITE_TEXT: {
                    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                    PushText(c, p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
                    break;
                }
                case SQLITE_BLOB: {
                    const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, i));
                    const int len = sqlite3_column_bytes(stmt, i);
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
        if (c.lastTags) {
            c.lastTags->reserve(kChunkRows);
            c.lastPayload->reserve(kChunkRows);
        }
        if (c.lastText) c.lastText->reserve(kTextBlock);
    }
    concurrent_ = true;
    {
        std::lock_guard lock(loadMutex_);
        loading_ = true;
        complete_ = false;
        loaderDb_ = db;
    }
    loader_ = std::thread([this, db, stmt, what = std::move(what)] { RunLoader(db, stmt, what); });
}

void SnapshotData::RunLoader(sqlite3* db, sqlite3_stmt* stmt, const std::string& what) {
    std::exception_ptr error;
    bool complete = false;
    try {
        int rc = SQLITE_ROW;
        while (!cancel_.load(std::memory_order_relaxed) && rc == SQLITE_ROW) {
            rc = AppendRows(stmt, kPublishEvery * 4);
            {
                // Taking the lock orders the wake-up after the publication a waiter checks.
                std::lock_guard lock(loadMutex_);
            }
            loadChanged_.notify_all();
        }
        if (rc == SQLITE_DONE) {
            complete = true;
        } else if (rc != SQLITE_ROW && !cancel_.load()) {
            error = std::make_exception_ptr(
                engine::SqliteError(sqlite3_extended_errcode(db), sqlite3_errmsg(db), what));
        }
    } catch (...) {
        error = std::current_exception();
    }
    {
        std::lock_guard lock(loadMutex_);
        loaderDb_ = nullptr;
    }
    // Ending the read before saying so lets a writer waiting on the file go ahead at once.
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    {
        std::lock_guard lock(loadMutex_);
        loading_ = false;
        complete_ = complete;
        loadError_ = error;
    }
    loadChanged_.notify_all();
}

bool SnapshotData::IsComplete() const {
    std::lock_guard lock(loadMutex_);
    return complete_;
}

bool SnapshotData::IsLoading() const {
    std::lock_guard lock(loadMutex_);
    return loading_;
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
    const std::uint64_t p = c.payload[row >> kChunkBits][row & (kChunkRows - 1)];
    switch (TagAt(row, column)) {
        case Tag::Text:
            return std::string_view(c.text[p >> (2 * kLenBits)].data() + ((p >> kLenBits) & kLowMask),
                                    p & kLowMask);
        case Tag::LongText:
            return c.longTexts[p];
        default:
            return {};
    }
}

Value SnapshotData::Cell(std::size_t row, int column) const {
    const Column& c = columns_[column];
    const std::uint64_t p = c.payload[row >> kChunkBits][row & (kChunkRows - 1)];
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
    const Column& c = columns_[column];
    const std::uint64_t p = c.payload[row >> kChunkBits][row & (kChunkRows - 1)];
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
