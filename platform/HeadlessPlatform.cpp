#include "platform/HeadlessPlatform.h"

#include <QWidget>

namespace platform {

qint32 HeadlessPlatform::windowExStyle(QWidget* window) {
    return styles_.value(window, initialExStyle);
}

void HeadlessPlatform::setWindowExStyle(QWidget* window, qint32 exStyle) {
    if (!styles_.contains(window))
        QObject::connect(window, &QObject::destroyed, [this, window] { styles_.remove(window); });
    styles_.insert(window, exStyle);
    exStyleWrites.append(exStyle);
}

void HeadlessPlatform::raiseTopmost(QWidget* window) {
    ++raiseCount;
    if (!window->isVisible())
        window->show();
}

HookHandle HeadlessPlatform::installHotKeyHook(HotKeyCallback callback) {
    if (failHookInstall)
        return nullptr;
    ++installCount;
    callback_ = callback;
    return this;
}

void HeadlessPlatform::removeHotKeyHook(HookHandle hook) {
    if (hook == this) {
        ++removeCount;
        callback_ = nullptr;
    }
}

void HeadlessPlatform::setCursor(QWidget* window, SystemCursor cursor) {
    Q_UNUSED(window)
    lastCursor = cursor;
    ++cursorCount;
}

CaptureHiding HeadlessPlatform::hideFromCapture(QWidget* window, bool hide) {
    captureRequests.append(hide);
    if (!captureSupported)
        return Platform::hideFromCapture(window, hide);
    return hide ? captureResult : CaptureHiding::Off;
}

void HeadlessPlatform::pressHotKey() {
    if (callback_)
        callback_();
}

} // namespace platform
