// kibchat-first-paint: milliseconds from starting a command until its top-level window first
// shows content on the X display.
//
//   kibchat-first-paint [--class NAME] [--title TEXT] [--timeout S] [--min-size PX]
//                       [--background RRGGBB] [--save FILE.ppm] [--verbose]
//                       -- COMMAND ARGS...
//
// A window of the command is one created as a child of the root window (before a window
// manager reparents it) whose WM_CLASS name or class equals NAME (ignoring case) and whose
// title contains TEXT, for whichever of the two are given. Its first paint is the first moment
// the window is viewable, at least PX pixels on each side, and its on-screen pixels are not all
// of one colour: the server's background fill at map time and a blank frame painted before the
// content therefore do not count. With --background, at least half of the window must also
// show that colour: a browser's bar drawn above a still blank page is not the page yet. The pixels
// are read after each damage report on the window or one of its subwindows, and once when the
// window first matches.
//
// Prints the milliseconds (monotonic clock, from just before the fork) on stdout and exits 0;
// on failure prints a message on stderr and exits 1 (2 for wrong usage). Every wait is bounded
// by --timeout (20 s). The command runs in its own process group, with its stdout sent to
// stderr so that stdout holds only the figure; the group is sent SIGTERM at the end, SIGKILL
// after 3 s, and the command and its orphaned helpers are reaped.
// Assumes nothing else is drawn where the window appears (e.g. a fresh Xvfb): a window without
// a background shows what lies below it until it paints.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <strings.h>
#include <vector>

namespace {

struct Options {
    std::string className;
    std::string title;
    double timeoutSeconds = 20.0;
    int minSize = 16;
    bool verbose = false;
    std::string savePath;
    long background = -1; // 0xRRGGBB, or -1 for none
    std::vector<char*> command;
};

double nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Windows vanish at any time (a short-lived helper window, a process killed mid-run): a request
// that names one must not end the tool, so errors are only counted.
int xErrors = 0;
int onXError(Display*, XErrorEvent*) {
    ++xErrors;
    return 0;
}

volatile sig_atomic_t interrupted = 0;
void onSignal(int) {
    interrupted = 1;
}

[[noreturn]] void usage(const char* message) {
    if (message)
        std::fprintf(stderr, "kibchat-first-paint: %s\n", message);
    std::fprintf(stderr, "usage: kibchat-first-paint [--class NAME] [--title TEXT] [--timeout S]\n"
                         "                           [--min-size PX] [--background RRGGBB]\n"
                         "                           [--save FILE.ppm] [--verbose]\n"
                         "                           -- COMMAND ARGS...\n");
    std::exit(2);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                usage((arg + " needs a value").c_str());
            return argv[++i];
        };
        if (arg == "--") {
            ++i;
            break;
        } else if (arg == "--class") {
            options.className = value();
        } else if (arg == "--title") {
            options.title = value();
        } else if (arg == "--timeout") {
            char* end = nullptr;
            options.timeoutSeconds = std::strtod(value(), &end);
            if (*end != '\0' || !(options.timeoutSeconds > 0 && options.timeoutSeconds <= 3600))
                usage("--timeout takes seconds between 0 and 3600");
        } else if (arg == "--min-size") {
            char* end = nullptr;
            const long size = std::strtol(value(), &end, 10);
            if (*end != '\0' || size < 1 || size > 10000)
                usage("--min-size takes pixels between 1 and 10000");
            options.minSize = static_cast<int>(size);
        } else if (arg == "--background") {
            char* end = nullptr;
            const char* text = value();
            options.background = std::strtol(text, &end, 16);
            if (*end != '\0' || std::strlen(text) != 6 || options.background < 0)
                usage("--background takes a colour as RRGGBB");
        } else if (arg == "--save") {
            options.savePath = value();
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(nullptr);
        } else {
            usage(("unknown option " + arg).c_str());
        }
    }
    for (; i < argc; ++i)
        options.command.push_back(argv[i]);
    options.command.push_back(nullptr);
    if (options.command.size() < 2)
        usage("no command given after --");
    if (options.className.empty() && options.title.empty())
        usage("give --class or --title (or both)");
    return options;
}

class Probe {
public:
    Probe(Display* display, const Options& options)
        : dpy(display), opts(options), root(DefaultRootWindow(display)),
          screenWidth(DisplayWidth(display, DefaultScreen(display))),
          screenHeight(DisplayHeight(display, DefaultScreen(display))),
          netWmName(XInternAtom(display, "_NET_WM_NAME", False)),
          utf8String(XInternAtom(display, "UTF8_STRING", False)) {}

    // Called for every window created directly below the root.
    void topLevelCreated(Window window) {
        if (!seen.insert(window).second)
            return;
        // Selected before reading the properties and the map state, so that no later change
        // is missed.
        XSelectInput(dpy, window, StructureNotifyMask | PropertyChangeMask);
        reconsider(window);
    }

