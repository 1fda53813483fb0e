#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Edge or corner under the cursor; the values are those the resize code has always used.
enum ResizeDirection : qint32 {
    ResizeNone = 0,
    ResizeLeft = 2,
    ResizeRight = 3,
    ResizeBottom = 5,
    ResizeBottomRight = 7,
    ResizeBottomLeft = 8,
};

// Start geometry, resize and opacity rules of the overlay, free of any widget so tests can call
// them.
namespace geometry {

constexpr int kDefaultWidth = 277;
constexpr int kDefaultHeight = 312;
constexpr int kMinimumWidth = 277;
constexpr int kMinimumHeight = 212;
constexpr int kRightGap = 50;
constexpr int kTop = 100;

// A stored size outside [277, screen width] x [212, screen height] resets both sides: any size
// the user can resize the window to comes back at the next start.
QSize validatedStartSize(QSize stored, QSize screen);

// The window starts near the right edge of the primary screen.
QRect startGeometry(QSize size, QSize screen);

// Height of the title strip: a press above it moves the window, one below it resizes.
constexpr int kTitleStripHeight = 22;

// The resize zone at `pos` (window coordinates) of a window of `size`. The zones lie in the
// layout's margins; the top edge and the top corners never resize.
ResizeDirection resizeZoneAt(QPoint pos, QSize size);

// The window rectangle (global coordinates) after dragging the zone `direction` to the global
// mouse position `mouse`, raised to the minimum size with the top-left corner kept.
QRect resizedGeometry(ResizeDirection direction, const QRect& window, QPoint mouse);

// Opacity levels run 1..9; the window's opacity is level / 10.
int clampOpacityLevel(int level);

} // namespace geometry
