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

int clampOpacityLevel(int level) {
    return std::clamp(level, 1, 9);
}

} // namespace geometry
