#pragma once

// Qt keys in X keysyms, the key names of X11 and of the Wayland desktops' shortcut settings.

#include <QString>

namespace platform {

// The keysym of a Qt key; 0 (NoSymbol) for keys without one here.
unsigned long keysymFor(int key);

// The keysym's name ("F10", "a", "Prior"); empty for keys without one here. Letters are the
// lower-case keysyms, as shortcuts name them.
QString keysymName(int key);

} // namespace platform
