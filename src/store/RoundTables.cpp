#include "store/RoundTables.h"

#include "engine/functions/JetFunctions.h"

namespace corv::store {

std::optional<std::string> FindColumn(const std::vector<std::string>& columns, std::string_view wanted) {
    const std::string folded = JetLowerText(wanted);
    for (const std::string& c : columns)
        if (JetLowerText(c) == folded) return c;
    return std::nullopt;
}

}  // namespace corv::store
