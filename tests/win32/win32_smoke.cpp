// Windows smoke test of the Qt-free Win32 calls: the single-instance guard across two real
// processes, the F10 keyboard hook fed with synthetic input, and the window, cursor and screen
// calls on a plain native window. Built with MinGW; run under wine on Linux, or as is on
// Windows.
//
// Usage: win32_smoke.exe                 runs every check, exit status 0 when all pass
//        win32_smoke.exe guard-child NAME  tries the guard NAME and reports through its status
//        win32_smoke.exe key-window        shows a window titled "kibchat key window" that
//                                          prints "key F10 down" and "key F10 up" for each F10
//                                          it receives, until closed or after 60 s

#include "platform/win32/CaptureExclusion.h"
#include "platform/win32/Win32Calls.h"
#include "platform/win32/WindowsApi.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace platform {
bool acquireInstanceGuard(const char* name);
} // namespace platform

namespace {

// Exit statuses of the guard child.
constexpr DWORD kChildAcquired = 10;
constexpr DWORD kChildRefusedAlreadyExists = 11;
constexpr DWORD kChildRefusedOtherError = 12;

int passed = 0;
int failed = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    std::fflush(stdout);
    ++(ok ? passed : failed);
}

std::wstring widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// Runs this program again with `guard-child name` and returns its exit status.
DWORD runGuardChild(const std::string& name) {
    wchar_t self[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH))
        return 0xFFFF;
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" guard-child " + widen(name);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 0xFFFE;
    DWORD status = 0xFFFD;
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    else
        TerminateProcess(process.hProcess, 0xFFFC);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

int guardChild(const char* name) {
    if (platform::acquireInstanceGuard(name))
        return kChildAcquired;
    // The guard's last call is the GetLastError it decided on.
    return GetLastError() == ERROR_ALREADY_EXISTS ? kChildRefusedAlreadyExists
                                                  : kChildRefusedOtherError;
}

void checkGuard() {
    const std::string prefix = "kibchat-smoke-" + std::to_string(GetCurrentProcessId());
    const std::string held = prefix + "-held";

    check(platform::acquireInstanceGuard(held.c_str()), "guard: first acquire succeeds");
    HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, widen(held).c_str());
    check(opened != nullptr, "guard: a mutex of that name exists afterwards");
    if (opened)
        CloseHandle(opened);

    check(runGuardChild(held) == kChildRefusedAlreadyExists,
          "guard: a second process is refused with ERROR_ALREADY_EXISTS");
    check(runGuardChild(prefix + "-other") == kChildAcquired,
          "guard: a second process takes a different name");
    // The first child's guard went with it, however it ended.
    check(runGuardChild(prefix + "-other") == kChildAcquired,
          "guard: a name is free again once its holder has ended");

    // A UTF-8 name reaches the system as the same characters.
    const std::string utf8 = prefix + "-\xc3\xbc";
    check(platform::acquireInstanceGuard(utf8.c_str()), "guard: UTF-8 name acquired");
    opened = OpenMutexW(SYNCHRONIZE, FALSE, (widen(prefix) + L"-\u00fc").c_str());
    check(opened != nullptr, "guard: UTF-8 name converted to the same wide name");
    if (opened)
        CloseHandle(opened);

    // Another kind of object already holds the name: CreateMutexW returns null, and the
    // program starts without a guard rather than not at all.
    const std::string clash = prefix + "-event";
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, widen(clash).c_str());
    check(event != nullptr, "guard: event holding the name created");
    const bool started = platform::acquireInstanceGuard(clash.c_str());
    const DWORD error = GetLastError();
    check(started && error != ERROR_ALREADY_EXISTS && error != ERROR_SUCCESS,
          "guard: a name the system refuses means starting without the guard");
    if (event)
        CloseHandle(event);
}

