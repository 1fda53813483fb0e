#pragma once

// The desktop services the overlay needs beyond what Qt offers portably. One backend per
// windowing system lives in its own file; the window code talks only to this interface.

#include "platform/KeyChord.h"

#include <QSize>
#include <QString>
#include <QtGlobal>

#include <string>

class QCoreApplication;
class QWidget;

namespace platform {

// System cursors shown over the resize zones.
enum class SystemCursor { Arrow, SizeWE, SizeNS, SizeNWSE, SizeNESW };

// Called on the GUI thread, from its event loop, for each press, repeat and release of the
// watched chord, never inside the system's own delivery of the key.
using KeyChordCallback = void (*)(KeyChordEvent event);

// Opaque handle of an installed chord watcher; null when none is installed.
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

    // Click-through on: the window stays visible and every mouse action passes through it to
    // whatever lies beneath. Off: the window takes the mouse again, as it did before.
    virtual void setClickThrough(QWidget* window, bool on) = 0;

    // Keeps the window above ordinary windows: puts it at the top of the stays-on-top band and
    // shows it if hidden, without moving, resizing, activating or focusing it.
    virtual void raiseTopmost(QWidget* window) = 0;

    // Whether the watcher can see this chord's key at all.
    virtual bool canWatchKeyChord(const KeyChord& chord) const = 0;
    // Starts watching the chord on the whole desktop, whichever program has the keyboard, and
    // never consumes the keys. One watcher serves the process. Returns null when the watcher
    // cannot be installed or the chord cannot be watched.
    virtual HookHandle watchKeyChord(const KeyChord& chord, KeyChordCallback callback) = 0;
    virtual void unwatchKeyChord(HookHandle hook) = 0;
    // Where the desktop binds the key itself, its own words for the key it bound (after the
    // watcher's Bound); empty where the watcher sees the chord asked for.
    virtual QString boundKeyText(HookHandle hook) const;

    virtual void setCursor(QWidget* window, SystemCursor cursor) = 0;

    // Size of the primary screen in device-independent pixels, as Qt reports it.
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

// Whether the desktop asks for its screens to be scaled, so that Qt's own scaling should follow
// it. On X11 only Xft.dpi asks (what desktops write for their scaling setting): the X server's
// own DPI comes from the monitor's reported size, or is a fixed 100 in Xvfb, and is no scale
// anyone chose. Safe to call before any Qt object exists.
bool desktopSetsScale();
// The address of a local server (QLocalServer) that only this user's processes in this logon
// session reach: the scope of the guard `name`.
std::string sessionServerName(const char* name);

// Makes the desktop's requests to end the process (on Linux SIGTERM, SIGINT and SIGHUP, as
// at logout) end the event loop the normal way, so that shutdown runs in full.
void quitOnTerminationRequest(QCoreApplication& app);

} // namespace platform
