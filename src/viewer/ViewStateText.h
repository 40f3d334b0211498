#pragma once

#include <string>
#include <vector>

#include "viewer/ViewState.h"

namespace corv {

// "[Name], [Amount] DESC": the order list given to a record set's Sort.
std::string SortText(const std::vector<SortKey>& keys);

// A plain decimal number in the C locale: optional sign, digits, optional point followed by digits.
// Shared by the filter and the table wizard so both quote the same values.
bool IsNumericValue(const std::string& value);

// The value as written after the operator: numbers bare (except for "Orvane Acct", an account number kept
// as text), True/False of a Yes/No column bare, anything else in double quotes with embedded quotes doubled.
std::string ValueTerm(const std::string& column, const std::string& value, bool booleanColumn = false);

// The condition given to a record set's Filter. A row without a column or value is left out, joiner and
// all; a text that then begins with a joiner is left for the engine to refuse.
std::string FilterText(const std::vector<FilterRow>& rows);

}  // namespace corv
