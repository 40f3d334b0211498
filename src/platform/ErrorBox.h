#pragma once

#include <exception>
#include <string>

namespace corv {

// The ways commands word an error box; each command keeps to its own.
enum class ErrorForm {
    NumberColon,   // "Error " + number + ": " + description
    ColonNoSpace,  // "Error:" + number + " " + description
    NoColon,       // "Error " + number + " " + description
    ColonSpace,    // "Error: " + number + " " + description
};
std::string ErrorText(ErrorForm form, int number, const std::string& description);

// A failure as the boxes report it: the program's own errors keep their number, anything else becomes an
// engine failure (or out of memory) described by what it says.
struct ErrorReport {
    int number;
    std::string description;
};
ErrorReport ReportOf(const std::exception& e);

// The error box: OK, no icon; an empty title shows the application title.
void ShowErrorBox(ErrorForm form, int number, const std::string& description, const std::string& title = {});
void ShowErrorBox(ErrorForm form, const std::exception& e, const std::string& title = {});

}  // namespace corv
