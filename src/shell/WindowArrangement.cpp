#include "shell/WindowArrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>

namespace corv {

namespace {

QList<QMdiSubWindow*> TileableWindows(QMdiArea& area) {
    QList<QMdiSubWindow*> list;
    for (QMdiSubWindow* sub : area.subWindowList(QMdiArea::StackingOrder))
        if (sub->isVisible() && !sub->isMinimized()) list << sub;
    std::reverse(list.begin(), list.end());  // the active window first
    return list;
}

}  // namespace

void FitIntoArea(QMdiArea& area, QMdiSubWindow& sub) {
    // A new window lies wholly inside the area, moved back from the cascade offset first and shrunk only
    // when it is larger than the area, so no part of its grid is out of reach.
    const QSize room = area.viewport()->size();
    if (room.width() < 100 || room.height() < 100) return;
    QRect r = sub.geometry();
    r.setSize(r.size().boundedTo(room));
    if (r.right() >= room.width()) r.moveLeft(room.width() - r.width());
    if (r.bottom() >= room.height()) r.moveTop(room.height() - r.height());
    r.moveTopLeft(QPoint(std::max(r.left(), 0), std::max(r.top(), 0)));
    sub.setGeometry(r);
}

namespace {

// Shares the room out in equal strips, one a window: stacked top to bottom, or side by side.
void TileInStrips(QMdiArea& area, bool stacked) {
    const QList<QMdiSubWindow*> subs = TileableWindows(area);
    if (subs.isEmpty()) return;
    const QSize room = area.viewport()->size();
    const int n = static_cast<int>(subs.size());
    const int length = stacked ? room.height() : room.width();
    for (int i = 0; i < n; ++i) {
        if (subs[i]->isMaximized()) subs[i]->showNormal();
        const int from = length * i / n;
        const int to = length * (i + 1) / n;
        if (stacked)
            subs[i]->setGeometry(0, from, room.width(), to - from);
        else
            subs[i]->setGeometry(from, 0, to - from, room.height());
    }
}

}  // namespace

void TileHorizontally(QMdiArea& area) {
    TileInStrips(area, true);
}

void TileVertically(QMdiArea& area) {
    TileInStrips(area, false);
}

void ArrangeIcons(QMdiArea& area) {
    // Minimized windows line up along the bottom edge, left to right, wrapping upwards.
    const QSize room = area.viewport()->size();
    int x = 0;
    int y = room.height();
    int rowHeight = 0;
    for (QMdiSubWindow* sub : area.subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized()) continue;
        const QSize s = sub->size();
        if (x > 0 && x + s.width() > room.width()) {
            x = 0;
            y -= rowHeight;
            rowHeight = 0;
        }
        rowHeight = std::max(rowHeight, s.height());
        sub->move(x, y - s.height());
        x += s.width();
    }
}

}  // namespace corv
