// Copy and export for the overview's tables.
//
// Threads: everything here belongs to the user-interface thread, like the table it serves.
#pragma once

#include <QByteArray>
#include <QString>

class QMenu;
class QTableView;

namespace corv::overview {

// Gives the table Ctrl+C and a context menu with Copy and Export…, and lets several rows be selected at once.
// Copy puts the selection on the clipboard as a spreadsheet pastes it: a line of column headers, then a line
// per row, cells as shown and separated by tabs; a selection that is no block copies the rows and columns it
// spans, with blanks where nothing was selected. Export writes every row and column the table shows, in its
// sort and filter, to a CSV file chosen through the save dialog. name names the table in the export's title
// and its suggested file name ("Markets": "Markets.csv").
void AddCopyAndExport(QTableView* view, const QString& name);

// The context menu AddCopyAndExport gave view, for a window's own entries.
QMenu* ContextMenuOf(const QTableView* view);

// What Copy puts on the clipboard for the view's selection; empty when nothing is selected.
QString SelectionText(const QTableView& view);
// The CSV of the whole table as the view shows it, UTF-8, CRLF line ends, fields quoted as RFC 4180 says.
QByteArray TableCsv(const QTableView& view);

}  // namespace corv::overview
