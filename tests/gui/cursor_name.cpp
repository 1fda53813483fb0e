// Prints the name of the mouse cursor the X server shows right now, as XFixes reports it, on
// one line, e.g. "size_hor". Named cursors come from a cursor theme; a cursor without a name
// (a core font cursor, no theme installed) prints an empty line.
// Exit status 1 when the display or the XFixes extension is not available.
// Usage: kibchat-cursor

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fputs("kibchat-cursor: cannot open the display\n", stderr);
        return 1;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Cursor names arrived with XFixes 2; the server answers only clients that asked for it.
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) ||
        !XFixesQueryVersion(display, &major, &minor) || major < 2) {
        std::fputs("kibchat-cursor: the XFixes extension (2.0 or later) is missing\n", stderr);
        XCloseDisplay(display);
        return 1;
    }
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image) {
        std::fputs("kibchat-cursor: no cursor image\n", stderr);
        XCloseDisplay(display);
        return 1;
    }
    std::printf("%s\n", image->name ? image->name : "");
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
