#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/FieldInfo.h"

namespace corv {

// "CREATE TABLE schema."name" (...)" for columns of the given types: each column's declared type carries its
// Jet type, and text columns compare without regard to letter case, as users of the classic engine expect.
// A column with a declaredType keeps it; otherwise DeclaredType(type) is used.
std::string CreateTableSql(std::string_view schema, std::string_view table,
                           const std::vector<FieldInfo>& columns);

// True for declared types whose values are text (Text, Memo, Guid and their synonyms).
bool IsTextDeclaredType(std::string_view declared);

// "name" with embedded quotes doubled.
std::string QuoteName(std::string_view name);

}  // namespace corv
