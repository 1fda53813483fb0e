#pragma once

#include "platform/Platform.h"

class CChatDialog;

// Process-wide, like the desktop hook they stand for: one watcher serves the process however
// many windows come and go. Touched only on the GUI thread.
extern platform::HookHandle keyboardHook;
extern CChatDialog* hookTarget;

// Whether an event of the lock key toggles lock mode. Toggle mode: every key-down, repeats
// included. Hold mode: the press unlocks, the release locks, repeats change nothing.
bool lockKeyToggles(platform::KeyChordEvent event, bool holdToInteract, bool locked);

// Called by the platform's watcher, on the GUI thread, for the watched chord's events.
void forwardHotKeyToTarget(platform::KeyChordEvent event);
