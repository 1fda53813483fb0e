// Windows backend: a thin adapter from widgets to the Win32 calls in win32/Win32Calls.cpp,
// which hold everything that needs <windows.h> and nothing that needs Qt.

#include "platform/Platform.h"
#include "platform/win32/CaptureExclusion.h"
#include "platform/win32/Win32Calls.h"

#include <QGuiApplication>
#include <QWidget>

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

class Win32Platform final : public Platform {
public:
    const char* name() const override { return "win32"; }

    qint32 windowExStyle(QWidget* window) override {
        return win32::windowExStyle(nativeWindow(window));
    }

    void setWindowExStyle(QWidget* window, qint32 exStyle) override {
        win32::setWindowExStyle(nativeWindow(window), exStyle);
    }

    void raiseTopmost(QWidget* window) override {
        // Shown through Qt first, so that Qt's idea of the window's visibility stays true;
        // the native call would show it behind Qt's back.
        if (!window->isVisible())
            window->show();
        win32::raiseTopmost(nativeWindow(window));
    }

    HookHandle installHotKeyHook(HotKeyCallback callback) override {
        return callback ? win32::installKeyboardHook(callback) : nullptr;
    }

    void removeHotKeyHook(HookHandle hook) override { win32::removeKeyboardHook(hook); }

    void setCursor(QWidget* window, SystemCursor cursor) override {
        Q_UNUSED(window) // the system cursor belongs to the thread, not to one window
        win32::setCursor(toWin32(cursor));
    }

    QSize primaryScreenSize() override {
        return QSize(win32::primaryScreenWidth(), win32::primaryScreenHeight());
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

std::unique_ptr<Platform> createNativePlatform() {
    // Offscreen and other plugins have no native windows: they get the headless backend.
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return nullptr;
    return std::make_unique<Win32Platform>();
}

} // namespace platform
