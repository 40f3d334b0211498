#include "platform/ErrorBox.h"

#include <new>

#include "engine/CorvError.h"
#include "platform/DesktopServices.h"

namespace corv {

namespace {
constexpr int kOutOfMemory = 7;
}

std::string ErrorText(ErrorForm form, int number, const std::string& description) {
    const std::string n = std::to_string(number);
    switch (form) {
        case ErrorForm::NumberColon:
            return "Error " + n + ": " + description;
        case ErrorForm::ColonNoSpace:
            return "Error:" + n + " " + description;
        case ErrorForm::NoColon:
            return "Error " + n + " " + description;
        case ErrorForm::ColonSpace:
            return "Error: " + n + " " + description;
    }
    return description;
}

ErrorReport ReportOf(const std::exception& e) {
    if (const auto* ce = dynamic_cast<const CorvError*>(&e)) return {ce->number(), ce->description()};
    if (dynamic_cast<const std::bad_alloc*>(&e)) return {kOutOfMemory, "Out of memory"};
    return {err::EngineFailure, e.what()};
}

void ShowErrorBox(ErrorForm form, int number, const std::string& description, const std::string& title) {
    Desktop().MessageBox(ErrorText(form, number, description), MsgButtons::OK, MsgIcon::None, title);
}

void ShowErrorBox(ErrorForm form, const std::exception& e, const std::string& title) {
    const ErrorReport r = ReportOf(e);
    ShowErrorBox(form, r.number, r.description, title);
}

}  // namespace corv