    // A top-level window's name, class or map state may have changed.
    void reconsider(Window window) {
        if (!seen.count(window) || tops.count(window) || !matches(window))
            return;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy, window, &attributes) || attributes.c_class != InputOutput)
            return;
        if (opts.verbose)
            std::fprintf(stderr, "first-paint: window 0x%lx matches at %.1f ms\n", window,
                         nowMs() - start);
        tops.insert(window);
        track(window, window);
    }

    // A window created inside one that is tracked: its drawing shows in the top-level too.
    void subwindowCreated(Window parent, Window window) {
        const auto it = topOf.find(parent);
        if (it != topOf.end())
            track(window, it->second);
    }

    void propertyChanged(Window window, Atom name) {
        if (name == XA_WM_CLASS || name == XA_WM_NAME || name == netWmName)
            reconsider(window);
    }

    void mapped(Window window) {
        if (opts.verbose && tops.count(window))
            std::fprintf(stderr, "first-paint: window 0x%lx mapped at %.1f ms\n", window,
                         nowMs() - start);
    }

    void destroyed(Window window) {
        seen.erase(window);
        tops.erase(window);
        topOf.erase(window);
    }

    // Returns the top-level window whose drawing the damage object reports.
    Window damaged(Damage damage) {
        // Cleared before the pixels are read, so that drawing from now on reports again.
        XDamageSubtract(dpy, damage, None, None);
        const auto it = topOfDamage.find(damage);
        return it == topOfDamage.end() ? None : it->second;
    }

    bool isTop(Window window) const { return tops.count(window) != 0; }

    // True once the window shows something other than a single colour.
    bool showsContent(Window window) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy, window, &attributes) || attributes.map_state != IsViewable)
            return false;
        if (attributes.width < opts.minSize || attributes.height < opts.minSize)
            return false;
        int x = 0;
        int y = 0;
        Window child = None;
        if (!XTranslateCoordinates(dpy, window, root, 0, 0, &x, &y, &child))
            return false;
        // Reading a window requires the rectangle to lie on the screen.
        const int left = std::max(0, -x);
        const int top = std::max(0, -y);
        const int right = std::min(attributes.width, screenWidth - x);
        const int bottom = std::min(attributes.height, screenHeight - y);
        if (right - left < opts.minSize || bottom - top < opts.minSize)
            return false;
        XImage* image = XGetImage(dpy, window, left, top, static_cast<unsigned>(right - left),
                                  static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
        if (!image)
            return false;
        const Visual* visual = attributes.visual;
        unsigned long mask = visual ? visual->red_mask | visual->green_mask | visual->blue_mask : 0;
        if (mask == 0)
            mask = attributes.depth >= 32 ? ~0UL : (1UL << attributes.depth) - 1;
        const Census census = count(image, mask, backgroundPixel(attributes.visual) & mask);
        const bool content =
            !census.uniform && (opts.background < 0 || census.backgroundShare >= 0.5);
        if (opts.verbose && !census.uniform && !content)
            std::fprintf(stderr,
                         "first-paint: not yet: %.0f%% of the window in the background colour\n",
                         census.backgroundShare * 100);
        if (content && !opts.savePath.empty())
            savePpm(image, attributes.visual, opts.savePath);
        XDestroyImage(image);
        return content;
    }

    double start = 0;

