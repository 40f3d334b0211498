#pragma once

namespace corv {

class frmFlexGrid;

// Deletes the viewer's current table for good after the user agrees, and takes it out of sysTables. Tables
// that came with the round files are refused.
void DropTable(frmFlexGrid& viewer);

}  // namespace corv
