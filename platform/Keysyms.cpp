#include "platform/Keysyms.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace platform {

unsigned long keysymFor(int key) {
    if (key >= 0x20 && key <= 0xff)
        return static_cast<KeySym>(key); // Latin-1 keysyms share Qt's codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + static_cast<KeySym>(key - Qt::Key_F1);
    struct Pair {
        int key;
        KeySym sym;
    };
    static constexpr Pair kKeys[] = {
        {Qt::Key_Escape, XK_Escape},
        {Qt::Key_Tab, XK_Tab},
        {Qt::Key_Backspace, XK_BackSpace},
        {Qt::Key_Return, XK_Return},
        {Qt::Key_Enter, XK_KP_Enter},
        {Qt::Key_Insert, XK_Insert},
        {Qt::Key_Delete, XK_Delete},
        {Qt::Key_Pause, XK_Pause},
        {Qt::Key_Print, XK_Print},
        {Qt::Key_Home, XK_Home},
        {Qt::Key_End, XK_End},
        {Qt::Key_Left, XK_Left},
        {Qt::Key_Up, XK_Up},
        {Qt::Key_Right, XK_Right},
        {Qt::Key_Down, XK_Down},
        {Qt::Key_PageUp, XK_Prior},
        {Qt::Key_PageDown, XK_Next},
        {Qt::Key_ScrollLock, XK_Scroll_Lock},
        {Qt::Key_Menu, XK_Menu},
    };
    for (const Pair& pair : kKeys) {
        if (pair.key == key)
            return pair.sym;
    }
    return NoSymbol;
}

QString keysymName(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        key += 'a' - 'A';
    const KeySym sym = keysymFor(key);
    const char* name = sym == NoSymbol ? nullptr : XKeysymToString(sym);
    return name ? QString::fromLatin1(name) : QString();
}

} // namespace platform