private:
    struct Census {
        bool uniform = true;
        double backgroundShare = 0; // of the pixels, those in the --background colour
    };

    static Census count(XImage* image, unsigned long mask, unsigned long background) {
        Census census;
        const unsigned long first = XGetPixel(image, 0, 0) & mask;
        std::size_t matching = 0;
        for (int y = 0; y < image->height; ++y) {
            if (image->bits_per_pixel == 32) {
                const auto* row =
                    reinterpret_cast<const std::uint32_t*>(image->data + y * image->bytes_per_line);
                for (int x = 0; x < image->width; ++x) {
                    const unsigned long pixel = row[x] & mask;
                    census.uniform = census.uniform && pixel == first;
                    matching += pixel == background;
                }
            } else {
                for (int x = 0; x < image->width; ++x) {
                    const unsigned long pixel = XGetPixel(image, x, y) & mask;
                    census.uniform = census.uniform && pixel == first;
                    matching += pixel == background;
                }
            }
        }
        census.backgroundShare =
            static_cast<double>(matching) / (static_cast<double>(image->width) * image->height);
        return census;
    }

    // The --background colour as a pixel value of a true-colour visual.
    unsigned long backgroundPixel(const Visual* visual) const {
        if (opts.background < 0 || !visual)
            return ~0UL;
        const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
        unsigned long pixel = 0;
        for (int i = 0; i < 3; ++i) {
            const unsigned long mask = masks[i];
            if (!mask)
                continue;
            const unsigned long low = mask & (~mask + 1); // lowest set bit
            const unsigned long component =
                (static_cast<unsigned long>(opts.background) >> (16 - 8 * i)) & 0xff;
            pixel |= (component * (mask / low) / 255) * low;
        }
        return pixel;
    }

    // The pixels that counted as the first paint, for a look by eye (binary PPM).
    static void savePpm(XImage* image, const Visual* visual, const std::string& path) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || !visual) {
            if (file)
                std::fclose(file);
            std::fprintf(stderr, "kibchat-first-paint: cannot write %s\n", path.c_str());
            return;
        }
        std::fprintf(file, "P6\n%d %d\n255\n", image->width, image->height);
        const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                for (const unsigned long mask : masks) {
                    const unsigned long low = mask & (~mask + 1); // lowest set bit
                    const unsigned long value = mask ? (pixel & mask) / low : 0;
                    const unsigned long top = mask ? mask / low : 1;
                    std::fputc(static_cast<int>(value * 255 / top), file);
                }
            }
        std::fclose(file);
    }

    void track(Window window, Window top) {
        if (topOf.count(window))
            return;
        topOf[window] = top;
        // Subwindows created from now on are reported; those that already exist are listed.
        XSelectInput(dpy, window,
                     (window == top ? StructureNotifyMask | PropertyChangeMask : 0) |
                         SubstructureNotifyMask);
        const Damage damage = XDamageCreate(dpy, window, XDamageReportNonEmpty);
        topOfDamage[damage] = top;
        Window rootReturn = None;
        Window parentReturn = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(dpy, window, &rootReturn, &parentReturn, &children, &count)) {
            for (unsigned i = 0; i < count; ++i)
                track(children[i], top);
            if (children)
                XFree(children);
        }
    }

    bool matches(Window window) {
        if (!opts.className.empty()) {
            XClassHint hint{};
            if (!XGetClassHint(dpy, window, &hint))
                return false;
            const bool same =
                (hint.res_name && !strcasecmp(hint.res_name, opts.className.c_str())) ||
                (hint.res_class && !strcasecmp(hint.res_class, opts.className.c_str()));
            if (hint.res_name)
                XFree(hint.res_name);
            if (hint.res_class)
                XFree(hint.res_class);
            if (!same)
                return false;
        }
        if (!opts.title.empty()) {
            const std::string name = title(window);
            if (name.find(opts.title) == std::string::npos)
                return false;
        }
        return true;
    }

    std::string title(Window window) {
        std::string text = property(window, netWmName, utf8String);
        return text.empty() ? property(window, XA_WM_NAME, AnyPropertyType) : text;
    }

    std::string property(Window window, Atom name, Atom type) {
        Atom actualType = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        std::string text;
        if (XGetWindowProperty(dpy, window, name, 0, 1024, False, type, &actualType, &format,
                               &items, &remaining, &data) == Success &&
            data) {
            if (format == 8)
                text.assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
        }
        return text;
    }

    Display* dpy;
    const Options& opts;
    Window root;
    int screenWidth;
    int screenHeight;
    Atom netWmName;
    Atom utf8String;
    std::set<Window> seen;          // top-level windows whose input is selected
    std::set<Window> tops;          // those that match
    std::map<Window, Window> topOf; // every tracked window -> its matching top-level
    std::map<Damage, Window> topOfDamage;
};

// Pids of this process's children, from /proc (helpers of the command end up here once orphaned).
std::vector<pid_t> children() {
    std::vector<pid_t> found;
    const std::string self = std::to_string(getpid());
    DIR* proc = opendir("/proc");
    if (!proc)
        return found;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::FILE* file =
            std::fopen((std::string("/proc/") + entry->d_name + "/stat").c_str(), "r");
        if (!file)
            continue;
        char buffer[512] = {};
        const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
        std::fclose(file);
        buffer[length] = '\0';
        // The name in field 2 may hold blanks: the fields are counted after its last ')'.
        const char* rest = std::strrchr(buffer, ')');
        char state = 0;
        long ppid = 0;
        if (rest && std::sscanf(rest + 1, " %c %ld", &state, &ppid) == 2 &&
            std::to_string(ppid) == self)
            found.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
    }
    closedir(proc);
    return found;
}

