#pragma once

namespace corv {

class ExcelApplication;
class frmFlexGrid;

// Tools > Export Table To Excel: the rows the viewer shows, after any sort or filter, into a new workbook of
// the viewer's spreadsheet application, which is then made visible.
void ExcelView(frmFlexGrid& viewer);

// The viewer's spreadsheet application: started by its first export or analysis, kept for the window's
// life (held by a child of the window) so later workbooks join the same application.
ExcelApplication& ViewerExcelApp(frmFlexGrid& viewer);

}  // namespace corv
