#include "viewer/TextExport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/CorvError.h"
#include "engine/Database.h"
#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ErrorBox.h"
#include "viewer/CellFormatter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

// The classic file errors, where the engine's own list has none.
constexpr int kDeviceIoError = 57;
constexpr int kDiskFull = 61;
constexpr int kPathFileAccess = 75;

constexpr std::size_t kFlushBytes = 1 << 20;

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

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File CreateReplacing(const std::string& path) {
    if (DbEngine::HoldsDatabase(path))
        throw CorvError(kPathFileAccess, "Path/File access error: " + path +
                                             " holds a database, which an export never replaces.");
    errno = 0;
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) ThrowFileError(errno, path);
    return file;
}

void Close(File file, const std::string& path) {
    if (std::fclose(file.release()) != 0) ThrowFileError(errno, path);
}

// Tabs and line breaks, Unicode's line and paragraph separators and NEL among them, which some readers
// also split lines on.
bool SplitsTheRow(QChar c) {
    const char16_t u = c.unicode();
    return u == '\t' || u == '\n' || u == '\r' || u == '\v' || u == '\f' || u == 0x85 || u == 0x2028 ||
           u == 0x2029;
}

// Appends the cell as UTF-8, a blank standing for anything that would split its row.
void AppendCell(std::string& out, QString text) {
    if (std::any_of(text.cbegin(), text.cend(), SplitsTheRow))
        std::replace_if(text.begin(), text.end(), SplitsTheRow, QChar(u' '));
    out += text.toStdString();
}

}  // namespace

void WriteTabDelimited(const std::string& path, const Recordset& rows, const CellFormatter& formatter) {
    File file = CreateReplacing(path);

    const int columns = rows.FieldCount();
    std::vector<CellKind> kinds;
    kinds.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) kinds.push_back(CellKindOf(rows.Field(c)));

    std::string buffer;
    buffer.reserve(kFlushBytes + 4096);
    auto flush = [&] {
        if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), file.get()) != buffer.size())
            ThrowFileError(errno, path);
        buffer.clear();
    };
    for (int c = 0; c < columns; ++c) {
        if (c > 0) buffer += '\t';
        AppendCell(buffer, QString::fromStdString(rows.Field(c).name));
    }
    buffer += '\n';
    const std::size_t count = rows.RowCount();
    for (std::size_t r = 0; r < count; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0) buffer += '\t';
            AppendCell(buffer, formatter.Format(rows.Cell(r, c), kinds[static_cast<std::size_t>(c)]));
        }
        buffer += '\n';
        if (buffer.size() >= kFlushBytes) flush();
    }
    flush();
    Close(std::move(file), path);
}

void DBSaveAs(frmFlexGrid& viewer) {
    FileDialogOptions options;
    options.filter = "Tab Delimited Text (*.txt)|*.txt|";
    options.hideReadOnly = true;
    const std::optional<std::string> chosen = Desktop().SaveFileDialog(options);
    if (!chosen || chosen->empty()) return;
    try {
        BusyPointer busy;
        if (const std::shared_ptr<Recordset> shown = viewer.WholeResult())
            WriteTabDelimited(*chosen, *shown, viewer.GridModel()->Formatter());
        else
            Close(CreateReplacing(*chosen), *chosen);  // an empty grid: an empty file
    } catch (const std::exception& e) {
        ShowErrorBox(ErrorForm::NoColon, e);
        return;
    }
    Desktop().MessageBox("       Export completed.", MsgButtons::OK, MsgIcon::None, "Operation Complete");
}

}  // namespace corv
