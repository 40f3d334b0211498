#include "platform/ExportFile.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <utility>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "platform/ErrorBox.h"

namespace corv {

namespace {

// The classic file errors, where the engine's own list has none.
constexpr int kDeviceIoError = 57;
constexpr int kDiskFull = 61;
constexpr int kPathFileAccess = 75;

[[noreturn]] void ThrowFileError(int error, const std::string& path) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            throw CorvError(err::PathNotFound, "Path not found: " + path);
        case ENOSPC:
        case EDQUOT:
            throw CorvError(kDiskFull, "Disk full");
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            throw CorvError(kPathFileAccess, "Path/File access error: " + path);
        default:
            throw CorvError(kDeviceIoError, std::string("Device I/O error: ") + std::strerror(error));
    }
}

}  // namespace

ExportFile::ExportFile(const std::string& path) : path_(path) {
    // Told by the name and SQLite's own reading alone: opening a database's file here could drop its locks.
    if (DbEngine::HoldsDatabase(path))
        throw CorvError(kPathFileAccess, "Path/File access error: " + path +
                                             " holds a database, which an export never replaces.");
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) ThrowFileError(errno, path);
}

ExportFile::~ExportFile() {
    if (file_) std::fclose(file_);
}

void ExportFile::Write(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        ThrowFileError(errno, path_);
}

void ExportFile::Close() {
    std::FILE* file = std::exchange(file_, nullptr);
    if (file && std::fclose(file) != 0) ThrowFileError(errno, path_);
}

bool SplitsTextLine(char16_t u) {
    return u == '\t' || u == '\n' || u == '\r' || u == '\v' || u == '\f' || u == 0x85 || u == 0x2028 ||
           u == 0x2029;
}

void ExportToChosenFile(const FileDialogOptions& options,
                        const std::function<void(const std::string&)>& write) {
    const std::optional<std::string> chosen = Desktop().SaveFileDialog(options);
    if (!chosen || chosen->empty()) return;
    try {
        BusyPointer busy;
        write(*chosen);
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NoColon, e);
        return;
    }
    Desktop().MessageBox("       Export completed.", MsgButtons::OK, MsgIcon::None, "Operation Complete");
}

}  // namespace corv
