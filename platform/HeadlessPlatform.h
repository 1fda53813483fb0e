#pragma once

#include "platform/Platform.h"

#include <QHash>
#include <QSet>
#include <QVector>

namespace platform {

// Backend for windowless runs (QT_QPA_PLATFORM=offscreen and similar): nothing reaches a
// display, and every request is recorded so tests can see what the window asked for.
class HeadlessPlatform : public Platform {
public:
    const char* name() const override { return "headless"; }

    void setClickThrough(QWidget* window, bool on) override;
    void raiseTopmost(QWidget* window) override;
    bool canWatchKeyChord(const KeyChord& chord) const override;
    HookHandle watchKeyChord(const KeyChord& chord, KeyChordCallback callback) override;
    void unwatchKeyChord(HookHandle hook) override;
    QString boundKeyText(HookHandle hook) const override {
        return hook == this ? boundKey_ : QString();
    }
    void setCursor(QWidget* window, SystemCursor cursor) override;
    bool canHideFromCapture() const override { return captureSupported; }
    CaptureHiding hideFromCapture(QWidget* window, bool hide) override;

    // Test controls and records.
    bool failHookInstall = false;
    QSet<int> unwatchableKeys; // Qt keys this desktop cannot see
    QVector<bool> clickThroughWrites;
    int raiseCount = 0;
    int installCount = 0;
    int removeCount = 0;
    SystemCursor lastCursor = SystemCursor::Arrow;
    int cursorCount = 0;
    bool captureSupported = false;
    CaptureHiding captureResult = CaptureHiding::Hidden; // what a supported request gives
    QVector<bool> captureRequests;

    bool clickThrough(QWidget* window) const { return clickThrough_.value(window, false); }
    bool hookInstalled() const { return callback_ != nullptr; }
    KeyChord watchedChord() const { return chord_; }
    // A key-down or key-up of the Qt key `key` on the desktop with `held` modifiers, as the
    // watcher sees it.
    void sendKey(int key, Qt::KeyboardModifiers held, bool down);
    // The watched chord pressed and released.
    void pressHotKey();
    // The desktop bound the watched key itself, as `text`; empty: it lost it.
    void desktopBinds(const QString& text);

private:
    QHash<QWidget*, bool> clickThrough_;
    KeyChordCallback callback_ = nullptr;
    KeyChord chord_;
    KeyChordMatch match_;
    QString boundKey_;
};

} // namespace platform
