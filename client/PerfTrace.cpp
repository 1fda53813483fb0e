#include "client/PerfTrace.h"

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <chrono>
#include <cstdio>

namespace {

// Written in large pieces: a write per event would be a system call per record, which at a
// thousand records a second is part of what the benchmark measures.
constexpr int kFlushBytes = 64 * 1024;

struct Sink {
    QMutex mutex;
    QFile file;
    QByteArray buffer;

    Sink() {
        const QString path = qEnvironmentVariable("KIBCHAT_TRACE");
        if (path.isEmpty())
            return;
        file.setFileName(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qWarning("KIBCHAT_TRACE: cannot write %s", qPrintable(path));
        buffer.reserve(2 * kFlushBytes);
    }
    ~Sink() { writeOut(); }

    void writeOut() {
        QMutexLocker lock(&mutex);
        if (file.isOpen() && !buffer.isEmpty()) {
            file.write(buffer);
            file.flush();
        }
        buffer.clear();
    }
};

Sink& sink() {
    static Sink instance;
    return instance;
}

} // namespace

namespace perftrace {

bool enabled() {
    static const bool on = sink().file.isOpen();
    return on;
}

void note(const char* event, qint64 a, qint64 b) {
    if (!enabled())
        return;
    // Wall-clock time, so that the script can match it with its own measuring window.
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    char line[128];
    const int n =
        std::snprintf(line, sizeof line, "%lld %s %lld %lld\n", static_cast<long long>(us), event,
                      static_cast<long long>(a), static_cast<long long>(b));
    if (n <= 0)
        return;
    Sink& s = sink();
    QMutexLocker lock(&s.mutex);
    s.buffer.append(line, qMin(n, static_cast<int>(sizeof line) - 1));
    if (s.buffer.size() >= kFlushBytes) {
        s.file.write(s.buffer);
        s.buffer.clear();
    }
}

void flush() {
    if (enabled())
        sink().writeOut();
}

} // namespace perftrace
