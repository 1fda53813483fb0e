#pragma once

#include "platform/Platform.h"

#include <QHash>
#include <QVector>

namespace platform {

// Backend for windowless runs (QT_QPA_PLATFORM=offscreen and similar): nothing reaches a
// display, and every request is recorded so tests can see what the window asked for.
class HeadlessPlatform : public Platform {
public:
    const char* name() const override { return "headless"; }

    qint32 windowExStyle(QWidget* window) override;
    void setWindowExStyle(QWidget* window, qint32 exStyle) override;
    void raiseTopmost(QWidget* window) override;
    HookHandle installHotKeyHook(HotKeyCallback callback) override;
    void removeHotKeyHook(HookHandle hook) override;
    void setCursor(QWidget* window, SystemCursor cursor) override;
    bool canHideFromCapture() const override { return captureSupported; }
    CaptureHiding hideFromCapture(QWidget* window, bool hide) override;

    // Test controls and records.
    bool failHookInstall = false;
    qint32 initialExStyle = 0x100; // any style a fresh native window may carry
    QVector<qint32> exStyleWrites;
    int raiseCount = 0;
    int installCount = 0;
    int removeCount = 0;
    SystemCursor lastCursor = SystemCursor::Arrow;
    int cursorCount = 0;
    bool captureSupported = false;
    CaptureHiding captureResult = CaptureHiding::Hidden; // what a supported request gives
    QVector<bool> captureRequests;

    bool hookInstalled() const { return callback_ != nullptr; }
    // Simulates an F10 key-down on the desktop.
    void pressHotKey();

private:
    QHash<QWidget*, qint32> styles_;
    HotKeyCallback callback_ = nullptr;
};

} // namespace platform
