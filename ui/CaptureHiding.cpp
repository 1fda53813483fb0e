#include "ui/CaptureHiding.h"

#include <QEvent>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>

QString captureHidingText(platform::CaptureHiding state) {
    switch (state) {
    case platform::CaptureHiding::Off:
        break;
    case platform::CaptureHiding::Unsupported:
        return QStringLiteral("本系统中任何程序都能读取屏幕，无法隐藏");
    case platform::CaptureHiding::NotPossible:
        return QStringLiteral("此处无法隐藏");
    case platform::CaptureHiding::ShownBlack:
        return QStringLiteral("录屏中显示为黑色");
    case platform::CaptureHiding::Hidden:
        return QStringLiteral("已在录屏中隐藏");
    }
    return QString();
}

CaptureHidingKeeper::CaptureHidingKeeper(QWidget* window) : QObject(window), window(window) {
    window->installEventFilter(this);
    watchNativeWindow();
}

void CaptureHidingKeeper::watchNativeWindow() {
    QWindow* handle = window->windowHandle();
    if (handle && handle != watched) {
        handle->installEventFilter(this);
        watched = handle;
    }
}

WId CaptureHidingKeeper::nativeId() const {
    // The window object's own id: the widget's copy of it lags behind during a renewal.
    const QWindow* handle = window->windowHandle();
    return handle && handle->handle() ? handle->winId() : 0;
}

platform::CaptureHiding CaptureHidingKeeper::setHidden(bool hide) {
    wanted = hide;
    held = platform::current().hideFromCapture(window, hide);
    askedFor = nativeId();
    emit stateChanged(held);
    return held;
}

bool CaptureHidingKeeper::eventFilter(QObject* object, QEvent* event) {
    // The setting belongs to the native window: a new one is asked again. Qt makes one either
    // with a new window object (the widget's id changes) or under the same one; either way it
    // is asked once.
    bool renewed = false;
    if (object == window && event->type() == QEvent::WinIdChange && window->internalWinId()) {
        watchNativeWindow();
        renewed = true;
    } else if (object == watched && event->type() == QEvent::PlatformSurface) {
        renewed = static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                  QPlatformSurfaceEvent::SurfaceCreated;
    }
    if (renewed && wanted && nativeId() != askedFor)
        setHidden(true);
    return QObject::eventFilter(object, event);
}
