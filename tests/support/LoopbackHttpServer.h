#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVector>

#include <functional>

class QTcpServer;
class QTcpSocket;

// A tiny HTTP/1.1 server on 127.0.0.1 and an ephemeral port, for tests of the room client.
// Each request is answered by a handler and closed; every request is logged with its time.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool reset = false; // close the connection without answering
        bool hang = false;  // keep the connection open and never answer
        int cutAt = -1;     // send the headers and this many bytes of the body, then stall
        int trickleMs = 0;  // send the body one byte per this many milliseconds
        int delayMs = 0;    // answer this long after the request came
        static Reply json(const QByteArray& body) { return {200, body, false}; }
        static Reply connectionReset() { return {0, {}, true}; }
        static Reply hung() {
            Reply r;
            r.hang = true;
            return r;
        }
    };
    struct Request {
        qint64 atMs;       // since the server started
        QByteArray target; // path and query as sent
    };
    using Handler = std::function<Reply(const QByteArray& target)>;

    explicit LoopbackHttpServer(QObject* parent = nullptr);
    ~LoopbackHttpServer() override;

    bool listen();
    QString baseUrl() const;
    void setHandler(Handler handler) { handler_ = std::move(handler); }

    QVector<Request> requests;
    // Requests whose target starts with `prefix`.
    QVector<Request> requestsTo(const QByteArray& prefix) const;
    int countTo(const QByteArray& prefix) const { return requestsTo(prefix).size(); }
    qint64 elapsedMs() const { return clock_.elapsed(); }

signals:
    void requestReceived(const QByteArray& target);

private:
    void onReadyRead(QTcpSocket* socket);
    static void answer(QTcpSocket* socket, const Reply& reply);

    QTcpServer* server_;
    Handler handler_;
    QElapsedTimer clock_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};
