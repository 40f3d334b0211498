#pragma once

namespace corv {

class frmFlexGrid;

// Tools > Export Table To Excel: the rows the viewer shows, after any sort or filter, into a new workbook of
// the viewer's spreadsheet application, which is then made visible.
void ExcelView(frmFlexGrid& viewer);

}  // namespace corv
