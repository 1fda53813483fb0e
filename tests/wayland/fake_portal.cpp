// The desktop's global-shortcut portal for the Wayland tests, on the session bus it is given:
// it binds what it is asked to bind and fires the shortcut on command. Commands come one a line
// on stdin: "press", "release", "close" (the desktop ends the session). It reports on stdout:
//   ready                  once it owns the portal's name
//   bind <trigger>         a binding asked for, with its preferred trigger

#include "support/FakeShortcutPortal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FakeShortcutPortal portal(QDBusConnection::sessionBus());
    if (!portal.registered()) {
        std::fprintf(stderr, "cannot take the portal's name on the session bus\n");
        return 1;
    }
    portal.onBind = [](const QString& trigger) {
        std::printf("bind %s\n", qPrintable(trigger));
        std::fflush(stdout);
    };
    std::printf("ready\n");
    std::fflush(stdout);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (command == "press" || command == "release")
                portal.fire(command == "press", QStringLiteral("toggle-lock"));
            else if (command == "close")
                portal.closeSession();
        }
    });
    return app.exec();
}
