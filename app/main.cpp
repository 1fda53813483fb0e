#include "app/Startup.h"
#include "platform/Platform.h"
#include "ui/ChatDialog.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Decided before any Qt object exists: a second copy shows nothing at all.
    if (!platform::acquireInstanceGuard(kInstanceGuardName))
        return 1;

    QApplication app(argc, argv);
    prepareApplication(app);
    platform::quitOnTerminationRequest(app);

    CChatDialog dialog(kDefaultOpacityLevel);
    QObject::connect(&dialog, &CChatDialog::quitApp, &app, &QApplication::quit);
    keepOpenUntilQuit(dialog);
    dialog.show();
    return app.exec();
}
