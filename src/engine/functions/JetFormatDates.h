#pragma once

// Format's date side, shared with its number side in JetFormat.cpp.

#include <string>
#include <string_view>

#include "engine/functions/JetFunctionSupport.h"
#include "engine/functions/JetLocale.h"

namespace corv::jetfn {

struct DateContext {
    const JetLocale& loc;
    int firstDay = 1, firstWeek = 1;
};

std::string Lowered(std::string_view s);
// Whether a custom format holds a date or time code outside its quotes and escapes.
bool IsDatePattern(std::string_view f);
// A stamp by a custom date pattern; depth guards locale patterns that name themselves.
std::string FormatDate(const Stamp& st, std::string_view f, const DateContext& cx, int depth = 0);
// The short date, the long time, or both, as the value holds a date, a time or both.
std::string GeneralDate(const Stamp& st, const DateContext& cx, int depth);

}  // namespace corv::jetfn
