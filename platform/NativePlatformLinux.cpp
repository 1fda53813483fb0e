// Picks the Linux backend for the Qt platform plugin that runs: X11 (also through XWayland) or
// Wayland.

#include "platform/Platform.h"

#include <memory>

namespace platform {

std::unique_ptr<Platform> createX11Platform();
std::unique_ptr<Platform> createWaylandPlatform();

std::unique_ptr<Platform> createNativePlatform() {
    if (std::unique_ptr<Platform> x11 = createX11Platform())
        return x11;
    return createWaylandPlatform();
}

} // namespace platform
