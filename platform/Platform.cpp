#include "platform/Platform.h"

#include "platform/HeadlessPlatform.h"

#include <QGuiApplication>
#include <QScreen>

#include <memory>

namespace platform {

// Defined by the backend file that CMake picked for this system; null when that backend
// cannot serve the running Qt platform plugin.
std::unique_ptr<Platform> createNativePlatform();

namespace {
Platform* override_ = nullptr;
} // namespace

Platform::~Platform() = default;

QString Platform::boundKeyText(HookHandle) const {
    return QString();
}

QSize Platform::primaryScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

bool Platform::canHideFromCapture() const {
    return false;
}

CaptureHiding Platform::hideFromCapture(QWidget* window, bool hide) {
    Q_UNUSED(window)
    return hide ? CaptureHiding::Unsupported : CaptureHiding::Off;
}

bool Platform::seesPointerOverOtherWindows() const {
    // Wayland shows a client the pointer only over its own surfaces; through XWayland too, as
    // the click-through overlay's pointer belongs to the window beneath.
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

Platform& current() {
    if (override_)
        return *override_;
    static const std::unique_ptr<Platform> chosen = [] {
        std::unique_ptr<Platform> native = createNativePlatform();
        return native ? std::move(native) : std::unique_ptr<Platform>(new HeadlessPlatform);
    }();
    return *chosen;
}

void setCurrentForTesting(Platform* platform) {
    override_ = platform;
}

} // namespace platform
