#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/Workbook.h"

namespace corv {

// A value of the pivot cache: what a source cell holds, reduced to what the cache distinguishes.
struct CacheValue {
    enum Kind : std::uint8_t { Number, Text, Boolean, Blank } kind = Blank;
    double number = 0;
    std::string_view text;  // into the source sheet
};

struct CacheField {
    std::string name;
    bool axis = false;                    // a row or column field: its values are enumerated as items
    std::vector<CacheValue> items;        // axis fields: the distinct values, sorted as the pivot shows them
    std::vector<std::uint32_t> ofRecord;  // axis fields: each record's item
    bool hasNumber = false, hasText = false, hasBoolean = false, hasBlank = false, allIntegers = true;
    double minValue = 0, maxValue = 0;
};

// One line of the table along an axis: a combination of items, a subtotal of an outer item, or the
// grand total. members holds item indexes of the axis fields, outermost first.
struct PivotLine {
    enum Type : std::uint8_t { Data, Subtotal, Grand } type = Data;
    std::vector<std::uint32_t> members;
    int repeated = 0;  // leading members the same as the line before
};

// Everything the cache and table parts and the rendered cells need, computed from the source range as it
// is when the workbook is written.
struct PivotModel {
    long recordCount = 0;
    std::vector<CacheField> fields;
    std::vector<PivotLine> rowLines, columnLines;
    // Sum of the data field at (row line, column line), present where records fall.
    std::unordered_map<std::uint64_t, double> sums;
    long firstRow = 3, firstColumn = 1;  // where the table starts on its sheet
    int firstHeaderRow = 1, firstDataRow = 1, firstDataColumn = 1;
    long rows = 0, columns = 0;  // the table's extent
    std::string dataCaption;     // "Sum of " + the data field
};

// Throws CorvError when the source range is not a list the table can be built on.
PivotModel BuildPivotModel(const Workbook& book, const PivotTableDef& def);
// The table's cells as the spreadsheet shows them, onto a sheet of its own.
void RenderPivot(const PivotModel& model, const PivotTableDef& def, Worksheet& sheet);
// "A1" style reference.
std::string CellRef(long row, long column);

}  // namespace corv
