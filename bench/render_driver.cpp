// Renders chat lines at steady state for an instruction count under callgrind:
//   valgrind --tool=callgrind --collect-atstart=no kibchat-render-driver LINES PER_FRAME
// Only the rendering is collected: records are delivered through the queued connection,
// PER_FRAME of them in one event-loop turn, and each such frame is run until the chat log is
// painted, so the count per line includes its share of the repaints. Between frames the
// driver sleeps, outside the collection, so that every frame is due.

#include "bench/BenchData.h"
#include "bench/WindowHarness.h"

#include <QCoreApplication>

#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    initBenchApplication(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int lines = args.size() > 1 ? args.at(1).toInt() : 1000;
    const int perFrame = args.size() > 2 ? args.at(2).toInt() : 1;
    if (lines <= 0 || perFrame <= 0 || lines % perFrame != 0) {
        std::fprintf(stderr, "usage: %s LINES PER_FRAME (LINES a multiple of PER_FRAME)\n",
                     argv[0]);
        return 2;
    }
    const QVector<MsgsInfo> records = benchdata::records(4096);
    WindowHarness window;
    window.warmUp(records);

    int next = 0;
    int unpainted = 0;
    for (int frame = 0; frame < lines / perFrame; ++frame) {
        window.runFor(20);
        CALLGRIND_TOGGLE_COLLECT;
        for (int i = 0; i < perFrame; ++i)
            window.deliverQueued(records.at(next++ % records.size()));
        if (!window.processUntilPainted(10000))
            ++unpainted;
        CALLGRIND_TOGGLE_COLLECT;
    }
    std::printf("lines %d per_frame %d paints %d unpainted_frames %d\n", lines, perFrame,
                window.paints(), unpainted);
    return unpainted == 0 ? 0 : 1;
}
