#include "viewer/TextExport.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/Recordset.h"
#include "platform/DesktopServices.h"
#include "platform/ExportFile.h"
#include "viewer/CellFormatter.h"
#include "viewer/RecordsetModel.h"
#include "viewer/frmFlexGrid.h"

namespace corv {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

// Appends the cell as UTF-8, a blank standing for anything that would split its row.
void AppendCell(std::string& out, QString text) {
    const auto splits = [](QChar c) { return SplitsTextLine(c.unicode()); };
    if (std::any_of(text.cbegin(), text.cend(), splits))
        std::replace_if(text.begin(), text.end(), splits, QChar(u' '));
    out += text.toStdString();
}

}  // namespace

void WriteTabDelimited(const std::string& path, const Recordset& rows, const CellFormatter& formatter) {
    ExportFile file(path);

    const int columns = rows.FieldCount();
    std::vector<CellKind> kinds;
    kinds.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) kinds.push_back(CellKindOf(rows.Field(c)));

    std::string buffer;
    buffer.reserve(kFlushBytes + 4096);
    auto flush = [&] {
        file.Write(buffer);
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
    file.Close();
}

void DBSaveAs(frmFlexGrid& viewer) {
    FileDialogOptions options;
    options.filter = "Tab Delimited Text (*.txt)|*.txt|";
    options.hideReadOnly = true;
    ExportToChosenFile(options, [&viewer](const std::string& path) {
        if (const std::shared_ptr<Recordset> shown = viewer.WholeResult())
            WriteTabDelimited(path, *shown, viewer.GridModel()->Formatter());
        else
            ExportFile(path).Close();  // an empty grid: an empty file
    });
}

}  // namespace corv
