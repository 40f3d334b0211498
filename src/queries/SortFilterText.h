#pragma once

#include <string>
#include <vector>

#include "engine/Recordset.h"
#include "engine/Value.h"

namespace corv {

// One sort key: a column, ascending when ticked.
struct SortKey {
    std::string column;
    bool ascending = true;
};

// "[Market], [Bid Amount] DESC": the order list given to a record set's Sort.
std::string SortText(const std::vector<SortKey>& keys);

// One condition row of the filter tab. joiner is the And/Or chosen at the end of the row above (unused for
// the first row). booleanColumn: the column holds Yes/No values, offered as True/False.
struct FilterRow {
    std::string column;
    std::string op;
    std::string value;
    std::string joiner;
    bool booleanColumn = false;
};

// A plain decimal number in the C locale: optional sign, digits, optional point followed by digits.
// Shared by the filter and the table wizard so both quote the same values.
bool IsNumericValue(const std::string& value);

// The value as written after the operator: numbers bare (except for "Orvane Acct", an account number kept
// as text), True/False of a Yes/No column bare, anything else in double quotes with embedded quotes doubled.
std::string ValueTerm(const std::string& column, const std::string& value, bool booleanColumn = false);

// The condition given to a record set's Filter. A row without a column or value is left out, joiner and
// all; a text that then begins with a joiner is left for the engine to refuse.
std::string FilterText(const std::vector<FilterRow>& rows);

// The query filling a filter row's value list; empty when the column or the table is unknown.
std::string ValueListQuery(const std::string& column, const std::string& table);

// A value as the value list offers it, written so the filter can use it again: numbers and money without
// thousands separators, dates as the engine stores and compares them, Booleans True/False, Null empty.
std::string ValueListText(const Value& value, const FieldInfo& field);

}  // namespace corv
