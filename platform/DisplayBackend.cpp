#include "platform/DisplayBackend.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QString>

#include <cstring>

#include <wayland-client.h>

namespace platform {

namespace {

DisplayRoute chosenRoute = DisplayRoute::Default;

bool wantsLayerShell(const QByteArray& integration) {
    return integration.split(';').contains("layer-shell");
}

// Qt looks for its plugins in its own plugin folder and in QT_PLUGIN_PATH.
bool pluginInstalled(const QString& relative) {
    QStringList folders = QString::fromLocal8Bit(qgetenv("QT_PLUGIN_PATH"))
                              .split(QDir::listSeparator(), Qt::SkipEmptyParts);
    folders << QLibraryInfo::location(QLibraryInfo::PluginsPath);
    for (const QString& folder : folders)
        if (QFileInfo::exists(folder + relative))
            return true;
    return false;
}

// Qt's Wayland platform (qtwayland5) and the layer shell's integration (layer-shell-qt): both
// are recommended by the package, not required.
bool layerShellPluginsInstalled() {
    return pluginInstalled(QStringLiteral("/platforms/libqwayland-generic.so")) &&
           pluginInstalled(QStringLiteral("/wayland-shell-integration/liblayer-shell.so"));
}

void onGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
    auto* wanted = static_cast<std::pair<const char*, bool>*>(data);
    if (std::strcmp(interface, wanted->first) == 0)
        wanted->second = true;
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

} // namespace

DisplayChoice chooseDisplay(const DisplayEnvironment& env) {
    DisplayChoice choice;
    const bool layerShellUsable = env.layerShell && env.layerShellPlugin;
    if (!env.qpaPlatform.isEmpty()) {
        // The user's platform stands; on Wayland the overlay still asks for the layer shell
        // unless the user named the shell integration too.
        if (!env.qpaPlatform.startsWith("wayland"))
            return choice;
        if (env.shellIntegration.isEmpty()) {
            if (!layerShellUsable) {
                choice.route = DisplayRoute::WaylandPlain;
                return choice;
            }
            choice.shellIntegration = kLayerShellIntegration;
        }
        choice.route = wantsLayerShell(choice.shellIntegration.isEmpty() ? env.shellIntegration
                                                                         : choice.shellIntegration)
                           ? DisplayRoute::WaylandLayerShell
                           : DisplayRoute::WaylandPlain;
        return choice;
    }
    if (!env.waylandDisplay)
        return choice;
    if (layerShellUsable) {
        choice.route = DisplayRoute::WaylandLayerShell;
        choice.qpaPlatform = "wayland";
        if (env.shellIntegration.isEmpty())
            choice.shellIntegration = kLayerShellIntegration;
        else if (!wantsLayerShell(env.shellIntegration))
            choice.route = DisplayRoute::WaylandPlain;
        return choice;
    }
    if (env.xDisplay) {
        choice.route = DisplayRoute::XWayland;
        choice.qpaPlatform = "xcb";
        return choice;
    }
    // No XWayland either: a plain Wayland window is all that can be had.
    choice.route = DisplayRoute::WaylandPlain;
    choice.qpaPlatform = "wayland";
    return choice;
}

bool compositorOffers(const char* interface) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    std::pair<const char*, bool> wanted(interface, false);
    static const wl_registry_listener listener = {&onGlobal, &onGlobalRemove};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &wanted);
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return answered && wanted.second;
}

DisplayChoice applyDisplayChoice() {
    DisplayEnvironment env;
    env.qpaPlatform = qgetenv("QT_QPA_PLATFORM");
    env.shellIntegration = qgetenv("QT_WAYLAND_SHELL_INTEGRATION");
    env.waylandDisplay = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    env.xDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    // The compositor is asked only when its answer can change the choice.
    const bool userWayland = env.qpaPlatform.startsWith("wayland");
    if ((env.qpaPlatform.isEmpty() && env.waylandDisplay) || userWayland) {
        env.layerShellPlugin = layerShellPluginsInstalled();
        env.layerShell = env.layerShellPlugin && compositorOffers("zwlr_layer_shell_v1");
    }
    const DisplayChoice choice = chooseDisplay(env);
    if (!choice.qpaPlatform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.qpaPlatform);
    if (!choice.shellIntegration.isEmpty())
        qputenv("QT_WAYLAND_SHELL_INTEGRATION", choice.shellIntegration);
    chosenRoute = choice.route;
    return choice;
}

DisplayRoute currentDisplayRoute() {
    return chosenRoute;
}

const char* describeRoute(DisplayRoute route) {
    switch (route) {
    case DisplayRoute::Default:
        return "display: as Qt chooses";
    case DisplayRoute::XWayland:
        return "display: Wayland without the layer shell, running through XWayland";
    case DisplayRoute::WaylandLayerShell:
        return "display: native Wayland on the overlay layer";
    case DisplayRoute::WaylandPlain:
        return "display: native Wayland without the layer shell: an ordinary window that the "
               "desktop may cover, and clicks do not pass through";
    }
    return "";
}

} // namespace platform
