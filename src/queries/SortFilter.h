#pragma once

namespace corv {

class frmFlexGrid;

// Sort, filter and reset of a viewer through its sort-and-filter dialog. Sort and filter derive a new
// record set from the rows the viewer shows; reset loads the table afresh.
void TableSort(frmFlexGrid& viewer);
void TableFilt(frmFlexGrid& viewer);
void TableReset(frmFlexGrid& viewer);
// Apply the dialog's sort list / condition rows to the rows shown now (also after a round change).
void HandelSort(frmFlexGrid& viewer);
void HandelFlt(frmFlexGrid& viewer);

}  // namespace corv
