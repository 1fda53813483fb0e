#include "app/LockCommand.h"

#include <QCommandLineParser>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

// One line each way: the command's name, then "ok".
QByteArray wireName(LockCommand command) {
    switch (command) {
    case LockCommand::ToggleLock:
        return "toggle-lock";
    case LockCommand::Lock:
        return "lock";
    case LockCommand::Unlock:
        return "unlock";
    case LockCommand::None:
        break;
    }
    return QByteArray();
}

LockCommand fromWireName(const QByteArray& name) {
    for (LockCommand command : {LockCommand::ToggleLock, LockCommand::Lock, LockCommand::Unlock}) {
        if (name == wireName(command))
            return command;
    }
    return LockCommand::None;
}

constexpr int kMaxLine = 64;
constexpr int kClientWaitMs = 2000;

} // namespace

LockCommand parseLockCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption toggle(QStringLiteral("toggle-lock"));
    const QCommandLineOption lock(QStringLiteral("lock"));
    const QCommandLineOption unlock(QStringLiteral("unlock"));
    parser.addOptions({toggle, lock, unlock});
    parser.parse(arguments); // unknown options (Qt's own) are not an error here
    if (parser.isSet(toggle))
        return LockCommand::ToggleLock;
    if (parser.isSet(lock))
        return LockCommand::Lock;
    if (parser.isSet(unlock))
        return LockCommand::Unlock;
    return LockCommand::None;
}

int sendLockCommand(LockCommand command, const QString& serverName, int timeoutMs) {
    if (command == LockCommand::None)
        return 1;
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs))
        return 1;
    socket.write(wireName(command) + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return 1;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return 1;
    }
    return socket.readLine().trimmed() == "ok" ? 0 : 1;
}

LockCommandServer::LockCommandServer(QObject* parent)
    : QObject(parent), server(new QLocalServer(this)) {
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &LockCommandServer::serveNext);
}

bool LockCommandServer::listen(const QString& serverName) {
    if (server->listen(serverName))
        return true;
    QLocalServer::removeServer(serverName);
    return server->listen(serverName);
}

void LockCommandServer::serveNext() {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its line is dropped rather than kept forever.
        QTimer::singleShot(kClientWaitMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxLine)
                    socket->abort();
                return;
            }
            const LockCommand command = fromWireName(socket->readLine(kMaxLine).trimmed());
            if (command == LockCommand::None) {
                socket->abort();
                return;
            }
            emit received(command);
            socket->write("ok\n");
            socket->disconnectFromServer();
        });
    }
}
