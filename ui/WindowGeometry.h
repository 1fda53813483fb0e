#pragma once

#include "settings/SettingsFile.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVector>

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

// The window's default place: its top-right corner 50 pixels inside the right edge of `screen`
// and 100 below its top. All sizes and places are in device-independent pixels, so the window
// keeps this place, scaled, on a high-DPI screen.
QRect startGeometry(QSize size, const QRect& screen);
inline QRect startGeometry(QSize size, QSize screen) {
    return startGeometry(size, QRect(QPoint(0, 0), screen));
}

// One connected screen in device-independent pixels.
struct ScreenArea {
    QString name;
    QRect geometry;
    QRect available; // without the desktop's panels and task bars
};

// Screens are listed primary first; Qt always reports at least one.
using Screens = QVector<ScreenArea>;

// Whether the window lies mostly on the screens' available areas: more than half of its area
// and its whole title strip. A click-through window lost beyond that cannot be dragged back.
bool mostlyOnScreens(const QRect& window, const Screens& screens);

// The screen holding the largest part of the window; null when it lies on none.
const ScreenArea* screenUnder(const QRect& window, const Screens& screens);

// The default place on the primary screen, the size validated against that screen.
QRect defaultPlace(QSize size, const Screens& screens);

// The start rectangle: the place saved at the last shutdown when the window would lie mostly on
// the screens there, the size validated against the screen it lands on; else the default place.
// A saved screen still connected under its name carries the place along if it moved.
QRect placeAtStart(QSize stored, const WindowPlace& saved, const Screens& screens);

// Where the running window goes after the screens changed under it: it stays while it lies
// mostly on them, else it returns to the default place.
QRect keptOnScreens(const QRect& window, const Screens& screens);

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
