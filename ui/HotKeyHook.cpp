#include "ui/HotKeyHook.h"

#include "ui/ChatDialog.h"

platform::HookHandle keyboardHook = nullptr;
CChatDialog* hookTarget = nullptr;

void forwardHotKeyToTarget() {
    if (hookTarget)
        emit hookTarget->keyboardDown(KeyLockToggle);
}
