#pragma once

#include <QRect>
#include <QSize>

// Start geometry and opacity rules of the overlay, free of any widget so tests can call them.
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

// Opacity levels run 1..9; the window's opacity is level / 10.
int clampOpacityLevel(int level);

} // namespace geometry
