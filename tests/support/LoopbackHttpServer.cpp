#include "LoopbackHttpServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                buffers_.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

LoopbackHttpServer::~LoopbackHttpServer() = default;

bool LoopbackHttpServer::listen() {
    clock_.start();
    return server_->listen(QHostAddress::LocalHost, 0);
}

QString LoopbackHttpServer::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(server_->serverPort());
}

QVector<LoopbackHttpServer::Request>
LoopbackHttpServer::requestsTo(const QByteArray& prefix) const {
    QVector<Request> matching;
    for (const Request& r : requests)
        if (r.target.startsWith(prefix))
            matching.append(r);
    return matching;
}

void LoopbackHttpServer::onReadyRead(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    if (!buffer.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.value(1);
    buffer.clear();
    requests.append({clock_.elapsed(), target});
    emit requestReceived(target);

    const Reply reply = handler_ ? handler_(target) : Reply{404, {}, false};
    if (reply.reset) {
        socket->abort();
        return;
    }
    if (reply.hang)
        return; // the socket stays open until the client gives up
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, socket, [socket, reply] { answer(socket, reply); });
    else
        answer(socket, reply);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const Reply& reply) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\n";
    head += "Content-Type: application/json\r\nConnection: close\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n";
    if (reply.cutAt >= 0) {
        socket->write(head + reply.body.left(reply.cutAt));
        return;
    }
    if (reply.trickleMs > 0) {
        socket->write(head);
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, sent, reply] {
            socket->write(reply.body.mid((*sent)++, 1));
            if (*sent >= reply.body.size()) {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(reply.trickleMs);
        return;
    }
    socket->write(head + reply.body);
    socket->disconnectFromHost();
}
