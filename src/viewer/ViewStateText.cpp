#include "viewer/ViewStateText.h"

#include <cctype>

namespace corv {

std::string SortText(const std::vector<SortKey>& keys) {
    std::string text;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        text += "[" + keys[i].column + "]";
        if (!keys[i].ascending) text += " DESC";
        if (i + 1 < keys.size()) text += ", ";
    }
    return text;
}

bool IsNumericValue(const std::string& value) {
    std::size_t i = 0;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
    const auto digits = [&value, &i] {
        const std::size_t start = i;
        while (i < value.size() && std::isdigit(static_cast<unsigned char>(value[i]))) ++i;
        return i > start;
    };
    if (!digits()) return false;
    if (i < value.size() && value[i] == '.') {
        ++i;
        if (!digits()) return false;
    }
    return i == value.size();
}

std::string ValueTerm(const std::string& column, const std::string& value, bool booleanColumn) {
    if (IsNumericValue(value) && column != "Orvane Acct") return value;
    // The value list offers Yes/No values as True/False; quoted, they would match no stored -1 or 0.
    if (booleanColumn && (value == "True" || value == "False")) return value;
    // A picked value holding a quote must still filter: the dialect reads "" inside quotes as one quote.
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string FilterText(const std::vector<FilterRow>& rows) {
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const FilterRow& row = rows[i];
        if (row.column.empty() || row.value.empty()) continue;
        if (i > 0) text += " " + row.joiner + " ";
        text += "[" + row.column + "] " + row.op + ValueTerm(row.column, row.value, row.booleanColumn);
    }
    return text;
}

}  // namespace corv
