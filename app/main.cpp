#include "app/Startup.h"
#include "platform/Platform.h"
#include "ui/ChatDialog.h"

#include <QApplication>

#include <cstdio>
#include <optional>

#ifdef Q_OS_LINUX
#include "platform/DisplayBackend.h"
#endif

int main(int argc, char* argv[]) {
    // Decided before any Qt object exists: a second copy shows nothing at all.
    if (!platform::acquireInstanceGuard(kInstanceGuardName))
        return 1;

#ifdef Q_OS_LINUX
    // Natively on Wayland where the layer shell is, else through XWayland as before.
    const platform::DisplayRoute route = platform::applyDisplayChoice().route;
    if (route != platform::DisplayRoute::Default)
        std::fprintf(stderr, "kibchat: %s\n", platform::describeRoute(route));
#endif
    QApplication app(argc, argv);
    prepareApplication(app);
    platform::quitOnTerminationRequest(app);

    std::optional<CChatDialog> dialog(std::in_place, kDefaultOpacityLevel);
    QObject::connect(&*dialog, &CChatDialog::quitApp, &app, &QApplication::quit);
    keepOpenUntilQuit(*dialog);
    // The window's shutdown (hook, worker, settings file) runs as the loop ends. At the end of
    // a Windows session the loop never returns: the system ends the process right after the
    // session's last message, inside which Qt emits aboutToQuit.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&dialog] { dialog.reset(); });
    dialog->show();
    return app.exec();
}
