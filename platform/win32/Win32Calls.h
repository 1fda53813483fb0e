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

// The values of <windows.h> that the hot-key test below needs (Win32Calls.cpp checks them).
constexpr std::uintptr_t kMessageKeyDown = 0x0100;    // WM_KEYDOWN
constexpr std::uintptr_t kMessageSysKeyDown = 0x0104; // WM_SYSKEYDOWN
constexpr std::uint32_t kVirtualKeyF10 = 0x79;        // VK_F10
constexpr std::uint32_t kLowLevelAltDown = 0x20;      // LLKHF_ALTDOWN

// Whether a low-level keyboard event (the hook's wParam and the vkCode and flags of its
// KBDLLHOOKSTRUCT) is an F10 key-down that toggles lock mode. Windows posts a plain F10 as a
// system key, so a WM_SYSKEYDOWN counts too, unless Alt is held.
constexpr bool isHotKeyDown(std::uintptr_t message, std::uint32_t vkCode, std::uint32_t flags) {
    if (vkCode != kVirtualKeyF10)
        return false;
    return message == kMessageKeyDown ||
           (message == kMessageSysKeyDown && (flags & kLowLevelAltDown) == 0);
}

// A desktop-wide low-level keyboard hook that calls `callback` on the installing thread for
// every F10 key-down (isHotKeyDown) and passes every key on. One callback serves the process: a
// second install replaces it. Returns null when the system refuses the hook.
KeyboardHook installKeyboardHook(KeyCallback callback);
// False when `hook` was not installed (or was already removed).
bool removeKeyboardHook(KeyboardHook hook);

// Sets the cursor now; the system shows it until the next mouse message changes it.
void setCursor(Cursor cursor);

// Size of the primary screen in pixels.
int primaryScreenWidth();
int primaryScreenHeight();

} // namespace platform::win32
