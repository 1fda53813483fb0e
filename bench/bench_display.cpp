// The chat log at work through the real window on the offscreen platform: one line at steady
// state (the 100-block cap reached), a stream at a given rate in real time, and a burst of
// 3000 records delivered at once.

#include "bench/BenchData.h"
#include "bench/BenchRun.h"
#include "bench/WindowHarness.h"
#include "ui/MessageLine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using benchrun::fail;

const QVector<MsgsInfo>& records() {
    static const QVector<MsgsInfo> all = benchdata::records(4096);
    return all;
}

// One window for all the benchmarks, warmed up once.
WindowHarness& window() {
    static WindowHarness harness;
    static bool warm = false;
    if (!warm) {
        harness.warmUp(records());
        warm = true;
    }
    return harness;
}

// The text of the last line that records [first, first + count) write.
QString lastLineOf(int first, int count) {
    for (int i = first + count - 1; i >= first; --i) {
        QString line;
        for (const LinePiece& piece : composeMessageLine(records().at(i % records().size())))
            line += piece.text;
        if (!line.isEmpty())
            return line.chopped(1); // without the newline that ends it
    }
    return QString();
}

// One line written by a direct call, as the tests make it: the document work of a line
// (composition, insertion, layout, the cap's trim), with no event loop and so no painting.
void BM_LineDirect(benchmark::State& state) {
    WindowHarness& w = window();
    int i = 0;
    for (auto _ : state) {
        w.receiveDirect(records().at(i));
        i = (i + 1) % records().size();
    }
    state.SetItemsProcessed(state.iterations());
    w.processUntilPainted();
    if (w.chatLog()->document()->blockCount() != 100)
        fail(state, "the chat log lost its cap");
}
BENCHMARK(BM_LineDirect)->Unit(benchmark::kMicrosecond);

// Records arriving through the queued connection at `rate` per second for three seconds,
// emitted by a thread of their own with the worker's even pacing, so that each usually lands
// in an event-loop pass of its own. Counted: the CPU time of the GUI thread per record, which
// covers everything the window does for it, paints included.
void BM_Stream(benchmark::State& state) {
    WindowHarness& w = window();
    const int rate = static_cast<int>(state.range(0));
    const int count = rate * 3;
    const int paintsBefore = w.paints();
    qint64 cpuNs = 0;
    int first = 0;
    for (auto _ : state) {
        std::unique_ptr<QThread> feeder(QThread::create([&w, rate, count, first] {
            const auto spacing = std::chrono::nanoseconds(1000000000LL / rate);
            auto next = std::chrono::steady_clock::now();
            for (int i = 0; i < count; ++i) {
                w.deliverQueued(records().at((first + i) % records().size()));
                next += spacing;
                std::this_thread::sleep_until(next);
            }
        }));
        first += count;
        const qint64 cpuStart = threadCpuNs();
        QEventLoop loop;
        QObject::connect(feeder.get(), &QThread::finished, &loop, &QEventLoop::quit);
        feeder->start();
        loop.exec();
        w.runFor(50); // the last records' frame
        cpuNs += threadCpuNs() - cpuStart;
        feeder->wait();
    }
    const double lines = static_cast<double>(count) * static_cast<double>(state.iterations());
    state.counters["gui_cpu_us_per_line"] = static_cast<double>(cpuNs) / 1000.0 / lines;
    state.counters["paints_per_line"] = static_cast<double>(w.paints() - paintsBefore) / lines;
}
BENCHMARK(BM_Stream)->Arg(10)->Arg(100)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

// 3000 records posted at once, as the worker emits a large poll reply with no pacing delay,
// until the chat log is painted with the newest line. Counters: the time from the last
// record's arrival to the paint, and the longest stretch without an event-loop pass (wall
// time, and the GUI thread's CPU time in it).
void BM_Burst3000(benchmark::State& state) {
    WindowHarness& w = window();
    double latencyMs = 0;
    double longestGapMs = 0;
    double longestBusyMs = 0;
    int offset = 0;
    for (auto _ : state) {
        w.resetGapWatch();
        for (int i = 0; i < 3000; ++i)
            w.deliverQueued(records().at((offset + i) % records().size()));
        offset += 3000;
        const QString newest = lastLineOf(offset - 3000, 3000);
        // Bounded: a window that never shows the newest line fails the benchmark instead.
        bool done = false;
        const qint64 deadline = w.clock.nsecsElapsed() + 30000000000LL;
        while (!done && w.clock.nsecsElapsed() < deadline) {
            w.processUntilPainted(500);
            done = w.chatLog()->document()->lastBlock().previous().text() == newest;
        }
        const qint64 end = w.clock.nsecsElapsed();
        if (!done) {
            fail(state, "the burst did not reach the screen");
            break;
        }
        latencyMs = std::max(latencyMs, (end - w.lastArrivalNs()) / 1e6);
        longestGapMs = std::max(longestGapMs, w.longestGapMs());
        longestBusyMs = std::max(longestBusyMs, w.longestBusyMs());
    }
    w.stopGapWatch();
    state.counters["ms_after_last_arrival_max"] = latencyMs;
    state.counters["longest_gap_ms_max"] = longestGapMs;
    state.counters["longest_busy_ms_max"] = longestBusyMs;
}
BENCHMARK(BM_Burst3000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    initBenchApplication(argc, argv);
    return benchrun::run(argc, argv);
}
