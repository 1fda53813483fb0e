// The single-instance guard across real processes: held while its owner lives, free again
// once the owner dies, however it dies. The lock commands that reach the copy holding it.

#include "app/LockCommand.h"
#include "platform/Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Forks a child that tries the guard, reports the result through a pipe and then, if it got
// the guard, waits to be killed. Returns the child's pid and its answer.
std::pair<pid_t, bool> tryInChild(const char* name) {
    int fds[2];
    if (pipe(fds) != 0)
        qFatal("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const char answer = platform::acquireInstanceGuard(name) ? '1' : '0';
        (void)!write(fds[1], &answer, 1);
        close(fds[1]);
        if (answer == '1')
            pause();
        _exit(0);
    }
    close(fds[1]);
    char answer = '?';
    (void)!read(fds[0], &answer, 1);
    close(fds[0]);
    return {pid, answer == '1'};
}

void killAndReap(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace

class TestInstanceGuard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void secondProcessIsRefused();
    void freedWhenOwnerIsKilled();
    void namesAreIndependent();
    void fallsBackToTempDir();
    void lockCommandParsed_data();
    void lockCommandParsed();
    void lockCommandReachesServer();

private:
    QTemporaryDir runtimeDir;
};

void TestInstanceGuard::initTestCase() {
    QVERIFY(runtimeDir.isValid());
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
}

void TestInstanceGuard::secondProcessIsRefused() {
    auto [first, firstGot] = tryInChild("guard-a");
    QVERIFY(firstGot);
    auto [second, secondGot] = tryInChild("guard-a");
    QVERIFY(!secondGot);
    killAndReap(second);
    killAndReap(first);
}

void TestInstanceGuard::freedWhenOwnerIsKilled() {
    auto [owner, got] = tryInChild("guard-b");
    QVERIFY(got);
    killAndReap(owner);
    auto [next, nextGot] = tryInChild("guard-b");
    QVERIFY(nextGot);
    killAndReap(next);
}

void TestInstanceGuard::namesAreIndependent() {
    auto [a, aGot] = tryInChild("guard-c");
    auto [b, bGot] = tryInChild("guard-d");
    QVERIFY(aGot);
    QVERIFY(bGot);
    killAndReap(a);
    killAndReap(b);
}

void TestInstanceGuard::fallsBackToTempDir() {
    QTemporaryDir tmp;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    auto [first, firstGot] = tryInChild("guard-e");
    auto [second, secondGot] = tryInChild("guard-e");
    qputenv("XDG_RUNTIME_DIR", saved);
    QVERIFY(firstGot);
    QVERIFY(!secondGot);
    QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), 1);
    killAndReap(second);
    killAndReap(first);
}

void TestInstanceGuard::lockCommandParsed_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("command");

    QTest::newRow("plain start") << QStringList{"kibchat"} << int(LockCommand::None);
    QTest::newRow("toggle") << QStringList{"kibchat", "--toggle-lock"}
                            << int(LockCommand::ToggleLock);
    QTest::newRow("lock") << QStringList{"kibchat", "--lock"} << int(LockCommand::Lock);
    QTest::newRow("unlock") << QStringList{"kibchat", "--unlock"} << int(LockCommand::Unlock);
    QTest::newRow("after Qt's own options")
        << QStringList{"kibchat", "-platform", "offscreen", "--unlock"} << int(LockCommand::Unlock);
    QTest::newRow("an unknown option alone")
        << QStringList{"kibchat", "--locked"} << int(LockCommand::None);
}

void TestInstanceGuard::lockCommandParsed() {
    QFETCH(QStringList, arguments);
    QFETCH(int, command);
    QCOMPARE(int(parseLockCommand(arguments)), command);
}

void TestInstanceGuard::lockCommandReachesServer() {
    const QString name = QString::fromStdString(platform::sessionServerName("guard-f"));
    QVERIFY(name.startsWith(runtimeDir.path()));                // the session's own directory
    QCOMPARE(sendLockCommand(LockCommand::Lock, name, 500), 1); // no copy runs

    // A copy that died left its socket: the next one takes the name over.
    QFile stale(name);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    LockCommandServer server;
    QVERIFY(server.listen(name));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(name).permissions() & others, QFile::Permissions());

    qRegisterMetaType<LockCommand>();
    QSignalSpy spy(&server, &LockCommandServer::received);
    for (LockCommand command : {LockCommand::ToggleLock, LockCommand::Unlock}) {
        std::atomic<int> status{-1};
        std::thread client([&] { status = sendLockCommand(command, name); });
        QTRY_VERIFY(status != -1);
        client.join();
        QCOMPARE(int(status), 0);
        QCOMPARE(spy.last().at(0).value<LockCommand>(), command);
    }
    QCOMPARE(spy.count(), 2);
}

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
