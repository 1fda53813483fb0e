#include "platform/Platform.h"

namespace platform {

// Windows ends a GUI program at logout through session messages that Qt answers itself (it
// emits aboutToQuit at WM_ENDSESSION, where the entry function ends the window), and has no
// termination signals to turn into a normal quit: nothing to install.
void quitOnTerminationRequest(QCoreApplication&) {}

} // namespace platform
