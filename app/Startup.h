#pragma once

class QApplication;
class QWidget;

// Per-session name of the single-instance guard.
constexpr const char* kInstanceGuardName = "1592dd92-f147-42d0-9ee4-56f8b573d3d4";
constexpr int kDefaultOpacityLevel = 6;

// Qt's own high-DPI scaling, decided before the application object exists: every size the
// window gives is then in device-independent pixels, and fonts in points are not scaled twice.
void enableHighDpiScaling();

// Application-wide settings the overlay relies on: fonts and quitting behaviour.
void prepareApplication(QApplication& app);

// The close button is the only way out: the desktop's close requests (Alt+F4, a window
// manager's close) are refused, so the window cannot vanish while the process runs on.
void keepOpenUntilQuit(QWidget& window);
