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

void TileHorizontally(QMdiArea& area) {
    const QList<QMdiSubWindow*> subs = TileableWindows(area);
    if (subs.isEmpty()) return;
    const QSize room = area.viewport()->size();
    const int n = static_cast<int>(subs.size());
    for (int i = 0; i < n; ++i) {
        if (subs[i]->isMaximized()) subs[i]->showNormal();
        const int top = room.height() * i / n;
        const int bottom = room.height() * (i + 1) / n;
        subs[i]->setGeometry(0, top, room.width(), bottom - top);
    }
}

void TileVertically(QMdiArea& area) {
    const QList<QMdiSubWindow*> subs = TileableWindows(area);
    if (subs.isEmpty()) return;
    const QSize room = area.viewport()->size();
    const int n = static_cast<int>(subs.size());
    for (int i = 0; i < n; ++i) {
        if (subs[i]->isMaximized()) subs[i]->showNormal();
        const int left = room.width() * i / n;
        const int right = room.width() * (i + 1) / n;
        subs[i]->setGeometry(left, 0, right - left, room.height());
    }
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
