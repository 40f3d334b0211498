#pragma once

// Format's text side, shared with its number side in JetFormat.cpp.

#include <string>
#include <string_view>

namespace corv::jetfn {

// Whether a format holds a text code (@ & < > !) outside its quotes and escapes.
bool IsTextPattern(std::string_view f);
// A text by one section of a text format.
std::string FormatText(std::string_view text, std::string_view section);

}  // namespace corv::jetfn
