#pragma once

#include <string>

#include "engine/Recordset.h"
#include "engine/Value.h"

namespace corv {

// The query filling a filter row's value list; empty when the column or the table is unknown.
std::string ValueListQuery(const std::string& column, const std::string& table);

// A value as the value list offers it, written so the filter can use it again: numbers and money without
// thousands separators, dates as the engine stores and compares them, Booleans True/False, Null empty.
std::string ValueListText(const Value& value, const FieldInfo& field);

}  // namespace corv
