#pragma once

#include <functional>

namespace corv {

class frmFlexGrid;
namespace store {
class Auction;
}

// The viewer whose lists are filled. It is looked up again for every entry, so the entries go to whichever
// viewer is active at that moment.
using ActiveViewerLookup = std::function<frmFlexGrid*()>;

// Replace the active viewer's table list with the names in the auction's sysTables, or its round list with
// the rounds in sysRounds, in the engine's row order, then Latest standing for the highest of them, leaving
// no entry chosen. A failure (no auction among
// them) is reported in an error box and keeps the entries added so far; the result is then false.
bool FillTableList(store::Auction* auction, const ActiveViewerLookup& active);
bool FillRoundList(store::Auction* auction, const ActiveViewerLookup& active);

// Chooses the first round, then the first table: choosing the table is what loads the grid.
void SelectFirstEntries(frmFlexGrid* viewer);

}  // namespace corv
