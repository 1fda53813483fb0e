// The overlay's event trace, which bench/e2e.sh reads its timings from: a worker polling a
// loopback server hands its records to a chat log in this process, and the trace must show
// the reply, one hand-over per record, the write that took them in with the lines they made,
// and a paint after it, with wall-clock times the script can match with its own.

#include "client/GetChatMessageThread.h"
#include "client/PerfTrace.h"
#include "support/LoopbackHttpServer.h"
#include "ui/ChatLogView.h"
#include "ui/ChatLogWriter.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using Reply = LoopbackHttpServer::Reply;

namespace {

struct Event {
    qint64 us = 0;
    QByteArray name;
    qint64 a = 0;
    qint64 b = 0;
};

QJsonObject entry(const QString& type, const QJsonObject& msg) {
    return {{"type", type}, {"msg", msg}};
}

QJsonObject user(const QString& name) {
    return {{"username", name}, {"grade", 12}};
}

} // namespace

class TestPerfTrace : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void recordsFromReplyToPaint();

private:
    QVector<Event> events() const;

    QTemporaryDir dir;
    QString path;
};

void TestPerfTrace::initTestCase() {
    qRegisterMetaType<MsgsInfo>("MsgsInfo");
    QVERIFY(dir.isValid());
    path = dir.filePath(QStringLiteral("trace"));
    // Read once, at the first event: nothing in this process has noted one yet.
    qputenv("KIBCHAT_TRACE", QFile::encodeName(path));
    QVERIFY(perftrace::enabled());
}

QVector<Event> TestPerfTrace::events() const {
    perftrace::flush();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QVector<Event> list;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 4)
            list.append({fields.at(0).toLongLong(), fields.at(1), fields.at(2).toLongLong(),
                         fields.at(3).toLongLong()});
    }
    return list;
}

void TestPerfTrace::recordsFromReplyToPaint() {
    const qint64 startUs = QDateTime::currentMSecsSinceEpoch() * 1000;
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    int polls = 0;
    server.setHandler([&polls](const QByteArray& target) {
        if (target.startsWith("/room/getinfo"))
            return Reply::json(R"({"BaseRoomInfo":{"Id":7},"OnlineCount":5})");
        if (target.startsWith("/chatroom/joinroom"))
            return Reply::json(R"({"group":"g"})");
        if (target.startsWith("/item/getallitems"))
            return Reply::json(R"([{"name":"flower","title":"花","moneyCost":0}])");
        QJsonArray msgs;
        if (polls++ == 0) // a chat line, a gift, and a record of a type that writes no line
            msgs = {entry("chat", {{"content", "hi"}, {"user", user("A")}}),
                    entry("gift", {{"itemType", "flower"}, {"number", 2}, {"user", user("B")}}),
                    entry("enter", {{"user", user("C")}})};
        return Reply::json(QJsonDocument(QJsonObject{{"next", 1}, {"from", 3}, {"msgs", msgs}})
                               .toJson(QJsonDocument::Compact));
    });

    ChatLogView view;
    view.resize(277, 290);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* writer = new ChatLogWriter(&view);
    const ChatLogWriter::Style style{QFont(QStringLiteral("Sans"), 11), 100};

    ServiceEndpoints endpoints;
    endpoints.roomInfoUrl = server.baseUrl();
    endpoints.chatUrl = server.baseUrl();
    auto* worker = new CGetChatMessageThread(QStringLiteral("r"), endpoints);
    connect(
        worker, &CGetChatMessageThread::SendMessageToDisplay, &view,
        [writer, &style](MsgsInfo record, int) { writer->queue(std::move(record), style); },
        Qt::QueuedConnection);
    QThread thread;
    connect(&thread, &QThread::started, worker, &CGetChatMessageThread::StartLoop);
    worker->moveToThread(&thread);
    thread.start();
    const auto stop = qScopeGuard([&] {
        // Deleted on its own thread as that ends, as the window has it.
        worker->deleteLater();
        CGetChatMessageThread::interruptWaits(&thread);
        thread.quit();
        thread.wait(5000);
    });

    // Done once a paint follows the write of all three records.
    const auto paintedAfterWrite = [this] {
        bool written = false;
        for (const Event& e : events()) {
            written = written || (e.name == "flush" && e.a == 3);
            if (written && e.name == "paint")
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(paintedAfterWrite(), 15000);
    const qint64 endUs = QDateTime::currentMSecsSinceEpoch() * 1000 + 1000;

    const QVector<Event> list = events();
    int reply = -1;
    for (int i = 0; i < list.size() && reply < 0; ++i)
        if (list.at(i).name == "reply" && list.at(i).a > 0)
            reply = i;
    QVERIFY2(reply >= 0, "no reply with records was noted");
    QCOMPARE(list.at(reply).a, qint64(3));
    int emits = 0;
    for (int i = reply + 1; i < list.size() && list.at(i).name != "reply"; ++i)
        emits += list.at(i).name == "emit";
    QCOMPARE(emits, 3);

    int flush = -1;
    for (int i = 0; i < list.size() && flush < 0; ++i)
        if (list.at(i).name == "flush" && list.at(i).a == 3)
            flush = i;
    QVERIFY(flush >= 0);
    QCOMPARE(list.at(flush).b, qint64(2)); // two lines: the third record writes none
    QVERIFY(list.at(flush).us >= list.at(reply).us);

    for (const Event& e : list) {
        QVERIFY2(e.us >= startUs && e.us <= endUs, "a time outside the test's own wall clock");
        QVERIFY2(e.name == "reply" || e.name == "emit" || e.name == "flush" || e.name == "paint",
                 e.name.constData());
    }
}

QTEST_MAIN(TestPerfTrace)
#include "tst_perftrace.moc"
