#pragma once

// The desktop services the overlay needs beyond what Qt offers portably. One backend per
// windowing system lives in its own file; the window code talks only to this interface.

#include <QSize>
#include <QtGlobal>

class QCoreApplication;
class QWidget;

namespace platform {

// Extended window style bits as the window code reasons about them. On Windows they are the
// real GWL_EXSTYLE bits; elsewhere a backend keeps an emulated style word per window and
// turns the click-through combination into the equivalent native effect.
constexpr qint32 kExStyleLayered = 0x80000;
constexpr qint32 kExStyleTransparent = 0x20;
constexpr qint32 kExStyleClickThrough = kExStyleLayered | kExStyleTransparent;

inline bool isClickThrough(qint32 exStyle) {
    return (exStyle & kExStyleClickThrough) == kExStyleClickThrough;
}

// System cursors shown over the resize zones.
enum class SystemCursor { Arrow, SizeWE, SizeNS, SizeNWSE, SizeNESW };

// Called on the GUI thread for every F10 key-down seen anywhere on the desktop.
using HotKeyCallback = void (*)();

// Opaque handle of an installed F10 watcher; null when none is installed.
using HookHandle = void*;

// What screen capture shows of the overlay once the backend has been asked to hide it.
enum class CaptureHiding {
    Off,         // not asked: captured like any window
    Unsupported, // the system has no such mechanism: any program can read the screen
    NotPossible, // the system has one, but it did not take effect here
    ShownBlack,  // capture shows a black window in its place
    Hidden,      // capture leaves the window out
};

class Platform {
public:
    virtual ~Platform();

    virtual const char* name() const = 0;

    // The window's extended style word, and a new one for it (click-through follows it).
    virtual qint32 windowExStyle(QWidget* window) = 0;
    virtual void setWindowExStyle(QWidget* window, qint32 exStyle) = 0;

    // Puts the window at the top of the stays-on-top band and shows it if hidden, without
    // moving, resizing, activating or focusing it.
    virtual void raiseTopmost(QWidget* window) = 0;

    // Starts watching F10 key-downs on the whole desktop without consuming them.
    // Returns null when the watcher cannot be installed.
    virtual HookHandle installHotKeyHook(HotKeyCallback callback) = 0;
    virtual void removeHotKeyHook(HookHandle hook) = 0;

    virtual void setCursor(QWidget* window, SystemCursor cursor) = 0;

    // Size of the primary screen in pixels.
    virtual QSize primaryScreenSize();

    // Whether this system lets a program keep its window out of screen capture at all.
    virtual bool canHideFromCapture() const;
    // Asks for the window to be left out of screen capture, or captured again; returns what
    // holds afterwards as the system reports it.
    virtual CaptureHiding hideFromCapture(QWidget* window, bool hide);
    // Whether the pointer's position can be seen while it is over other programs' windows.
    virtual bool seesPointerOverOtherWindows() const;
};

// The backend for this process, chosen on first use from the running Qt platform plugin.
// Needs a QGuiApplication.
Platform& current();

// Replaces the backend (tests); the caller keeps ownership. Null restores the default.
void setCurrentForTesting(Platform* platform);

// Takes the per-session single-instance guard named `name`. Returns false only when another
// live process holds it. The guard stays held until the process ends, however it ends.
// Safe to call before any Qt object exists.
bool acquireInstanceGuard(const char* name);

// Makes the desktop's requests to end the process (on Linux SIGTERM, SIGINT and SIGHUP, as
// at logout) end the event loop the normal way, so that shutdown runs in full.
void quitOnTerminationRequest(QCoreApplication& app);

} // namespace platform
