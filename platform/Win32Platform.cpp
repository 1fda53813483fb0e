// Windows backend: a thin adapter from widgets to the Win32 calls in win32/Win32Calls.cpp,
// which hold everything that needs <windows.h> and nothing that needs Qt.

#include "platform/Platform.h"
#include "platform/win32/CaptureExclusion.h"
#include "platform/win32/Win32Calls.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace platform {

namespace {

// Creates the native window if it does not exist yet; the window code asks for it only once
// its flags are set.
win32::WindowHandle nativeWindow(QWidget* widget) {
    return static_cast<win32::WindowHandle>(widget->winId());
}

win32::Cursor toWin32(SystemCursor cursor) {
    switch (cursor) {
    case SystemCursor::Arrow:
        break;
    case SystemCursor::SizeWE:
        return win32::Cursor::SizeWE;
    case SystemCursor::SizeNS:
        return win32::Cursor::SizeNS;
    case SystemCursor::SizeNWSE:
        return win32::Cursor::SizeNWSE;
    case SystemCursor::SizeNESW:
        return win32::Cursor::SizeNESW;
    }
    return win32::Cursor::Arrow;
}

// The virtual key of a Qt key on a US layout; 0 for keys the hook cannot name.
std::uint32_t virtualKeyFor(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<std::uint32_t>(key); // the virtual keys share these codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 0x70 + static_cast<std::uint32_t>(key - Qt::Key_F1); // VK_F1 onwards
    struct Pair {
        int key;
        std::uint32_t vk;
    };
    static constexpr Pair kKeys[] = {
        {Qt::Key_Escape, 0x1B},    {Qt::Key_Tab, 0x09},          {Qt::Key_Backspace, 0x08},
        {Qt::Key_Return, 0x0D},    {Qt::Key_Enter, 0x0D},        {Qt::Key_Insert, 0x2D},
        {Qt::Key_Delete, 0x2E},    {Qt::Key_Pause, 0x13},        {Qt::Key_Print, 0x2C},
        {Qt::Key_Home, 0x24},      {Qt::Key_End, 0x23},          {Qt::Key_Left, 0x25},
        {Qt::Key_Up, 0x26},        {Qt::Key_Right, 0x27},        {Qt::Key_Down, 0x28},
        {Qt::Key_PageUp, 0x21},    {Qt::Key_PageDown, 0x22},     {Qt::Key_ScrollLock, 0x91},
        {Qt::Key_Space, 0x20},     {Qt::Key_Semicolon, 0xBA},    {Qt::Key_Equal, 0xBB},
        {Qt::Key_Comma, 0xBC},     {Qt::Key_Minus, 0xBD},        {Qt::Key_Period, 0xBE},
        {Qt::Key_Slash, 0xBF},     {Qt::Key_QuoteLeft, 0xC0},    {Qt::Key_BracketLeft, 0xDB},
        {Qt::Key_Backslash, 0xDC}, {Qt::Key_BracketRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE},
    };
    for (const Pair& pair : kKeys) {
        if (pair.key == key)
            return pair.vk;
    }
    return 0;
}

// The window code's callback; the hook calls relay() inside the system's key delivery.
KeyChordCallback chordCallback = nullptr;

// A low-level hook that runs past the system's time limit is dropped without notice, so the
// hook only posts the event to the GUI thread's queue and returns.
void relay(KeyChordEvent event) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [event] {
            if (chordCallback)
                chordCallback(event);
        },
        Qt::QueuedConnection);
}

const char* const kSavedExStyle = "kibchatSavedExStyle";

class Win32Platform final : public Platform {
public:
    const char* name() const override { return "win32"; }

    // The window's own extended style is read once, the first time, and comes back whole when
    // click-through goes off; on, WS_EX_LAYERED | WS_EX_TRANSPARENT join it.
    void setClickThrough(QWidget* window, bool on) override {
        const win32::WindowHandle handle = nativeWindow(window);
        QVariant saved = window->property(kSavedExStyle);
        if (!saved.isValid()) {
            saved = win32::windowExStyle(handle);
            window->setProperty(kSavedExStyle, saved);
        }
        const qint32 style = saved.toInt();
        win32::setWindowExStyle(handle, on ? style | win32::kExStyleClickThrough : style);
    }

    void raiseTopmost(QWidget* window) override {
        // Shown through Qt first, so that Qt's idea of the window's visibility stays true;
        // the native call would show it behind Qt's back.
        if (!window->isVisible())
            window->show();
        win32::raiseTopmost(nativeWindow(window));
    }

    bool canWatchKeyChord(const KeyChord& chord) const override {
        return chord.isValid() && virtualKeyFor(chord.key) != 0;
    }

    HookHandle watchKeyChord(const KeyChord& chord, KeyChordCallback callback) override {
        if (!callback || !canWatchKeyChord(chord))
            return nullptr;
        NativeChord native;
        native.key = virtualKeyFor(chord.key);
        native.modifiers = chord.modifierBits();
        HookHandle hook = win32::installKeyboardHook(native, &relay);
        if (hook)
            chordCallback = callback;
        return hook;
    }

    void unwatchKeyChord(HookHandle hook) override {
        if (win32::removeKeyboardHook(hook))
            chordCallback = nullptr;
    }

    void setCursor(QWidget* window, SystemCursor cursor) override {
        Q_UNUSED(window) // the system cursor belongs to the thread, not to one window
        win32::setCursor(toWin32(cursor));
    }

    bool canHideFromCapture() const override { return true; }

    CaptureHiding hideFromCapture(QWidget* window, bool hide) override {
        const win32::CaptureAffinity held = win32::setCaptureExclusion(nativeWindow(window), hide);
        if (!hide)
            return CaptureHiding::Off;
        switch (held) {
        case win32::CaptureAffinity::Hidden:
            return CaptureHiding::Hidden;
        case win32::CaptureAffinity::Black:
            return CaptureHiding::ShownBlack;
        case win32::CaptureAffinity::Shown: // refused, as by wine's stub
        case win32::CaptureAffinity::Unknown:
            break;
        }
        return CaptureHiding::NotPossible;
    }
};

} // namespace

// Windows display scaling is always a choice of the user's.
bool desktopSetsScale() {
    return true;
}

std::unique_ptr<Platform> createNativePlatform() {
    // Offscreen and other plugins have no native windows: they get the headless backend.
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return nullptr;
    return std::make_unique<Win32Platform>();
}

} // namespace platform
