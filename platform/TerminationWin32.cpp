#include "platform/Platform.h"

#include <QGuiApplication>

namespace platform {

// Windows has no termination signals: it ends a GUI program at logoff or shutdown through
// the session messages, which Qt answers itself. At WM_ENDSESSION Qt emits aboutToQuit, where
// the entry function runs the window's shutdown, since the system ends the process right
// after that message.
void quitOnTerminationRequest(QCoreApplication&) {
    // Qt's fallback would ask every window to close at WM_QUERYENDSESSION; the overlay refuses
    // the desktop's close requests, so that would cancel the logoff for the whole session.
    QGuiApplication::setFallbackSessionManagementEnabled(false);
}

} // namespace platform
