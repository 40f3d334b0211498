#pragma once

class QMdiArea;
class QMdiSubWindow;

namespace corv {

// Moves a new child window wholly inside the area.
void FitIntoArea(QMdiArea& area, QMdiSubWindow& sub);
// The Window menu's arrangements: open windows share the area in rows or in columns, the active one first;
// minimized ones line up along the bottom edge.
void TileHorizontally(QMdiArea& area);
void TileVertically(QMdiArea& area);
void ArrangeIcons(QMdiArea& area);

}  // namespace corv
