#include "ui/WindowGeometry.h"

#include <algorithm>

namespace geometry {

QSize validatedStartSize(QSize stored, QSize screen) {
    const int w = stored.width();
    const int h = stored.height();
    if (w < kMinimumWidth || w > screen.width() || h < kMinimumHeight || h > screen.height())
        return QSize(kDefaultWidth, kDefaultHeight);
    return stored;
}

QRect startGeometry(QSize size, QSize screen) {
    return QRect(screen.width() - size.width() - kRightGap, kTop, size.width(), size.height());
}

ResizeDirection resizeZoneAt(QPoint pos, QSize size) {
    constexpr int border = 4;
    const int x = pos.x();
    const int y = pos.y();
    const int w = size.width();
    const int h = size.height();
    const bool leftColumn = x >= 1 && x <= border;
    const bool rightColumn = x >= w - border;
    const bool sideRows = y >= kTitleStripHeight + 1 && y <= h - 6;
    const bool bottomRows = y >= h - border;
    if (leftColumn && sideRows)
        return ResizeLeft;
    if (leftColumn && bottomRows)
        return ResizeBottomLeft;
    if (x >= 6 && x <= w - 6 && bottomRows)
        return ResizeBottom;
    if (rightColumn && bottomRows)
        return ResizeBottomRight;
    if (rightColumn && sideRows)
        return ResizeRight;
    return ResizeNone;
}

QRect resizedGeometry(ResizeDirection direction, const QRect& window, QPoint mouse) {
    QRect r = window;
    switch (direction) {
    case ResizeNone:
        return window;
    case ResizeLeft:
        if (window.right() - mouse.x() > kMinimumWidth)
            r.setLeft(mouse.x());
        break;
    case ResizeRight:
        r.setRight(mouse.x() - 1);
        break;
    case ResizeBottom:
        r.setBottom(mouse.y() - 1);
        break;
    case ResizeBottomRight:
        r.setRight(mouse.x() - 1);
        r.setBottom(mouse.y() - 1);
        break;
    case ResizeBottomLeft:
        r.setLeft(mouse.x());
        r.setBottom(mouse.y() - 1);
        break;
    }
    r.setSize(r.size().expandedTo(QSize(kMinimumWidth, kMinimumHeight)));
    return r;
}

int clampOpacityLevel(int level) {
    return std::clamp(level, 1, 9);
}

} // namespace geometry
