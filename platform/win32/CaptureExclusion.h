#pragma once

// Keeping a window out of screen capture with the display affinity of Windows, behind plain
// C++ types like Win32Calls.h (no Qt, no <windows.h>).

#include "platform/win32/Win32Calls.h"

namespace platform::win32 {

// What capture shows of the window, as Windows reports it afterwards.
enum class CaptureAffinity {
    Shown,   // WDA_NONE: the call had no effect, or hiding was turned off
    Black,   // WDA_MONITOR: a black rectangle in its place
    Hidden,  // WDA_EXCLUDEFROMCAPTURE: left out (Windows 10 2004 and later)
    Unknown, // the affinity could not be read
};

// Asks for the window to be left out of capture (`exclude`), falling back to a black window
// where that is refused (older systems, and layered windows on some builds), or for the
// normal display; returns what Windows reads back, never what was asked for.
CaptureAffinity setCaptureExclusion(WindowHandle window, bool exclude);

} // namespace platform::win32
