// Asks a window's owner whether its event loop still runs: sends it the window manager's
// _NET_WM_PING and waits for the answer, which the toolkit bounces to the root window from
// its GUI thread. The X server alone never answers it, so a hung or stopped program fails.
// Prints the round trip in milliseconds. Exit status 0: answered within TIMEOUT_MS; 1: no
// answer in time; 2: bad arguments or no display.
// Usage: kibchat-xping WINDOW_ID TIMEOUT_MS

#include <X11/Xlib.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: kibchat-xping WINDOW_ID TIMEOUT_MS\n", stderr);
        return 2;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const long timeoutMs = std::strtol(argv[2], nullptr, 10);
    Display* display = XOpenDisplay(nullptr);
    if (!display || window == 0 || timeoutMs <= 0) {
        std::fputs("kibchat-xping: no display or bad arguments\n", stderr);
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    // Qt sends the answer to the root with StructureNotify | SubstructureRedirect, other
    // toolkits with SubstructureNotify: selecting one of the masks lets this client see it.
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    // A random token in the timestamp slot tells our answer from the window manager's pings.
    const long token = static_cast<long>(std::random_device{}() & 0x7fffffff) | 1;

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(ping);
    event.xclient.data.l[1] = token;
    event.xclient.data.l[2] = static_cast<long>(window);
    const auto start = std::chrono::steady_clock::now();
    if (!XSendEvent(display, window, False, NoEventMask, &event)) {
        std::fputs("kibchat-xping: XSendEvent failed\n", stderr);
        return 2;
    }
    XFlush(display);

    const int fd = ConnectionNumber(display);
    while (true) {
        while (XPending(display) > 0) {
            XEvent reply;
            XNextEvent(display, &reply);
            if (reply.type == ClientMessage && reply.xclient.message_type == protocols &&
                static_cast<Atom>(reply.xclient.data.l[0]) == ping &&
                reply.xclient.data.l[1] == token) {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
                std::printf("%lld\n", static_cast<long long>(ms));
                XCloseDisplay(display);
                return 0;
            }
        }
        const long elapsed = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count());
        if (elapsed >= timeoutMs)
            break;
        pollfd pfd{fd, POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(timeoutMs - elapsed));
    }
    std::printf("timeout\n");
    XCloseDisplay(display);
    return 1;
}
