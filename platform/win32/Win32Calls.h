#pragma once

// The Win32 calls of the Windows backend behind plain C++ types. Neither Qt nor <windows.h>
// appears here, so this half builds with a bare MinGW cross compiler (there is no Qt for
// Windows on the Linux build machines), while Win32Platform.cpp adapts it to Qt widgets.

#include "platform/KeyChordMatch.h"

#include <cstdint>

namespace platform::win32 {

// An HWND, as Qt's WId carries it.
using WindowHandle = std::intptr_t;

// An HHOOK; null when none is installed.
using KeyboardHook = void*;

// Called on the hook's thread, inside the hook call: it must only post and return.
using KeyCallback = void (*)(KeyChordEvent event);

enum class Cursor { Arrow, SizeWE, SizeNS, SizeNWSE, SizeNESW };

// WS_EX_LAYERED | WS_EX_TRANSPARENT: together they let every mouse action through the window.
constexpr std::int32_t kExStyleClickThrough = 0x80000 | 0x20;

// GWL_EXSTYLE of the window, read and written as is.
std::int32_t windowExStyle(WindowHandle window);
void setWindowExStyle(WindowHandle window, std::int32_t exStyle);

// Top of the topmost band, shown, and neither moved, resized nor activated.
void raiseTopmost(WindowHandle window);

// The values of <windows.h> that the hot-key test below needs (Win32Calls.cpp checks them).
constexpr std::uintptr_t kMessageKeyDown = 0x0100;    // WM_KEYDOWN
constexpr std::uintptr_t kMessageKeyUp = 0x0101;      // WM_KEYUP
constexpr std::uintptr_t kMessageSysKeyDown = 0x0104; // WM_SYSKEYDOWN
constexpr std::uintptr_t kMessageSysKeyUp = 0x0105;   // WM_SYSKEYUP
constexpr std::uint32_t kVirtualKeyF10 = 0x79;        // VK_F10
constexpr std::uint32_t kLowLevelAltDown = 0x20;      // LLKHF_ALTDOWN

// What a low-level keyboard event (the hook's wParam and the vkCode and flags of its
// KBDLLHOOKSTRUCT, with the modifiers held before it) does to the watched chord. Windows posts
// a plain F10, and any key with Alt held, as a system key: both kinds count, and Alt is read
// from the event's own flag as well as from the held modifiers.
inline KeyChordEvent chordEventFor(KeyChordMatch& match, std::uintptr_t message,
                                   std::uint32_t vkCode, std::uint32_t flags,
                                   unsigned heldModifiers) {
    const bool down = message == kMessageKeyDown || message == kMessageSysKeyDown;
    if (!down && message != kMessageKeyUp && message != kMessageSysKeyUp)
        return KeyChordEvent::None;
    if (flags & kLowLevelAltDown)
        heldModifiers |= kChordAlt;
    return match.feed(vkCode, down, heldModifiers);
}

// Notices a low-level hook that Windows has dropped (it does so, without a word, to a hook that
// once ran past its time limit). Raw input sees every key after the low-level hooks have let it
// through, so a hook that is alive has seen each key before raw input reports it: key-downs
// that raw input reports while the hook saw nothing at all mean the hook is gone.
class HookWatchdog {
public:
    static constexpr int kMissesBeforeReinstall = 2;

    void hookSawKey() { ++hookKeys_; }

    // A key-down that raw input reported; true when the hook should be installed anew.
    bool rawKeyDown() {
        if (hookKeys_ != hookKeysAtLastRaw_) {
            hookKeysAtLastRaw_ = hookKeys_;
            misses_ = 0;
            return false;
        }
        if (++misses_ < kMissesBeforeReinstall)
            return false;
        misses_ = 0;
        return true;
    }

private:
    unsigned hookKeys_ = 0;
    unsigned hookKeysAtLastRaw_ = 0;
    int misses_ = 0;
};

// A desktop-wide low-level keyboard hook that watches `chord` (a virtual key and the exact
// ChordModifier bits held with it), calls `callback` on the installing thread for its press,
// repeat and release (chordEventFor), and passes every key on. One hook serves the process: a
// second install replaces the chord and callback. Raw input (RIDEV_INPUTSINK, on a window of
// its own) watches over it, and the hook is installed anew when Windows has dropped it
// (HookWatchdog); the returned handle stays valid through that. Returns null when the system
// refuses the hook.
KeyboardHook installKeyboardHook(NativeChord chord, KeyCallback callback);
// False when `hook` was not installed (or was already removed).
bool removeKeyboardHook(KeyboardHook hook);
// How often the hook has been installed anew, and how many key-downs raw input reported.
int keyboardHookReinstalls();
int rawInputKeyDowns();
// Unhooks the hook behind the watchdog's back, as Windows does when it drops one (tests).
bool dropKeyboardHookForTesting();

// Sets the cursor now; the system shows it until the next mouse message changes it.
void setCursor(Cursor cursor);

// Size of the primary screen in pixels.
int primaryScreenWidth();
int primaryScreenHeight();

} // namespace platform::win32
