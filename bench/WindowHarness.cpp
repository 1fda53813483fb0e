#include "bench/WindowHarness.h"

#include "app/Startup.h"
#include "platform/HeadlessPlatform.h"
#include "ui/ChatDialog.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void initBenchApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    prepareApplication(app);
}

WindowHarness::WindowHarness() {
    if (!workDir.isValid() ||
        !QFile::link(QStringLiteral(KIBCHAT_SOURCE_DIR "/images"), workDir.filePath("images"))) {
        std::fprintf(stderr, "cannot prepare a working directory\n");
        std::exit(2);
    }
    previousDir = QDir::currentPath();
    QDir::setCurrent(workDir.path());
    desktop = std::make_unique<platform::HeadlessPlatform>();
    platform::setCurrentForTesting(desktop.get());
    dialog = std::make_unique<CChatDialog>(6);
    log = dialog->findChild<QTextEdit*>(QStringLiteral("chatLog"));
    log->viewport()->installEventFilter(this);
    dialog->installEventFilter(this);
    // The slot is protected: reach it the way the worker's connection does, by signature.
    QObject::connect(&feeder, SIGNAL(record(MsgsInfo, int)), dialog.get(),
                     SLOT(ReceiveMessage(MsgsInfo, int)), Qt::QueuedConnection);
    clock.start();
    // Let the window finish showing before anything is measured.
    runFor(50);
}

WindowHarness::~WindowHarness() {
    dialog.reset();
    platform::setCurrentForTesting(nullptr);
    QDir::setCurrent(previousDir);
}

void WindowHarness::receiveDirect(const MsgsInfo& msg) {
    QMetaObject::invokeMethod(dialog.get(), "ReceiveMessage", Qt::DirectConnection,
                              Q_ARG(MsgsInfo, msg), Q_ARG(int, 0));
}

bool WindowHarness::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched == log->viewport()) {
        ++paintCount;
        // Leave once this paint, and the update request that delivers it, are over.
        if (waiting)
            QMetaObject::invokeMethod(waiting, &QEventLoop::quit, Qt::QueuedConnection);
    } else if (event->type() == QEvent::MetaCall && watched == dialog.get())
        lastArrival = clock.nsecsElapsed();
    return QObject::eventFilter(watched, event);
}

bool WindowHarness::processUntilPainted(int timeoutMs) {
    const int before = paintCount;
    QEventLoop loop;
    waiting = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    waiting = nullptr;
    return paintCount != before;
}

void WindowHarness::warmUp(const QVector<MsgsInfo>& records) {
    for (int i = 0; i < records.size(); ++i) {
        receiveDirect(records.at(i));
        if (i % 16 == 15)
            processUntilPainted();
    }
    processUntilPainted();
}

void WindowHarness::runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void WindowHarness::resetGapWatch() {
    if (heartbeatTimer == 0)
        heartbeatTimer = startTimer(1, Qt::PreciseTimer); // due whenever the loop is free
    lastBeatNs = clock.nsecsElapsed();
    longestGapNs = 0;
    lastBeatCpuNs = threadCpuNs();
    longestBusyNs = 0;
}

void WindowHarness::stopGapWatch() {
    if (heartbeatTimer != 0)
        killTimer(heartbeatTimer);
    heartbeatTimer = 0;
}

void WindowHarness::timerEvent(QTimerEvent*) {
    const qint64 now = clock.nsecsElapsed();
    longestGapNs = std::max(longestGapNs, now - lastBeatNs);
    lastBeatNs = now;
    const qint64 cpu = threadCpuNs();
    longestBusyNs = std::max(longestBusyNs, cpu - lastBeatCpuNs);
    lastBeatCpuNs = cpu;
}
