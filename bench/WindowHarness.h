#pragma once

#include "client/MsgsInfo.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>
#include <QVector>

#include <memory>

class CChatDialog;
class QEventLoop;
class QTextEdit;
namespace platform {
class HeadlessPlatform;
}

// Stands in for the room client's worker: its signal reaches the window through a queued
// connection, exactly as the worker's records do.
class RecordFeeder : public QObject {
    Q_OBJECT

signals:
    void record(MsgsInfo msgsInfo, int nOnlineCount);
};

// The real overlay window on the offscreen platform, in a scratch working directory that
// holds the pictures, with counters of what reaches the screen.
class WindowHarness : public QObject {
    Q_OBJECT

public:
    WindowHarness();
    ~WindowHarness() override;

    QTextEdit* chatLog() const { return log; }
    // The window's own slot, called directly as a test calls it.
    void receiveDirect(const MsgsInfo& msg);
    // Queued like a record from the worker; rendered once the event loop runs. Safe to call
    // from another thread, as the worker does.
    void deliverQueued(const MsgsInfo& msg) { emit feeder.record(msg, 0); }
    // Runs the event loop until the chat log has been painted again (at most `timeoutMs`);
    // false if it was not.
    bool processUntilPainted(int timeoutMs = 2000);
    // Writes every record once, painting after every 16, so that the cap is reached and the
    // glyph caches hold what the records show: the steady state of a long-running window.
    void warmUp(const QVector<MsgsInfo>& records);
    // Runs the event loop for `ms` milliseconds.
    void runFor(int ms);

    int paints() const { return paintCount; }
    // The longest stretch between two passes of the event loop since the reset, in ms (a
    // timer due every millisecond measures it): meanwhile the window answers no input. The
    // busy figure counts only the CPU time of the GUI thread in that stretch, so that it does
    // not grow when other programs hold the processor.
    void resetGapWatch();
    void stopGapWatch();
    double longestGapMs() const { return longestGapNs / 1e6; }
    double longestBusyMs() const { return longestBusyNs / 1e6; }
    // When the window last received a record from the queue, in ns of `clock`.
    qint64 lastArrivalNs() const { return lastArrival; }
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTemporaryDir workDir;
    QString previousDir;
    std::unique_ptr<platform::HeadlessPlatform> desktop;
    std::unique_ptr<CChatDialog> dialog;
    QTextEdit* log = nullptr;
    RecordFeeder feeder;
    int paintCount = 0;
    qint64 lastBeatNs = 0;
    qint64 longestGapNs = 0;
    qint64 lastBeatCpuNs = 0;
    qint64 longestBusyNs = 0;
    qint64 lastArrival = 0;
    int heartbeatTimer = 0;
    QEventLoop* waiting = nullptr;

    void timerEvent(QTimerEvent* event) override;
};

// CPU time of the calling thread, in ns.
qint64 threadCpuNs();

// Creates the application object for the offscreen platform (unless another is asked for)
// with the fonts the overlay uses.
void initBenchApplication(int& argc, char** argv);
