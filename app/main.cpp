#include "app/LockCommand.h"
#include "app/Startup.h"
#include "platform/Platform.h"
#include "ui/ChatDialog.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <optional>

#ifdef Q_OS_LINUX
#include "platform/DisplayBackend.h"
#endif

int main(int argc, char* argv[]) {
    // A lock command only talks to the running copy: it never takes the guard nor opens a window.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString serverName =
        QString::fromStdString(platform::sessionServerName(kInstanceGuardName));
    if (const LockCommand command = parseLockCommand(arguments); command != LockCommand::None) {
        QCoreApplication app(argc, argv);
        return sendLockCommand(command, serverName);
    }

    // Decided before any Qt object exists: a second copy shows nothing at all.
    if (!platform::acquireInstanceGuard(kInstanceGuardName))
        return 1;

#ifdef Q_OS_LINUX
    // Natively on Wayland where the layer shell is, else through XWayland as before.
    const platform::DisplayRoute route = platform::applyDisplayChoice().route;
    if (route != platform::DisplayRoute::Default)
        std::fprintf(stderr, "kibchat: %s\n", platform::describeRoute(route));
#endif
    enableHighDpiScaling();
    QApplication app(argc, argv);
    prepareApplication(app);
    platform::quitOnTerminationRequest(app);

    std::optional<CChatDialog> dialog(std::in_place, kDefaultOpacityLevel);
    QObject::connect(&*dialog, &CChatDialog::quitApp, &app, &QApplication::quit);
    keepOpenUntilQuit(*dialog);

    LockCommandServer commands;
    commands.listen(serverName);
    QObject::connect(&commands, &LockCommandServer::received, &*dialog, [&dialog](LockCommand c) {
        if (c == LockCommand::ToggleLock)
            dialog->toggleLock();
        else
            dialog->setLocked(c == LockCommand::Lock);
    });
    // Only where the desktop has a tray; nothing changes where it has none.
    std::unique_ptr<CTrayIcon> tray = CTrayIcon::createIfAvailable(&*dialog);

    // The window's shutdown (hook, worker, settings file) runs as the loop ends. At the end of
    // a Windows session the loop never returns: the system ends the process right after the
    // session's last message, inside which Qt emits aboutToQuit.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&dialog, &tray] {
        tray.reset();
        dialog.reset();
    });
    dialog->show();
    if (tray)
        tray->showFirstStartHint();
    return app.exec();
}
