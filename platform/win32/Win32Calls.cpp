#include "platform/win32/Win32Calls.h"
#include "platform/win32/WindowsApi.h"

namespace platform::win32 {

static_assert(kMessageKeyDown == WM_KEYDOWN && kMessageSysKeyDown == WM_SYSKEYDOWN);
static_assert(kMessageKeyUp == WM_KEYUP && kMessageSysKeyUp == WM_SYSKEYUP);
static_assert(kExStyleClickThrough == (WS_EX_LAYERED | WS_EX_TRANSPARENT));
static_assert(kVirtualKeyF10 == VK_F10 && kLowLevelAltDown == LLKHF_ALTDOWN);

namespace {

// Process-wide, like the hook itself. A low-level hook runs on the thread that installed it,
// from that thread's message loop, so no locking is needed.
HHOOK keyboardHook = nullptr;
KeyCallback hotKeyCallback = nullptr;
KeyChordMatch chordMatch;
int installedHooks = 0;
int reinstalls = 0;
int rawKeyDowns = 0;
HookWatchdog watchdog;
HWND rawInputWindow = nullptr;
char hookToken; // the handle callers hold: the HHOOK behind it may change

HWND toHwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

bool held(int virtualKey) {
    return GetAsyncKeyState(virtualKey) < 0;
}

// The system updates a key's state once the hooks have let it through, so while the chord's
// key is being decided the modifiers pressed before it already read as held.
unsigned heldModifiers() {
    unsigned bits = 0;
    if (held(VK_SHIFT))
        bits |= kChordShift;
    if (held(VK_CONTROL))
        bits |= kChordCtrl;
    if (held(VK_MENU))
        bits |= kChordAlt;
    if (held(VK_LWIN) || held(VK_RWIN))
        bits |= kChordMeta;
    return bits;
}

LRESULT CALLBACK keyboardHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    // The key goes on to the other hooks and to the game first, and is never swallowed: the
    // overlay only watches.
    const LRESULT next = CallNextHookEx(keyboardHook, nCode, wParam, lParam);
    if (nCode >= 0)
        watchdog.hookSawKey();
    if (nCode >= 0 && hotKeyCallback) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        // Modifiers are read only for the chord's own key: most keys cost one comparison.
        if (key->vkCode == chordMatch.chord().key) {
            const KeyChordEvent event =
                chordEventFor(chordMatch, wParam, key->vkCode, key->flags, heldModifiers());
            if (event != KeyChordEvent::None)
                hotKeyCallback(event);
        }
    }
    return next;
}

const wchar_t* cursorResource(Cursor cursor) {
    switch (cursor) {
    case Cursor::Arrow:
        break;
    case Cursor::SizeWE:
        return IDC_SIZEWE;
    case Cursor::SizeNS:
        return IDC_SIZENS;
    case Cursor::SizeNWSE:
        return IDC_SIZENWSE;
    case Cursor::SizeNESW:
        return IDC_SIZENESW;
    }
    return IDC_ARROW;
}

void reinstallHook() {
    if (keyboardHook)
        UnhookWindowsHookEx(keyboardHook); // fails quietly when Windows already removed it
    keyboardHook =
        SetWindowsHookExW(WH_KEYBOARD_LL, keyboardHookProc, GetModuleHandleW(nullptr), 0);
    ++reinstalls;
}

LRESULT CALLBACK rawInputProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INPUT) {
        RAWINPUT input;
        UINT size = sizeof(input);
        if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size,
                            sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1) &&
            input.header.dwType == RIM_TYPEKEYBOARD &&
            (input.data.keyboard.Flags & RI_KEY_BREAK) == 0) {
            ++rawKeyDowns;
            if (watchdog.rawKeyDown())
                reinstallHook();
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window of this thread receives the keyboard's raw input even while other
// programs have the focus.
void watchWithRawInput() {
    static const wchar_t* const kClass = L"KibChatRawKeys";
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = rawInputProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClass;
    RegisterClassW(&windowClass); // fails harmlessly when already registered
    rawInputWindow = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    if (!rawInputWindow)
        return;
    RAWINPUTDEVICE device{};
    device.usUsagePage = 0x01; // generic desktop controls
    device.usUsage = 0x06;     // keyboard
    device.dwFlags = RIDEV_INPUTSINK;
    device.hwndTarget = rawInputWindow;
    if (!RegisterRawInputDevices(&device, 1, sizeof(device))) {
        DestroyWindow(rawInputWindow);
        rawInputWindow = nullptr;
    }
}

void stopRawInput() {
    if (!rawInputWindow)
        return;
    RAWINPUTDEVICE device{};
    device.usUsagePage = 0x01;
    device.usUsage = 0x06;
    device.dwFlags = RIDEV_REMOVE;
    device.hwndTarget = nullptr;
    RegisterRawInputDevices(&device, 1, sizeof(device));
    DestroyWindow(rawInputWindow);
    rawInputWindow = nullptr;
}

} // namespace

std::int32_t windowExStyle(WindowHandle window) {
    return static_cast<std::int32_t>(GetWindowLongW(toHwnd(window), GWL_EXSTYLE));
}

void setWindowExStyle(WindowHandle window, std::int32_t exStyle) {
    SetWindowLongW(toHwnd(window), GWL_EXSTYLE, exStyle);
}

void raiseTopmost(WindowHandle window) {
    SetWindowPos(toHwnd(window), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

KeyboardHook installKeyboardHook(NativeChord chord, KeyCallback callback) {
    if (!keyboardHook) {
        keyboardHook =
            SetWindowsHookExW(WH_KEYBOARD_LL, keyboardHookProc, GetModuleHandleW(nullptr), 0);
        if (!keyboardHook)
            return nullptr;
        watchWithRawInput();
    }
    hotKeyCallback = callback;
    chordMatch = KeyChordMatch(chord);
    ++installedHooks;
    return &hookToken;
}

bool removeKeyboardHook(KeyboardHook hook) {
    if (hook != &hookToken || installedHooks == 0)
        return false;
    if (--installedHooks == 0) {
        stopRawInput();
        if (keyboardHook)
            UnhookWindowsHookEx(keyboardHook);
        keyboardHook = nullptr;
        hotKeyCallback = nullptr;
    }
    return true;
}

int keyboardHookReinstalls() {
    return reinstalls;
}

int rawInputKeyDowns() {
    return rawKeyDowns;
}

bool dropKeyboardHookForTesting() {
    return keyboardHook && UnhookWindowsHookEx(keyboardHook);
}

void setCursor(Cursor cursor) {
    SetCursor(LoadCursorW(nullptr, cursorResource(cursor)));
}

int primaryScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int primaryScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

} // namespace platform::win32
