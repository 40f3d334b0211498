#include "store/SnapshotData.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

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

SnapshotData::SnapshotData(std::vector<FieldInfo> fields) : fields_(std::move(fields)) {
    columns_.resize(fields_.size());
}

void SnapshotData::Reserve(std::size_t rows) {
    const std::size_t first = std::min(rows, kChunkRows);
    for (Column& c : columns_) {
        if (c.tags.empty()) {
            c.tags.emplace_back().reserve(first);
            c.payload.emplace_back().reserve(first);
        }
    }
}

void SnapshotData::ShrinkToFit() {
    for (Column& c : columns_) {
        if (!c.tags.empty()) {
            c.tags.back().shrink_to_fit();
            c.payload.back().shrink_to_fit();
        }
        if (!c.text.empty()) c.text.back().shrink_to_fit();
    }
}

std::size_t SnapshotData::MemoryBytes() const {
    std::size_t n = 0;
    for (const Column& c : columns_) {
        for (const auto& t : c.tags) n += t.capacity();
        for (const auto& p : c.payload) n += p.capacity() * sizeof(std::uint64_t);
        for (const auto& b : c.text) n += b.capacity();
        for (const auto& s : c.longTexts) n += s.capacity();
        for (const auto& b : c.blobs) n += b.bytes.capacity();
    }
    return n;
}

void SnapshotData::Push(Column& c, Tag tag, std::uint64_t payload) {
    const std::size_t chunk = rows_ >> kChunkBits;
    if (chunk == c.tags.size()) {
        // Later chunks are filled completely: reserve once instead of growing.
        c.tags.emplace_back();
        c.payload.emplace_back();
        if (chunk > 0) {
            c.tags.back().reserve(kChunkRows);
            c.payload.back().reserve(kChunkRows);
        }
    }
    c.tags[chunk].push_back(tag);
    c.payload[chunk].push_back(payload);
}

void SnapshotData::PushText(Column& c, const char* p, std::size_t n) {
    if (n >= kTextBlock) {
        Push(c, Tag::LongText, c.longTexts.size());
        c.longTexts.emplace_back(p, n);
        return;
    }
    if (c.text.empty() || c.text.back().size() + n > kTextBlock) {
        // The first block grows from small; later ones are the full size at once.
        c.text.emplace_back();
        if (c.text.size() > 1) c.text.back().reserve(kTextBlock);
    }
    std::string& block = c.text.back();
    const std::uint64_t place = (static_cast<std::uint64_t>(c.text.size() - 1) << (2 * kLenBits)) |
                                (static_cast<std::uint64_t>(block.size()) << kLenBits) | n;
    block.append(p, n);
    Push(c, Tag::Text, place);
}

void SnapshotData::DropPartialRow() {
    for (Column& c : columns_) {
        if (c.tags.empty()) continue;
        const std::size_t cells = ((c.tags.size() - 1) << kChunkBits) + c.tags.back().size();
        if (cells > rows_) {
            c.tags.back().pop_back();
            c.payload.back().pop_back();
            if (c.tags.back().empty() && c.tags.size() > 1) {
                c.tags.pop_back();
                c.payload.pop_back();
            }
        }
    }
}

int SnapshotData::AppendRows(sqlite3_stmt* stmt) {
    const int n = ColumnCount();
    // Holding the connection's (recursive) mutex makes the per-cell API calls' own locking nearly free.
    sqlite3_mutex* mutex = sqlite3_db_mutex(sqlite3_db_handle(stmt));
    sqlite3_mutex_enter(mutex);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
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
                    Push(c, Tag::Blob, c.blobs.size());
                    c.blobs.push_back(Blob{std::vector<unsigned char>(p, p + len)});
                    break;
                }
                default:
                    Push(c, Tag::Null, 0);
                    break;
            }
        }
        ++rows_;
    }
    sqlite3_mutex_leave(mutex);
    if (rc != SQLITE_DONE) DropPartialRow();
    return rc;
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
        Push(c, Tag::Blob, c.blobs.size());
        c.blobs.push_back(v.blob());
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
