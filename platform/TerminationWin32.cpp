#include "platform/Platform.h"

namespace platform {

// Windows ends a GUI program at logout through session messages that Qt answers itself, and
// has no termination signals to turn into a normal quit: nothing to install.
void quitOnTerminationRequest(QCoreApplication&) {}

} // namespace platform
