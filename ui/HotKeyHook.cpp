#include "ui/HotKeyHook.h"

#include "ui/ChatDialog.h"

platform::HookHandle keyboardHook = nullptr;
CChatDialog* hookTarget = nullptr;

void forwardHotKeyToTarget(platform::KeyChordEvent event) {
    // Every key-down toggles, auto-repeats included; the key-up does nothing.
    if (hookTarget &&
        (event == platform::KeyChordEvent::Press || event == platform::KeyChordEvent::Repeat))
        emit hookTarget->keyboardDown(KeyLockToggle);
}