// Ends the command's process group: TERM, up to 3 s for the command to exit, then KILL (which
// also takes any helper that ignored TERM). Then reaps the command and every helper orphaned
// to this process (it is their subreaper), killing any that left the group, for up to 3 s.
void stopCommand(pid_t pid) {
    const timespec pause{0, 20 * 1000 * 1000};
    kill(-pid, SIGTERM);
    double deadline = nowMs() + 3000;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0 && nowMs() < deadline)
        nanosleep(&pause, nullptr);
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    deadline = nowMs() + 3000;
    while (nowMs() < deadline) {
        while (waitpid(-1, &status, WNOHANG) > 0) {
        }
        const std::vector<pid_t> left = children();
        if (left.empty())
            break;
        for (const pid_t child : left)
            kill(child, SIGKILL);
        nanosleep(&pause, nullptr);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options opts = parseOptions(argc, argv);

    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "kibchat-first-paint: cannot open display %s\n",
                     std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(DISPLAY unset)");
        return 1;
    }
    int damageEvent = 0;
    int damageError = 0;
    if (!XDamageQueryExtension(dpy, &damageEvent, &damageError)) {
        std::fprintf(stderr, "kibchat-first-paint: the X server lacks the DAMAGE extension\n");
        return 1;
    }
    int major = 1;
    int minor = 1;
    XDamageQueryVersion(dpy, &major, &minor);
    XSetErrorHandler(onXError);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    // The selection is in place before the command can create anything.
    XSync(dpy, False);

    Probe probe(dpy, opts);
    const int xfd = ConnectionNumber(dpy);
    const pid_t parent = getpid();
    // Helpers the command starts and orphans are reparented here, to be reaped at the end.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    probe.start = nowMs();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("kibchat-first-paint: fork");
        return 1;
    }
    if (pid == 0) {
        setpgid(0, 0);
        // The command must not outlive a tool that is killed.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        close(xfd);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        execvp(opts.command[0], opts.command.data());
        std::fprintf(stderr, "kibchat-first-paint: cannot run %s: %s\n", opts.command[0],
                     std::strerror(errno));
        _exit(127);
    }
    setpgid(pid, pid); // also here: no signal may reach a group that does not exist yet

    const double deadline = probe.start + opts.timeoutSeconds * 1000.0;
    double paintedAt = -1;
    std::string failure;
    while (paintedAt < 0 && failure.empty()) {
        while (XPending(dpy) && paintedAt < 0) {
            XEvent event;
            XNextEvent(dpy, &event);
            const double at = nowMs();
            Window check = None;
            switch (event.type) {
            case CreateNotify:
                if (event.xcreatewindow.parent == root)
                    probe.topLevelCreated(event.xcreatewindow.window);
                else
                    probe.subwindowCreated(event.xcreatewindow.parent, event.xcreatewindow.window);
                check = event.xcreatewindow.window;
                break;
            case MapNotify:
                probe.mapped(event.xmap.window);
                probe.reconsider(event.xmap.window);
                check = event.xmap.window;
                break;
            case PropertyNotify:
                probe.propertyChanged(event.xproperty.window, event.xproperty.atom);
                check = event.xproperty.window;
                break;
            case DestroyNotify:
                probe.destroyed(event.xdestroywindow.window);
                break;
            default:
                if (event.type == damageEvent + XDamageNotify) {
                    const auto* notify = reinterpret_cast<const XDamageNotifyEvent*>(&event);
                    check = probe.damaged(notify->damage);
                    if (opts.verbose)
                        std::fprintf(stderr, "first-paint: damage on 0x%lx at %.1f ms\n",
                                     notify->drawable, at - probe.start);
                }
                break;
            }
            // A window that matched after it was drawn on would report no new damage.
            if (check != None && probe.isTop(check) && probe.showsContent(check)) {
                paintedAt = at;
                if (opts.verbose)
                    std::fprintf(stderr, "first-paint: content seen after event %d on 0x%lx\n",
                                 event.type, check);
            }
        }
        if (paintedAt >= 0)
            break;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            failure = WIFSIGNALED(status)
                          ? "the command was killed by signal " + std::to_string(WTERMSIG(status))
                          : "the command exited with " + std::to_string(WEXITSTATUS(status));
            failure += " before a paint";
            break;
        }
        if (interrupted) {
            failure = "interrupted";
            break;
        }
        const double left = deadline - nowMs();
        if (left <= 0) {
            char text[96];
            std::snprintf(text, sizeof text, "no matching window painted within %g s",
                          opts.timeoutSeconds);
            failure = text;
            break;
        }
        // Short polls so that an ended command or a signal is noticed promptly.
        pollfd fds{xfd, POLLIN, 0};
        poll(&fds, 1, static_cast<int>(std::min(left, 100.0)) + 1);
    }

    stopCommand(pid);
    XCloseDisplay(dpy);
    if (paintedAt < 0) {
        std::fprintf(stderr, "kibchat-first-paint: %s\n", failure.c_str());
        return 1;
    }
    if (opts.verbose && xErrors)
        std::fprintf(stderr, "first-paint: %d X errors ignored\n", xErrors);
    std::printf("%.1f\n", paintedAt - probe.start);
    return 0;
}
