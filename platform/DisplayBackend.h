#pragma once

// Which of Qt's platform plugins the overlay runs on, decided before the QApplication exists:
// natively on Wayland where the compositor offers the layer shell (the only way there to stay
// above fullscreen windows and let clicks through to native windows), through XWayland with
// the X11 backend elsewhere, and never against a choice the user made in QT_QPA_PLATFORM.

#include <QByteArray>

namespace platform {

// What the decision reads: the environment and what the compositor offers.
struct DisplayEnvironment {
    QByteArray qpaPlatform;        // QT_QPA_PLATFORM; empty when unset
    QByteArray shellIntegration;   // QT_WAYLAND_SHELL_INTEGRATION; empty when unset
    bool waylandDisplay = false;   // WAYLAND_DISPLAY names a compositor
    bool xDisplay = false;         // DISPLAY names an X server (XWayland)
    bool layerShell = false;       // the compositor answered and offers zwlr_layer_shell_v1
    bool layerShellPlugin = false; // Qt's Wayland platform and layer-shell plugins are installed
};

enum class DisplayRoute {
    Default,           // not a Wayland session, or the user's own choice: Qt decides as always
    XWayland,          // a Wayland session without the layer shell: the X11 backend
    WaylandLayerShell, // native, every window a layer surface
    WaylandPlain,      // native without the layer shell: nothing else is there
};

struct DisplayChoice {
    DisplayRoute route = DisplayRoute::Default;
    QByteArray qpaPlatform;      // to set; empty: leave as it is
    QByteArray shellIntegration; // to set; empty: leave as it is
};

// The shell integration list that asks for the layer shell, with Qt's stock shell after it in
// case the layer shell goes away between the look and the connection.
constexpr const char* kLayerShellIntegration = "layer-shell;xdg-shell";

DisplayChoice chooseDisplay(const DisplayEnvironment& environment);

// Whether the compositor named by WAYLAND_DISPLAY (Wayland's default socket when unset)
// advertises the global INTERFACE. One connection and one round trip; false when none answers.
bool compositorOffers(const char* interface);

// Reads the environment, looks at the compositor only when the answer depends on it, and sets
// the variables of the choice. Call before the QApplication exists.
DisplayChoice applyDisplayChoice();

// The route applyDisplayChoice() took in this process (Default before it ran).
DisplayRoute currentDisplayRoute();

// One line for the log that says which way the overlay runs and why.
const char* describeRoute(DisplayRoute route);

} // namespace platform
