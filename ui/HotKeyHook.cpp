#include "ui/HotKeyHook.h"

#include "ui/ChatDialog.h"

platform::HookHandle keyboardHook = nullptr;
CChatDialog* hookTarget = nullptr;

bool lockKeyToggles(platform::KeyChordEvent event, bool holdToInteract, bool locked) {
    using platform::KeyChordEvent;
    if (!holdToInteract)
        return event == KeyChordEvent::Press || event == KeyChordEvent::Repeat;
    return (event == KeyChordEvent::Press && locked) ||
           (event == KeyChordEvent::Release && !locked);
}

void forwardHotKeyToTarget(platform::KeyChordEvent event) {
    using platform::KeyChordEvent;
    if (!hookTarget)
        return;
    if (event == KeyChordEvent::Bound || event == KeyChordEvent::Lost)
        hookTarget->lockKeyWatchChanged(event == KeyChordEvent::Lost);
    else if (lockKeyToggles(event, hookTarget->holdsToInteract(), hookTarget->locked()))
        emit hookTarget->keyboardDown(KeyLockToggle);
}
