#include "ui/WindowGeometry.h"

#include <QRegion>

#include <algorithm>

namespace geometry {

QSize validatedStartSize(QSize stored, QSize screen) {
    const int w = stored.width();
    const int h = stored.height();
    if (w < kMinimumWidth || w > screen.width() || h < kMinimumHeight || h > screen.height())
        return QSize(kDefaultWidth, kDefaultHeight);
    return stored;
}

QRect startGeometry(QSize size, const QRect& screen) {
    return QRect(screen.x() + screen.width() - size.width() - kRightGap, screen.y() + kTop,
                 size.width(), size.height());
}

namespace {

qint64 areaOf(const QRegion& region) {
    qint64 area = 0;
    for (const QRect& r : region)
        area += qint64(r.width()) * r.height();
    return area;
}

} // namespace

bool mostlyOnScreens(const QRect& window, const Screens& screens) {
    QRegion usable;
    for (const ScreenArea& s : screens)
        usable += s.available;
    const QRect titleStrip(window.x(), window.y(), window.width(), kTitleStripHeight);
    if (!QRegion(titleStrip).subtracted(usable).isEmpty())
        return false;
    return 2 * areaOf(usable.intersected(window)) > qint64(window.width()) * window.height();
}

const ScreenArea* screenUnder(const QRect& window, const Screens& screens) {
    const ScreenArea* best = nullptr;
    qint64 bestArea = 0;
    for (const ScreenArea& s : screens) {
        const QRect common = s.geometry.intersected(window);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            best = &s;
            bestArea = area;
        }
    }
    return best;
}

QRect defaultPlace(QSize size, const Screens& screens) {
    const QRect primary = screens.isEmpty() ? QRect() : screens.first().geometry;
    return startGeometry(validatedStartSize(size, primary.size()), primary);
}

QRect placeAtStart(QSize stored, const WindowPlace& saved, const Screens& screens) {
    if (!saved.saved)
        return defaultPlace(stored, screens);
    QPoint topLeft = saved.topLeft;
    if (!saved.screen.isEmpty() && saved.screenGeometry.isValid()) {
        for (const ScreenArea& s : screens) {
            if (s.name == saved.screen) {
                topLeft += s.geometry.topLeft() - saved.screenGeometry.topLeft();
                break;
            }
        }
    }
    // Which screen it lands on decides the size check; a size no screen accepts is judged at
    // the default size.
    QSize largest;
    for (const ScreenArea& screen : screens)
        largest = largest.expandedTo(screen.geometry.size());
    const QSize probe = validatedStartSize(stored, largest);
    if (const ScreenArea* under = screenUnder(QRect(topLeft, probe), screens)) {
        const QRect placed(topLeft, validatedStartSize(stored, under->geometry.size()));
        if (mostlyOnScreens(placed, screens))
            return placed;
    }
    return defaultPlace(stored, screens);
}

QRect keptOnScreens(const QRect& window, const Screens& screens) {
    if (screens.isEmpty() || mostlyOnScreens(window, screens))
        return window;
    return defaultPlace(window.size(), screens);
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
