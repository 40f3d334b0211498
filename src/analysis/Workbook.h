#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/Spreadsheet.h"

namespace corv {

inline constexpr long kMaxSheetRows = 1048576;
inline constexpr long kMaxSheetColumns = 16384;

// How a stored cell is written; each kind maps to one cell style.
enum class StoredKind : std::uint8_t { Empty, Number, Currency, Date, DateTime, Boolean, Text };

// 16 bytes a cell: a 300,000-row export stays small. Text lives in the sheet's arena.
struct StoredCell {
    union {
        double number;
        struct {
            std::uint32_t offset;
            std::uint32_t length;
        } text;
    };
    StoredKind kind = StoredKind::Empty;
    StoredCell() : number(0) {}
};

// One worksheet held in memory until the workbook is written.
class Worksheet {
  public:
    explicit Worksheet(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    // Throws CorvError past the sheet's last row or column.
    void Set(long row, long column, const SheetValue& value);
    void SetNumber(long row, long column, double number);
    void SetText(long row, long column, std::string_view text);

    long RowCount() const { return static_cast<long>(rows_.size()); }
    long ColumnCount() const { return static_cast<long>(widths_.size()); }
    const StoredCell* At(long row, long column) const;  // nullptr or an empty cell when nothing is there
    const std::vector<StoredCell>& Row(long row) const { return rows_[row - 1]; }
    std::string_view Text(const StoredCell& cell) const {
        return std::string_view(arena_).substr(cell.text.offset, cell.text.length);
    }
    // Character width of each column's widest content.
    const std::vector<std::uint16_t>& Widths() const { return widths_; }

  private:
    StoredCell& Slot(long row, long column);
    void Widen(long column, std::size_t chars);

    std::string name_;
    std::vector<std::vector<StoredCell>> rows_;
    std::string arena_;
    std::vector<std::uint16_t> widths_;
};

// A pivot table as the wizard and the field calls define it; its cache and layout are worked out when the
// workbook is written, from the source range as it then is.
struct PivotTableDef {
    std::string name;
    std::string sheet;                // the sheet holding the table
    SheetRange source;                // sheet name as the workbook spells it
    std::vector<std::string> fields;  // the source's header row
    std::vector<int> rowFields;
    std::vector<int> columnFields;
    std::vector<int> dataFields;
    std::vector<bool> subtotals;  // per field: the automatic subtotal is on
    bool rowGrand = true;         // each row's total, in a column at the right
    bool columnGrand = true;      // each column's total, in a row at the bottom
};

struct Workbook {
    std::vector<std::unique_ptr<Worksheet>> sheets;
    std::vector<PivotTableDef> pivots;
    int activeSheet = 0;
    bool written = false;

    Workbook();
    // -1 when absent; case does not matter.
    int SheetIndex(std::string_view name) const;
    Worksheet& Active() { return *sheets[activeSheet]; }
    // "SheetN" with the lowest N not taken.
    std::string NewSheetName() const;
};

// Writes the workbook as an .xlsx file; throws CorvError when the file cannot be written.
void WriteXlsx(const Workbook& book, const std::string& path);

// Excel's serial day number of "YYYY-MM-DD[ HH:MM:SS]"; false when the text is no such date or falls
// before 1 March 1900, where the serial numbers are not continuous.
bool DateSerial(std::string_view text, double& serial, bool& hasTime);

}  // namespace corv
