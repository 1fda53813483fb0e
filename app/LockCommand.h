#pragma once

// The command line's lock commands, for macro pads, scripts and desktop shortcuts:
// `kibchat --toggle-lock`, `--lock` and `--unlock` tell the running copy through a local server
// that only this user's processes in this session reach.

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

enum class LockCommand { None, ToggleLock, Lock, Unlock };
Q_DECLARE_METATYPE(LockCommand)

// The lock command among the arguments (argv[0] first); None when there is none. Arguments that
// are not ours (Qt's own, such as -platform) are left alone.
LockCommand parseLockCommand(const QStringList& arguments);

// Sends the command to the copy serving `serverName` and waits for its answer. Returns the
// exit status: 0 when the running copy acknowledged it, 1 when no copy answered.
int sendLockCommand(LockCommand command, const QString& serverName, int timeoutMs = 3000);

// The running copy's end: emits `received` for each command a client sends, then answers it.
class LockCommandServer : public QObject {
    Q_OBJECT

public:
    explicit LockCommandServer(QObject* parent = nullptr);

    // Listens on `serverName`, taking over a socket left by a copy that ended without removing
    // it; the caller holds the single-instance guard, so no live copy listens there.
    bool listen(const QString& serverName);

signals:
    void received(LockCommand command);

private:
    void serveNext();

    QLocalServer* server;
};
