#pragma once

#include <string>

#include "engine/Value.h"

namespace corv {

// One column of a table or a result, as record sets, row stores and table builders all describe it.
struct FieldInfo {
    std::string name;
    FieldType type = FieldType::Unknown;
    std::string declaredType;  // as declared in the table the column came from; empty for expressions
};

}  // namespace corv
