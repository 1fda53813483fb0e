#include "platform/HeadlessPlatform.h"

#include <QWidget>

namespace platform {

void HeadlessPlatform::setClickThrough(QWidget* window, bool on) {
    if (!clickThrough_.contains(window))
        QObject::connect(window, &QObject::destroyed,
                         [this, window] { clickThrough_.remove(window); });
    clickThrough_.insert(window, on);
    clickThroughWrites.append(on);
}

void HeadlessPlatform::raiseTopmost(QWidget* window) {
    ++raiseCount;
    if (!window->isVisible())
        window->show();
}

bool HeadlessPlatform::canWatchKeyChord(const KeyChord& chord) const {
    return chord.isValid() && !unwatchableKeys.contains(chord.key);
}

HookHandle HeadlessPlatform::watchKeyChord(const KeyChord& chord, KeyChordCallback callback) {
    if (failHookInstall || !callback || !canWatchKeyChord(chord))
        return nullptr;
    ++installCount;
    callback_ = callback;
    chord_ = chord;
    match_ = KeyChordMatch({static_cast<std::uint32_t>(chord.key), chord.modifierBits()});
    return this;
}

void HeadlessPlatform::unwatchKeyChord(HookHandle hook) {
    if (hook == this) {
        ++removeCount;
        callback_ = nullptr;
        boundKey_.clear();
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

void HeadlessPlatform::sendKey(int key, Qt::KeyboardModifiers held, bool down) {
    const KeyChord heldChord{key, held};
    const KeyChordEvent event =
        match_.feed(static_cast<std::uint32_t>(key), down, heldChord.modifierBits());
    if (event != KeyChordEvent::None && callback_)
        callback_(event);
}

void HeadlessPlatform::pressHotKey() {
    sendKey(chord_.key, chord_.modifiers, true);
    sendKey(chord_.key, chord_.modifiers, false);
}

void HeadlessPlatform::desktopBinds(const QString& text) {
    boundKey_ = text;
    if (callback_)
        callback_(text.isEmpty() ? KeyChordEvent::Lost : KeyChordEvent::Bound);
}

} // namespace platform
