#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/Recordset.h"
#include "store/Value.h"

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_context;

namespace corv {

// The rows of a record set, held column by column. A cell costs a tag byte and an 8-byte payload; text
// lives in large blocks per column, so a million-row set needs no per-cell allocation and Cell() is O(1).
class SnapshotData {
  public:
    enum class Tag : std::uint8_t { Null, Integer, Real, Text, LongText, Blob };

    explicit SnapshotData(std::vector<FieldInfo> fields);

    const std::vector<FieldInfo>& Fields() const { return fields_; }
    int ColumnCount() const { return static_cast<int>(fields_.size()); }
    std::size_t RowCount() const { return rows_; }

    Tag TagAt(std::size_t row, int column) const {
        return columns_[column].tags[row >> kChunkBits][row & (kChunkRows - 1)];
    }
    Value Cell(std::size_t row, int column) const;
    // Text of a Text cell without copying; empty for other cells.
    std::string_view TextAt(std::size_t row, int column) const;
    // Hands the cell to SQLite as a function or virtual-table result.
    void ResultCell(sqlite3_context* ctx, std::size_t row, int column) const;

    // Appends every row the statement yields, reading each cell once. Returns the last sqlite3_step code
    // (SQLITE_DONE when all rows were read).
    int AppendRows(sqlite3_stmt* stmt);
    void AppendValue(int column, const Value& v);  // for builders; call EndRow after each row's cells
    void EndRow() { ++rows_; }
    void Reserve(std::size_t rows);
    void ShrinkToFit();

    // Approximate heap use, for benchmarks.
    std::size_t MemoryBytes() const;

  private:
    // Rows live in chunks of kChunkRows so a growing set is never copied; the first chunk grows from small,
    // so a one-row catalog lookup stays small. Text goes into blocks of at most kTextBlock bytes.
    static constexpr unsigned kChunkBits = 16;
    static constexpr std::size_t kChunkRows = std::size_t{1} << kChunkBits;
    static constexpr std::size_t kTextBlock = std::size_t{1} << 20;
    struct Column {
        std::vector<std::vector<Tag>> tags;
        std::vector<std::vector<std::uint64_t>>
            payload;                    // int64, double bits, packed text place, or an index
        std::vector<std::string> text;  // blocks
        std::vector<std::string> longTexts;
        std::vector<Blob> blobs;
    };
    void Push(Column& c, Tag tag, std::uint64_t payload);
    void PushText(Column& c, const char* p, std::size_t n);
    void DropPartialRow();

    std::vector<FieldInfo> fields_;
    std::vector<Column> columns_;
    std::size_t rows_ = 0;
};

// Reads the result columns of a prepared statement: name, declared type and the Jet type it stands for.
std::vector<FieldInfo> StatementFields(sqlite3_stmt* stmt);

}  // namespace corv
