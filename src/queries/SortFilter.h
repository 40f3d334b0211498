#pragma once

namespace corv {

class frmFlexGrid;
class frmTableActions;

// Sort, filter and reset of a viewer through its sort-and-filter dialog. On OK the dialog's choices become
// the viewer's sort and filter, which the viewer applies to the rows it shows; reset loads the table afresh.
void TableSort(frmFlexGrid& viewer);
void TableFilt(frmFlexGrid& viewer);
void TableReset(frmFlexGrid& viewer);

// The viewer's sort-and-filter dialog: made by its first Sort or Filter and kept, as a child of the window,
// for the window's life; its lists are set up afresh after each table load. nullptr before first use.
frmTableActions* SortFilterDialog(const frmFlexGrid& viewer);

}  // namespace corv
