#include "queries/SortFilterText.h"

namespace corv {

std::string ValueListQuery(const std::string& column, const std::string& table) {
    if (column.empty() || table.empty()) return {};
    return "SELECT DISTINCT [" + column + "] FROM [" + table + "]";
}

std::string ValueListText(const Value& value, const FieldInfo& field) {
    if (value.isNull()) return {};
    if (field.type == FieldType::Boolean && value.isNumber())
        return value.asInteger() != 0 ? "True" : "False";
    // Numbers, money and dates (stored as "YYYY-MM-DD HH:MM:SS", which compares as a date) as they are.
    return value.toString();
}

}  // namespace corv