// What the hooks around the one under test saw, and in which order.
int sequence = 0;
int callbackCalls = 0;
int callbackSequence = 0;
int observerKeys = 0;
int observerSequence = 0;
// The message kinds of the F10 events, as the first hook got them and as the last one did.
std::vector<WPARAM> givenF10Kinds;
std::vector<WPARAM> passedF10Kinds;
std::vector<DWORD> givenF10Flags;

std::vector<platform::KeyChordEvent> callbackEvents;

void onHotKey(platform::KeyChordEvent event) {
    callbackEvents.push_back(event);
    if (event != platform::KeyChordEvent::Press)
        return;
    ++callbackCalls;
    callbackSequence = ++sequence;
}

bool isF10(LPARAM lParam) {
    return reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode == VK_F10;
}

// Installed before the hook under test, so it runs after it: it sees a key only when the
// hook under test passed it on.
LRESULT CALLBACK observerProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode >= 0) {
        ++observerKeys;
        if (isF10(lParam)) {
            passedF10Kinds.push_back(wParam);
            if (passedF10Kinds.size() == 1)
                observerSequence = ++sequence;
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

// Installed after the hook under test, so it runs first and records what the system gave.
// Nothing is corrected here: the system's own kinds reach the hook under test (a plain F10 is
// a system key, WM_SYSKEYDOWN, on Windows and under wine alike).
LRESULT CALLBACK recorderProc(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode >= 0 && isF10(lParam)) {
        givenF10Kinds.push_back(wParam);
        givenF10Flags.push_back(reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->flags);
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

const char* kindName(WPARAM kind) {
    switch (kind) {
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_KEYUP:
        return "WM_KEYUP";
    case WM_SYSKEYDOWN:
        return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP:
        return "WM_SYSKEYUP";
    }
    return "other";
}

void sendKeys(const std::vector<std::pair<WORD, bool>>& keys) {
    std::vector<INPUT> inputs;
    for (const auto& [vk, up] : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Low-level hooks are called from this thread's message loop: pump it until `expected` keys
// reached the observer, or a time limit passes.
void pumpUntilObserved(int expected) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (observerKeys < expected && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

void checkHook() {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    HHOOK observer = SetWindowsHookExW(WH_KEYBOARD_LL, observerProc, module, 0);
    check(observer != nullptr, "hook: observer installed");

    platform::win32::KeyboardHook hook =
        platform::win32::installKeyboardHook({platform::win32::kVirtualKeyF10, 0}, &onHotKey);
    check(hook != nullptr, "hook: SetWindowsHookExW returned a hook");

    HHOOK recorder = SetWindowsHookExW(WH_KEYBOARD_LL, recorderProc, module, 0);
    check(recorder != nullptr, "hook: recorder installed");

    // The system updates a key's state only after the low-level hooks let the key through.
    sendKeys({{VK_F9, false}});
    pumpUntilObserved(1);
    check((GetAsyncKeyState(VK_F9) & 0x8000) != 0, "hook: the key is not swallowed");

    // F9, F10, then Alt+F10: only the plain F10 key-down calls back.
    sendKeys({{VK_F9, true},
              {VK_F10, false},
              {VK_F10, true},
              {VK_MENU, false},
              {VK_F10, false},
              {VK_F10, true},
              {VK_MENU, true}});
    pumpUntilObserved(8);
    for (std::size_t i = 0; i < givenF10Kinds.size(); ++i)
        std::printf("hook: F10 given as %s, flags 0x%lx\n", kindName(givenF10Kinds[i]),
                    static_cast<unsigned long>(givenF10Flags[i]));
    std::printf("hook: %d call(s) back\n", callbackCalls);
    check(observerKeys == 8, "hook: all eight keys passed on to the next hook");
    check(givenF10Kinds.size() == 4 && passedF10Kinds == givenF10Kinds,
          "hook: keys passed on with their kind unchanged");
    check(callbackCalls == 1, "hook: exactly one press, for the plain F10 key-down");
    check(callbackEvents.size() == 2 && callbackEvents[1] == platform::KeyChordEvent::Release,
          "hook: its key-up is the release, Alt+F10 calls nothing");
    check(observerSequence != 0 && observerSequence < callbackSequence,
          "hook: the key is passed on before the call back");

    check(platform::win32::removeKeyboardHook(hook), "hook: UnhookWindowsHookEx succeeded");
    check(!platform::win32::removeKeyboardHook(hook), "hook: a removed hook cannot be removed");

    sendKeys({{VK_F10, false}, {VK_F10, true}});
    pumpUntilObserved(10);
    check(observerKeys == 10 && callbackCalls == 1, "hook: no call back once removed");

    if (recorder)
        UnhookWindowsHookEx(recorder);
    if (observer)
        UnhookWindowsHookEx(observer);
}

// Pumps this thread's messages until `done` holds or a time limit passes.
template <typename Done> void pumpUntil(Done done, ULONGLONG limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (!done() && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

// A chosen chord through the real hook: exact modifiers, read from the system's key state.
void checkHookChord() {
    callbackEvents.clear();
    platform::win32::KeyboardHook hook = platform::win32::installKeyboardHook(
        {platform::win32::kVirtualKeyF10, platform::kChordCtrl}, &onHotKey);
    check(hook != nullptr, "hook chord: Ctrl+F10 watched");
    sendKeys({{VK_F10, false}, {VK_F10, true}});
    sendKeys({{VK_CONTROL, false},
              {VK_SHIFT, false},
              {VK_F10, false},
              {VK_F10, true},
              {VK_SHIFT, true}});
    sendKeys({{VK_F10, false}, {VK_F10, false}, {VK_CONTROL, true}, {VK_F10, true}});
    pumpUntil([] { return callbackEvents.size() >= 3; }, 3000);
    std::printf("hook chord: %zu event(s)\n", callbackEvents.size());
    check(callbackEvents.size() == 3 && callbackEvents[0] == platform::KeyChordEvent::Press &&
              callbackEvents[1] == platform::KeyChordEvent::Repeat &&
              callbackEvents[2] == platform::KeyChordEvent::Release,
          "hook chord: F10 alone and Ctrl+Shift+F10 ignored; Ctrl+F10 pressed, repeated, "
          "released after Ctrl");
    check(platform::win32::removeKeyboardHook(hook), "hook chord: removed");
}

// Windows drops a slow hook without a word: raw input notices and the hook comes back.
void checkHookReinstall() {
    callbackEvents.clear();
    platform::win32::KeyboardHook hook =
        platform::win32::installKeyboardHook({platform::win32::kVirtualKeyF10, 0}, &onHotKey);
    check(hook != nullptr, "hook watchdog: hook installed");
    check(platform::win32::dropKeyboardHookForTesting(), "hook watchdog: hook dropped");
    const int before = platform::win32::keyboardHookReinstalls();
    for (int i = 0; i < 4 && platform::win32::keyboardHookReinstalls() == before; ++i) {
        sendKeys({{VK_F9, false}, {VK_F9, true}});
        pumpUntil([&] { return platform::win32::keyboardHookReinstalls() != before; }, 700);
    }
    std::printf("hook watchdog: %d reinstall(s), %d raw key-down(s)\n",
                platform::win32::keyboardHookReinstalls() - before,
                platform::win32::rawInputKeyDowns());
    if (platform::win32::rawInputKeyDowns() == 0) {
        // Wine 8 gives no raw input for synthetic keys: nothing more can be seen here.
        std::printf("SKIP: hook watchdog: no raw input for synthetic keys on this system\n");
        platform::win32::removeKeyboardHook(hook);
        return;
    }
    check(platform::win32::keyboardHookReinstalls() == before + 1,
          "hook watchdog: installed anew once raw input saw keys the hook missed");
    sendKeys({{VK_F10, false}, {VK_F10, true}});
    pumpUntil([] { return callbackEvents.size() >= 2; }, 2000);
    check(callbackEvents.size() == 2 && callbackEvents[0] == platform::KeyChordEvent::Press,
          "hook watchdog: the chord works again");
    check(platform::win32::removeKeyboardHook(hook), "hook watchdog: the first handle removes it");
}

void checkWindow() {
    HWND window = CreateWindowExW(0, L"STATIC", L"kibchat smoke", WS_POPUP, 10, 10, 100, 80,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    check(window != nullptr, "window: created");
    if (!window)
        return;
    const auto handle = reinterpret_cast<platform::win32::WindowHandle>(window);

    const std::int32_t before = platform::win32::windowExStyle(handle);
    check(before == static_cast<std::int32_t>(GetWindowLongW(window, GWL_EXSTYLE)),
          "window: ex-style read");
    platform::win32::setWindowExStyle(handle, before | WS_EX_LAYERED | WS_EX_TRANSPARENT);
    const LONG locked = GetWindowLongW(window, GWL_EXSTYLE);
    check((locked & (WS_EX_LAYERED | WS_EX_TRANSPARENT)) == (WS_EX_LAYERED | WS_EX_TRANSPARENT),
          "window: click-through bits written");
    platform::win32::setWindowExStyle(handle, before);
    check((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TRANSPARENT) == 0,
          "window: saved style written back");

    check(!IsWindowVisible(window), "window: hidden before the raise");
    RECT placed{};
    GetWindowRect(window, &placed);
    platform::win32::raiseTopmost(handle);
    RECT after{};
    GetWindowRect(window, &after);
    check(IsWindowVisible(window) != FALSE, "window: shown by the raise");
    check((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
          "window: topmost after the raise");
    check(std::memcmp(&placed, &after, sizeof placed) == 0,
          "window: neither moved nor resized by the raise");
    check(GetForegroundWindow() != window, "window: not activated by the raise");

    DestroyWindow(window);
}

void checkCursors() {
    using platform::win32::Cursor;
    const struct {
        Cursor cursor;
        const wchar_t* resource;
        const char* what;
    } cases[] = {
        {Cursor::SizeWE, IDC_SIZEWE, "cursor: size west-east"},
        {Cursor::SizeNS, IDC_SIZENS, "cursor: size north-south"},
        {Cursor::SizeNWSE, IDC_SIZENWSE, "cursor: size north-west/south-east"},
        {Cursor::SizeNESW, IDC_SIZENESW, "cursor: size north-east/south-west"},
        {Cursor::Arrow, IDC_ARROW, "cursor: arrow"},
    };
    for (const auto& c : cases) {
        platform::win32::setCursor(c.cursor);
        const HCURSOR expected = LoadCursorW(nullptr, c.resource);
        check(expected != nullptr && GetCursor() == expected, c.what);
    }
}

void checkScreen() {
    // The screen's size as the display device reports it, by another route.
    HDC screen = GetDC(nullptr);
    const int width = GetDeviceCaps(screen, HORZRES);
    const int height = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    std::printf("screen: %d x %d\n", platform::win32::primaryScreenWidth(),
                platform::win32::primaryScreenHeight());
    check(width > 0 && platform::win32::primaryScreenWidth() == width, "screen: width");
    check(height > 0 && platform::win32::primaryScreenHeight() == height, "screen: height");
}

LRESULT CALLBACK keyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (wParam != VK_F10)
            break;
        std::printf("key F10 %s\n",
                    message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? "down" : "up");
        std::fflush(stdout);
        return 0; // no menu mode, which would take the keys that follow
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Registers the class of one of the test windows below; with no cursor of its own, a window
// leaves the pointer as it was.
const wchar_t* registerWindowClass(WNDPROC procedure, const wchar_t* name, int stockBrush,
                                   HCURSOR cursor = nullptr) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(stockBrush));
    windowClass.hCursor = cursor;
    RegisterClassW(&windowClass);
    return name;
}

// Runs the test window's messages until it is closed; a minute at the most, by a thread timer
// (the window's own timers are its procedure's).
int runWindow(HWND window) {
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr)
            DestroyWindow(window);
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// Another program with the keyboard focus, for the overlay's hot-key test.
int keyWindow() {
    HWND window =
        CreateWindowExW(0, registerWindowClass(keyWindowProc, L"KibChatKeyWindow", WHITE_BRUSH),
                        L"kibchat key window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 450, 300, 200,
                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window)
        return 1;
    return runWindow(window);
}

// What the click window received, for the first-click test.
LRESULT CALLBACK clickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEACTIVATE:
        std::printf("mouseactivate\n");
        std::fflush(stdout);
        break;
    case WM_LBUTTONDOWN:
        std::printf("down\n");
        std::fflush(stdout);
        return 0;
    case WM_TIMER:
        // Unlock as the overlay does: the style read before locking comes back.
        KillTimer(window, wParam);
        platform::win32::setWindowExStyle(
            reinterpret_cast<platform::win32::WindowHandle>(window),
            static_cast<std::int32_t>(GetWindowLongPtrW(window, GWLP_USERDATA)));
        std::printf("unlocked ex-style 0x%lx\n",
                    static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)));
        std::fflush(stdout);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A stand-in for the overlay: a topmost tool window, translucent (layered, as an opacity makes
// it) and click-through for two seconds, then unlocked; it prints each click it gets.
int clickWindow() {
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                                  registerWindowClass(clickWindowProc, L"KibChatClickWindow",
                                                      BLACK_BRUSH, LoadCursorW(nullptr, IDC_ARROW)),
                                  L"kibchat click window", WS_POPUP, 400, 100, 300, 200, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window)
        return 1;
    SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(window, 0, 153, LWA_ALPHA);
    const LONG saved = GetWindowLongW(window, GWL_EXSTYLE);
    SetWindowLongPtrW(window, GWLP_USERDATA, saved);
    SetWindowLongW(window, GWL_EXSTYLE, saved | WS_EX_LAYERED | WS_EX_TRANSPARENT);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    SetTimer(window, 1, 2000, nullptr);
    return runWindow(window);
}

} // namespace

// Whether this runs under wine, whose display affinity calls are stubs that refuse.
bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The capture exclusion reports what Windows reads back: on Windows the window is hidden or
// black, under wine nothing takes effect and it says so; a layered window, as the locked
// overlay is, is asked the same way.
void checkCapture() {
    using platform::win32::CaptureAffinity;
    HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, L"STATIC", L"kibchat capture",
                                  WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    check(window != nullptr, "capture: window created");
    SetLayeredWindowAttributes(window, 0, 153, LWA_ALPHA);
    const auto handle = reinterpret_cast<platform::win32::WindowHandle>(window);
    const CaptureAffinity on = platform::win32::setCaptureExclusion(handle, true);
    DWORD read = 0xFFFF;
    const bool readable = GetWindowDisplayAffinity(window, &read) != FALSE;
    check(readable && (on == CaptureAffinity::Shown) == (read == WDA_NONE) &&
              (on == CaptureAffinity::Black) == (read == WDA_MONITOR),
          "capture: the state reported is the affinity read back");
    if (underWine())
        check(on == CaptureAffinity::Shown, "capture: under wine it is not possible, and says so");
    else
        check(on == CaptureAffinity::Hidden || on == CaptureAffinity::Black,
              "capture: hidden, or black where hiding is refused");
    check(platform::win32::setCaptureExclusion(handle, false) == CaptureAffinity::Shown,
          "capture: shown again when turned off");
    DestroyWindow(window);
}

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "guard-child") == 0)
        return guardChild(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "key-window") == 0)
        return keyWindow();
    if (argc == 2 && std::strcmp(argv[1], "click-window") == 0)
        return clickWindow();

    checkGuard();
    checkHook();
    checkHookChord();
    checkHookReinstall();
    checkWindow();
    checkCursors();
    checkScreen();
    checkCapture();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
