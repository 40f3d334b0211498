#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/DesktopServices.h"

namespace corv {

// A file an export writes: created anew, or replacing a file of that name unless that file is a database or a
// database's log or journal, which an export never replaces. Failures throw CorvError with the classic file
// error numbers (path not found, disk full, access error, device error).
class ExportFile {
  public:
    explicit ExportFile(const std::string& path);
    ~ExportFile();  // closes quietly when Close was not reached
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    void Write(std::string_view bytes);
    // Throws when the last bytes could not be written out.
    void Close();

  private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

// Whether a character splits a line of text where some readers are concerned: tabs, line breaks, and
// Unicode's line and paragraph separators and NEL.
bool SplitsTextLine(char16_t c);

// The export's way with a file: asks for a name through the desktop's save dialog, runs write with it under
// the busy pointer, then says the export is completed. Cancelling is silent; a failure is shown in the error
// box instead.
void ExportToChosenFile(const FileDialogOptions& options,
                        const std::function<void(const std::string&)>& write);

}  // namespace corv
