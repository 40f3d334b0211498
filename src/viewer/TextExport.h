#pragma once

#include <string>

namespace corv {

class CellFormatter;
class Recordset;
class frmFlexGrid;

// Writes every row of the set to path as tab-delimited UTF-8 text, "\n" line ends: a first line of column
// names, then one line per row in the set's order, each cell as the grid shows it. A tab or line break
// inside a cell becomes a blank so the row stays one line. An existing file is replaced. Rows are
// streamed out; nothing holds the whole file.
void WriteTabDelimited(const std::string& path, const Recordset& rows, const CellFormatter& formatter);

// File > Export...: asks for a file name, writes what the viewer shows (any sort or filter included) and
// says so. Cancelling is silent; failures are reported here.
void DBSaveAs(frmFlexGrid& viewer);

}  // namespace corv
