#pragma once

#include "platform/Platform.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtGui/qwindowdefs.h>

class QWidget;
class QWindow;

// The line under the capture check box: what holds, or why the box cannot be used.
QString captureHidingText(platform::CaptureHiding state);

// Keeps the window out of screen capture while that is chosen, also when Qt replaces its
// native window (the system's setting belongs to the native window and goes with it).
class CaptureHidingKeeper : public QObject {
    Q_OBJECT

public:
    explicit CaptureHidingKeeper(QWidget* window);

    // Asks the system and returns what holds; the window's native window must exist.
    platform::CaptureHiding setHidden(bool hide);
    platform::CaptureHiding state() const { return held; }

signals:
    void stateChanged(platform::CaptureHiding state);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void watchNativeWindow();
    WId nativeId() const;

    QWidget* window;
    QPointer<QWindow> watched;
    bool wanted = false;
    WId askedFor = 0; // the native window last asked
    platform::CaptureHiding held = platform::CaptureHiding::Off;
};
