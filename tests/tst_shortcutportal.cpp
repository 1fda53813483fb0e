// The lock key bound through the desktop's global-shortcut portal, against a stand-in portal on a
// private bus of the test's own.

#include "platform/ShortcutPortal.h"
#include "support/FakeShortcutPortal.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <future>
#include <memory>

namespace {
// What the watcher reported: P press, R release, B bound, L lost.
QString events;
void record(platform::KeyChordEvent event) {
    static const char kLetters[] = "-PTRBL"; // None, Press, Repeat, Release, Bound, Lost
    events += QLatin1Char(kLetters[static_cast<int>(event)]);
}
} // namespace

class TestShortcutPortal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void offered();
    void binding_data();
    void binding();

private:
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> desktopBus;
    std::unique_ptr<QDBusConnection> programBus;
    std::unique_ptr<FakeShortcutPortal> portal;
};

void TestShortcutPortal::initTestCase() {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty())
        QSKIP("dbus-daemon is not installed (Debian package dbus-daemon)");
    QVERIFY(dir.isValid());
    daemon.start(program, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1"),
                           QStringLiteral("--address=unix:dir=") + dir.path()});
    QVERIFY(daemon.waitForStarted());
    QTRY_VERIFY(daemon.canReadLine());
    address = QString::fromLatin1(daemon.readLine()).trimmed();
}

void TestShortcutPortal::cleanupTestCase() {
    daemon.terminate();
    daemon.waitForFinished();
}

// A fresh pair of connections for each case: what one case leaves on the bus stays there.
void TestShortcutPortal::init() {
    static int serial = 0;
    ++serial;
    desktopBus = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(address, QStringLiteral("desktop%1").arg(serial)));
    programBus = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(address, QStringLiteral("program%1").arg(serial)));
    QVERIFY(desktopBus->isConnected() && programBus->isConnected());
    portal = std::make_unique<FakeShortcutPortal>(*desktopBus);
    QVERIFY(portal->registered());
    events.clear();
}

void TestShortcutPortal::cleanup() {
    portal.reset();
    QDBusConnection::disconnectFromBus(desktopBus->name());
    QDBusConnection::disconnectFromBus(programBus->name());
}

void TestShortcutPortal::offered() {
    // Asked from another thread: the stand-in answers on this one.
    const auto ask = [this] {
        auto answer = std::async(std::launch::async, [this] {
            return platform::ShortcutPortal::isOffered(*programBus, 2000);
        });
        const bool ready = QTest::qWaitFor(
            [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        return ready && answer.get();
    };
    QVERIFY(ask());
    portal->quit();
    QVERIFY(!ask());
}

void TestShortcutPortal::binding_data() {
    QTest::addColumn<QString>("chord");
    QTest::addColumn<uint>("sessionResponse");
    QTest::addColumn<uint>("bindResponse");
    QTest::addColumn<QString>("bindsAs");
    // What the desktop does once the binding is known: a press, d release, o another session's
    // press, i another shortcut's press, r the user rebinds to Ctrl+K, c the session closed,
    // q the portal gone, s the program stops watching.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("reported");
    QTest::addColumn<QString>("boundText");

    const auto row = [](const char* name, const char* chord, uint sessionResponse,
                        uint bindResponse, const char* bindsAs, const char* steps,
                        const char* asked, const char* reported, const char* boundText) {
        QTest::newRow(name) << QString(chord) << sessionResponse << bindResponse << QString(bindsAs)
                            << QString(steps) << QString(asked) << QString(reported)
                            << QString(boundText);
    };
    row("bound as asked: press and release", "F10", 0, 0, "", "ad", "F10", "BPR", "F10");
    row("modifiers in the portal's words", "Ctrl+Shift+L", 0, 0, "", "", "CTRL+SHIFT+l", "B",
        "CTRL+SHIFT+l");
    row("Windows key and a named key", "Meta+Alt+Space", 0, 0, "", "", "ALT+LOGO+space", "B",
        "ALT+LOGO+space");
    row("the user binds another key", "F10", 0, 0, "Alt+K", "a", "F10", "BP", "Alt+K");
    row("the user rebinds later", "F10", 0, 0, "", "ra", "F10", "BBP", "Ctrl+K");
    row("other sessions and shortcuts ignored", "F10", 0, 0, "", "oia", "F10", "BP", "F10");
    row("the user cancels the binding", "F10", 0, 1, "", "", "F10", "L", "");
    row("bound to no key", "F10", 0, 0, "-", "", "F10", "L", "");
    row("no session", "F10", 2, 0, "", "", "", "L", "");
    row("session closed by the desktop", "F10", 0, 0, "", "ca", "F10", "BL", "");
    row("portal gone", "F10", 0, 0, "", "qa", "F10", "BL", "");
    row("stopped: the session closed, nothing more reported", "F10", 0, 0, "", "sa", "F10", "B",
        "");
}

void TestShortcutPortal::binding() {
    QFETCH(QString, chord);
    QFETCH(uint, sessionResponse);
    QFETCH(uint, bindResponse);
    QFETCH(QString, bindsAs);
    QFETCH(QString, steps);
    QFETCH(QString, asked);
    QFETCH(QString, reported);
    QFETCH(QString, boundText);

    portal->sessionResponse = sessionResponse;
    portal->bindResponse = bindResponse;
    portal->bindsAs = bindsAs;
    bool ok = false;
    platform::ShortcutPortal watcher(*programBus, platform::KeyChord::fromText(chord, &ok),
                                     &record);
    QVERIFY(ok);
    QTRY_VERIFY(!events.isEmpty());
    QCOMPARE(portal->preferredTrigger, asked);
    if (!asked.isEmpty())
        QCOMPARE(portal->description, QString::fromUtf8(platform::ShortcutPortal::kDescription));
    const QString other = portal->session + QStringLiteral("x");
    for (const QChar step : steps) {
        switch (step.toLatin1()) {
        case 'a':
            portal->fire(true, QStringLiteral("toggle-lock"));
            break;
        case 'd':
            portal->fire(false, QStringLiteral("toggle-lock"));
            break;
        case 'o':
            portal->fire(true, QStringLiteral("toggle-lock"), other);
            break;
        case 'i':
            portal->fire(true, QStringLiteral("something-else"));
            break;
        case 'r':
            portal->rebind(QStringLiteral("Ctrl+K"));
            break;
        case 'c':
            portal->closeSession();
            break;
        case 'q':
            portal->quit();
            break;
        case 's':
            watcher.stop();
            break;
        }
    }
    QTRY_COMPARE(events, reported);
    // A report that should not come would come in this time (the bus is local).
    QTest::qWait(100);
    QCOMPARE(events, reported);
    QCOMPARE(watcher.boundKeyText(), boundText);
    if (steps.contains(QLatin1Char('s')))
        QTRY_COMPARE(portal->closedSessions, 1);
}

QTEST_GUILESS_MAIN(TestShortcutPortal)
#include "tst_shortcutportal.moc"
