#pragma once

// The Win32 calls of the Windows backend behind plain C++ types. Neither Qt nor <windows.h>
// appears here, so this half builds with a bare MinGW cross compiler (there is no Qt for
// Windows on the Linux build machines), while Win32Platform.cpp adapts it to Qt widgets.

#include <cstdint>

namespace platform::win32 {

// An HWND, as Qt's WId carries it.
using WindowHandle = std::intptr_t;

// An HHOOK; null when none is installed.
using KeyboardHook = void*;

using KeyCallback = void (*)();

enum class Cursor { Arrow, SizeWE, SizeNS, SizeNWSE, SizeNESW };

// GWL_EXSTYLE of the window, read and written as is.
std::int32_t windowExStyle(WindowHandle window);
void setWindowExStyle(WindowHandle window, std::int32_t exStyle);

// Top of the topmost band, shown, and neither moved, resized nor activated.
void raiseTopmost(WindowHandle window);

// A desktop-wide low-level keyboard hook that calls `callback` on the installing thread for
// every F10 key-down and passes every key on. One callback serves the process: a second
// install replaces it. Returns null when the system refuses the hook.
KeyboardHook installKeyboardHook(KeyCallback callback);
// False when `hook` was not installed (or was already removed).
bool removeKeyboardHook(KeyboardHook hook);

// Sets the cursor now; the system shows it until the next mouse message changes it.
void setCursor(Cursor cursor);

// Size of the primary screen in pixels.
int primaryScreenWidth();
int primaryScreenHeight();

} // namespace platform::win32
