// The room client against a real HTTP server on loopback: the chain from a room name to the
// poll loop, room changes, retries under failures and outages, the refresh, and the pacing.

#include "client/GetChatMessageThread.h"
#include "platform/HeadlessPlatform.h"
#include "support/LoopbackHttpServer.h"
#include "ui/ChatDialog.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <memory>

using Reply = LoopbackHttpServer::Reply;

namespace {

const QByteArray kLookup = "/room/getinfo";
const QByteArray kJoin = "/chatroom/joinroom";
const QByteArray kItems = "/item/getallitems";
const QByteArray kPoll = "/chatroom/msgs/";
// Request bounds for the tests that stall a reply: without progress, and in all.
constexpr int kIdleMs = 600;
constexpr int kTotalMs = 1500;

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif

QByteArray json(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

QJsonObject chatEntry(const QString& user, const QString& text) {
    return {{"type", "chat"},
            {"msg", QJsonObject{{"content", text},
                                {"user", QJsonObject{{"username", user}, {"grade", 12}}}}}};
}

QJsonObject giftEntry(const QString& user, const QString& item, int number) {
    return {{"type", "gift"},
            {"msg", QJsonObject{{"itemType", item},
                                {"number", number},
                                {"user", QJsonObject{{"username", user}, {"grade", 3}}}}}};
}

// N chat entries whose texts are their indexes, to follow order.
QJsonArray numberedChats(int n) {
    QJsonArray msgs;
    for (int i = 0; i < n; ++i)
        msgs.append(chatEntry(QStringLiteral("u"), QString::number(i)));
    return msgs;
}

QByteArray pollBody(int next, int from, const QJsonArray& msgs = {}) {
    return json(QJsonObject{{"next", next}, {"from", from}, {"msgs", msgs}});
}

// Scripted replies per request kind; n counts the requests of that kind so far.
struct Script {
    std::function<Reply(int n)> lookup = [](int) {
        return Reply::json(R"({"BaseRoomInfo":{"Id":7},"OnlineCount":5,"IsBroadcasting":true})");
    };
    std::function<Reply(int n)> join = [](int) { return Reply::json(R"({"group":"g/1 x"})"); };
    std::function<Reply(int n)> items = [](int) {
        return Reply::json(R"([{"name":"flower","title":"花","moneyCost":0},)"
                           R"({"name":"car","title":"跑车","moneyCost":10}])");
    };
    std::function<Reply(int n)> poll = [](int n) { return Reply::json(pollBody(1, n)); };
};

// Lives on the test's thread and records what the worker emits there.
class Recorder : public QObject {
    Q_OBJECT
public:
    QElapsedTimer clock;
    QVector<MsgsInfo> messages;
    QVector<qint64> messageTimes;
    QVector<int> messageCounts;
    QVector<QPair<int, bool>> counts;

public slots:
    void onMessage(MsgsInfo msg, int count) {
        messages.append(msg);
        messageTimes.append(clock.elapsed());
        messageCounts.append(count);
    }
    void onCount(int count, bool live) { counts.append({count, live}); }
};

// Request times grouped into attempts. Qt's HTTP layer sends a request once more by itself
// when the server closes the connection without answering; such a resend follows within
// milliseconds and belongs to the same attempt.
QVector<QVector<qint64>> attempts(const QVector<LoopbackHttpServer::Request>& requests,
                                  qint64 beforeMs = std::numeric_limits<qint64>::max()) {
    QVector<QVector<qint64>> groups;
    for (const auto& r : requests) {
        if (r.atMs >= beforeMs)
            break;
        if (groups.isEmpty() || r.atMs - groups.last().last() > 300)
            groups.append(QVector<qint64>());
        groups.last().append(r.atMs);
    }
    return groups;
}

void verifyOncePerSecond(const QVector<QVector<qint64>>& groups) {
    for (int i = 0; i < groups.size(); ++i) {
        QVERIFY2(groups.at(i).size() <= 2, "more than one request per failure");
        if (i > 0)
            QVERIFY2(groups.at(i).first() - groups.at(i - 1).first() >= 900,
                     "retried without the pause");
    }
}

} // namespace

class TestWorker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        qRegisterMetaType<MsgsInfo>("MsgsInfo");
        qRegisterMetaType<FilterChoices>("FilterChoices");
    }
    void init();
    void cleanup();

    void chainToFirstPoll();
    void emptyNameSendsNothing();
    void sameNameIgnored();
    void roomChangeCarriesCursorAndDelay();
    void lookupWithoutIdEmitsCountAndRetries();
    void refreshWithUnusableBodyIsDropped();
    void periodicRefreshKeepsOnePollLoop();
    void catalogueFailuresRetryOncePerSecond_data();
    void catalogueFailuresRetryOncePerSecond();
    void pacing_data();
    void pacing();
    void frameDispatchEndsAtOnceOnShutdown();
    void lookupOutageOneRequestPerFailure();
    void pollOutageOneRequestPerFailure();
    void roomChangeDuringOutageKeepsOneChain();
    void lateReplyForEarlierRoomDropped_data();
    void lateReplyForEarlierRoomDropped();
    void roomNameEncodedInUrl_data();
    void roomNameEncodedInUrl();
    void hugeNextIsClamped();
    void oversizedReplyIsAFailure();
    void floodKeepsTheNewest();
    void stalledRequestIsGivenUp_data();
    void stalledRequestIsGivenUp();
    void blockedTimeDoesNotCount();
    void windowReceivesRecords();

private:
    void startWorker(const QString& room, int updateIntervalMs = 60000, bool shortTimeouts = false,
                     const FilterChoices& choices = {});
    void changeRoom(const QString& room);
    void install(const Script& script);

    std::unique_ptr<LoopbackHttpServer> server;
    std::unique_ptr<Recorder> recorder;
    CGetChatMessageThread* worker = nullptr;
    QThread* thread = nullptr;
    QHash<QByteArray, int> served;
};

void TestWorker::init() {
    server = std::make_unique<LoopbackHttpServer>();
    QVERIFY(server->listen());
    recorder = std::make_unique<Recorder>();
    recorder->clock.start();
    served.clear();
    install(Script{});
}

void TestWorker::cleanup() {
    if (thread) {
        // The worker goes on its own thread as that ends, as the window has it: a thread
        // sanitizer cannot see that QThread::wait() orders a deletion made here after it.
        worker->deleteLater();
        CGetChatMessageThread::interruptWaits(thread);
        thread->quit();
        QVERIFY(thread->wait(5000));
        delete thread;
        worker = nullptr;
        thread = nullptr;
    }
    recorder.reset();
    server.reset();
}

void TestWorker::install(const Script& script) {
    server->setHandler([this, script](const QByteArray& target) {
        const auto route = [&](const QByteArray& prefix, const std::function<Reply(int)>& f) {
            return f(served[prefix]++);
        };
        if (target.startsWith(kLookup))
            return route(kLookup, script.lookup);
        if (target.startsWith(kJoin))
            return route(kJoin, script.join);
        if (target.startsWith(kItems))
            return route(kItems, script.items);
        if (target.startsWith(kPoll))
            return route(kPoll, script.poll);
        return Reply{404, {}, false};
    });
}

void TestWorker::startWorker(const QString& room, int updateIntervalMs, bool shortTimeouts,
                             const FilterChoices& choices) {
    ServiceEndpoints endpoints;
    endpoints.roomInfoUrl = server->baseUrl();
    endpoints.chatUrl = server->baseUrl();
    worker = new CGetChatMessageThread(room, endpoints);
    worker->FilterChoicesChanged(choices);
    worker->setUpdateIntervalForTesting(updateIntervalMs);
    if (shortTimeouts)
        worker->setRequestTimeoutsForTesting(kIdleMs, kTotalMs);
    connect(worker, &CGetChatMessageThread::SendMessageToDisplay, recorder.get(),
            &Recorder::onMessage, Qt::QueuedConnection);
    connect(worker, &CGetChatMessageThread::SendOnlineCountToDisplay, recorder.get(),
            &Recorder::onCount, Qt::QueuedConnection);
    thread = new QThread;
    connect(thread, &QThread::started, worker, &CGetChatMessageThread::StartLoop);
    worker->moveToThread(thread);
    thread->start();
}

void TestWorker::changeRoom(const QString& room) {
    QMetaObject::invokeMethod(worker, "RoomNameChanged", Qt::QueuedConnection,
                              Q_ARG(QString, room));
}

void TestWorker::chainToFirstPoll() {
    Script script;
    script.poll = [](int n) {
        if (n == 0)
            return Reply::json(
                pollBody(1, 3, {chatEntry("A", "hello"), giftEntry("B", "FLOWER", 3), 42}));
        return Reply::json(pollBody(1, 3));
    };
    install(script);
    startWorker(QStringLiteral("room1"));

    QTRY_COMPARE(recorder->messages.size(), 2);
    const QVector<LoopbackHttpServer::Request>& reqs = server->requests;
    QVERIFY(reqs.size() >= 5);
    QCOMPARE(reqs.at(0).target, QByteArray("/room/getinfo?domain=room1"));
    QCOMPARE(reqs.at(1).target, QByteArray("/chatroom/joinroom?roomId=7"));
    QCOMPARE(reqs.at(2).target, kItems);
    // The count refresh and the first poll are both sent once the catalogue is in; the poll
    // goes at once, with the start cursor and delay, and the group as one encoded segment.
    QCOMPARE(server->countTo(kLookup), 2);
    QCOMPARE(server->requestsTo(kPoll).first().target, QByteArray("/chatroom/msgs/g%2F1%20x/0/0"));

    const MsgsInfo chat = recorder->messages.at(0);
    QCOMPARE(chat.type, QStringLiteral("chat"));
    QCOMPARE(chat.username, QStringLiteral("A"));
    QCOMPARE(chat.content, QStringLiteral("hello"));
    QCOMPARE(chat.grade, 12);
    const MsgsInfo gift = recorder->messages.at(1);
    QCOMPARE(gift.itemTitle, QStringLiteral("花"));
    QCOMPARE(gift.number, 3);
    QCOMPARE(gift.moneyCost, 0.0);
    QCOMPARE(recorder->messageCounts, QVector<int>({5, 5}));
    QTRY_COMPARE(recorder->counts.size(), 2);
    QCOMPARE(recorder->counts.at(0), qMakePair(5, true));

    // The next poll carries the cursor and delay of the reply.
    QTRY_VERIFY(server->countTo(kPoll) >= 2);
    QCOMPARE(server->requestsTo(kPoll).at(1).target, QByteArray("/chatroom/msgs/g%2F1%20x/3/1"));
}

void TestWorker::emptyNameSendsNothing() {
    startWorker(QString());
    QTest::qWait(300);
    QCOMPARE(server->requests.size(), 0);
    changeRoom(QString());
    QTest::qWait(200);
    QCOMPARE(server->requests.size(), 0);
    changeRoom(QStringLiteral("later"));
    QTRY_VERIFY(server->countTo(kPoll) >= 1);
    QCOMPARE(server->requests.first().target, QByteArray("/room/getinfo?domain=later"));
}

void TestWorker::sameNameIgnored() {
    startWorker(QStringLiteral("same"));
    QTRY_VERIFY(server->countTo(kPoll) >= 1);
    const int lookups = server->countTo(kLookup);
    const int polls = server->countTo(kPoll);
    changeRoom(QStringLiteral("same"));
    // Timers not stopped: polling goes on, and no new lookup is sent.
    QTRY_VERIFY(server->countTo(kPoll) >= polls + 2);
    QCOMPARE(server->countTo(kLookup), lookups);
}

void TestWorker::roomChangeCarriesCursorAndDelay() {
    Script script;
    script.poll = [](int) { return Reply::json(pollBody(1, 42)); };
    install(script);
    startWorker(QStringLiteral("first"));
    QTRY_VERIFY(server->countTo(kPoll) >= 1);

    changeRoom(QStringLiteral("second"));
    QTRY_VERIFY(server->countTo("/room/getinfo?domain=second") >= 1);
    const qint64 changedAt = server->requestsTo("/room/getinfo?domain=second").first().atMs;
    QTRY_VERIFY(server->requests.last().atMs > changedAt &&
                server->requests.last().target.startsWith(kPoll));
    // The first poll in the new room goes with the previous room's cursor and delay.
    const auto polls = server->requestsTo(kPoll);
    const auto firstInNewRoom =
        std::find_if(polls.begin(), polls.end(), [&](const auto& r) { return r.atMs > changedAt; });
    QVERIFY(firstInNewRoom != polls.end());
    QVERIFY2(firstInNewRoom->target.endsWith("/42/1"), firstInNewRoom->target.constData());
}

void TestWorker::lookupWithoutIdEmitsCountAndRetries() {
    Script script;
    script.lookup = [](int) { return Reply::json(R"({"BaseRoomInfo":{"Id":0},"OnlineCount":5})"); };
    install(script);
    startWorker(QStringLiteral("nowhere"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kLookup) >= 2, 3000);
    const auto lookups = server->requestsTo(kLookup);
    QVERIFY2(lookups.at(1).atMs - lookups.at(0).atMs >= 900, "retried without the pause");
    QTRY_VERIFY(!recorder->counts.isEmpty());
    QCOMPARE(recorder->counts.first(), qMakePair(5, false));
    QCOMPARE(server->countTo(kJoin), 0);
}

void TestWorker::refreshWithUnusableBodyIsDropped() {
    Script script;
    script.lookup = [](int n) {
        return n == 0 ? Reply::json(R"({"BaseRoomInfo":{"Id":9},"OnlineCount":8})")
                      : Reply::json("[1,2]");
    };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_COMPARE(server->countTo(kLookup), 2); // the lookup and the count refresh
    QTest::qWait(1500);
    QCOMPARE(server->countTo(kLookup), 2); // no retry of the refresh
    QCOMPARE(recorder->counts.size(), 1);  // only the lookup's count
}

void TestWorker::periodicRefreshKeepsOnePollLoop() {
    startWorker(QStringLiteral("r"), 400);
    QTRY_VERIFY(server->countTo(kPoll) >= 1);
    const qint64 start = server->elapsedMs();
    QTest::qWait(2300);
    int polls = 0;
    for (const auto& r : server->requestsTo(kPoll))
        polls += r.atMs >= start;
    // With a poll delay of 1 s: about two polls, never a second loop's worth.
    QVERIFY2(polls >= 2 && polls <= 3, qPrintable(QString::number(polls)));
    QVERIFY(server->countTo(kItems) >= 1 + 4);  // initial load plus the refreshes
    QVERIFY(server->countTo(kLookup) >= 1 + 4); // lookup plus the count refreshes
}

void TestWorker::catalogueFailuresRetryOncePerSecond_data() {
    QTest::addColumn<QByteArray>("badBody");
    QTest::addColumn<bool>("reset");
    QTest::newRow("empty array") << QByteArray("[]") << false;
    QTest::newRow("no objects") << QByteArray("[1,2,3]") << false;
    QTest::newRow("object") << QByteArray("{}") << false;
    QTest::newRow("invalid") << QByteArray("[{") << false;
    QTest::newRow("empty body") << QByteArray() << false;
    QTest::newRow("HTTP 500") << QByteArray("500") << false;
    QTest::newRow("connection reset") << QByteArray() << true;
}

void TestWorker::catalogueFailuresRetryOncePerSecond() {
    QFETCH(QByteArray, badBody);
    QFETCH(bool, reset);
    Script script;
    const Reply good = script.items(0);
    LoopbackHttpServer* s = server.get();
    // Failing for 1.5 s: the first attempt and the retry a second later.
    script.items = [=](int) {
        if (s->elapsedMs() >= 1500)
            return good;
        if (reset)
            return Reply::connectionReset();
        if (badBody == "500")
            return Reply{500, R"([{"name":"x"}])", false}; // a usable body on an error status
        return Reply::json(badBody);
    };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kPoll) >= 1, 5000);
    const auto groups = attempts(server->requestsTo(kItems));
    QCOMPARE(groups.size(), 3); // two failed attempts, one retry each, then success
    verifyOncePerSecond(groups);
    // In the order the server saw them: on loopback the chain's requests can share a millisecond.
    const auto& log = server->requests;
    const auto isItems = [](const LoopbackHttpServer::Request& r) {
        return r.target.startsWith(kItems);
    };
    const auto isPoll = [](const LoopbackHttpServer::Request& r) {
        return r.target.startsWith(kPoll);
    };
    const auto lastItems = std::find_if(log.rbegin(), log.rend(), isItems).base();
    QVERIFY(std::find_if(log.begin(), log.end(), isPoll) >= lastItems);
}

void TestWorker::pacing_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("hidden"); // records the filter drops, between the shown ones
    QTest::newRow("10 over 2 s") << 10 << 2 << 200 << 0;
    QTest::newRow("3 over 1 s, truncated") << 3 << 1 << 333 << 0;
    QTest::newRow("3000 over 2 s: no waits") << 3000 << 2 << 0 << 0;
    QTest::newRow("200 over 2 s: a frame at a time") << 200 << 2 << 10 << 0;
    QTest::newRow("5 shown of 15 over 1 s") << 5 << 1 << 200 << 10;
}

void TestWorker::pacing() {
    QFETCH(int, count);
    QFETCH(int, next);
    QFETCH(int, gapMs);
    QFETCH(int, hidden);
    QJsonArray msgs;
    const QJsonArray shown = numberedChats(count);
    for (int i = 0; i < count; ++i) {
        msgs.append(shown.at(i));
        for (int k = 0; k < hidden / count; ++k) // by name and by word in turn
            msgs.append(k % 2 ? chatEntry("u", QStringLiteral("加我微信领奖"))
                              : chatEntry("SpamBot", QStringLiteral("hi")));
    }
    Script script;
    script.poll = [=](int n) {
        return Reply::json(n == 0 ? pollBody(next, 1, msgs) : pollBody(next, 1));
    };
    install(script);
    FilterChoices choices; // nothing chosen in the rows without hidden records
    if (hidden > 0) {
        choices.blockedUsers = QStringList{QStringLiteral("spambot")};
        choices.blockedWords = QStringList{QStringLiteral("微信")};
    }
    startWorker(QStringLiteral("r"), 60000, false, choices);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->messages.size(), count, 10000);
    for (int i = 0; i < count; ++i)
        QCOMPARE(recorder->messages.at(i).content, QString::number(i)); // in order

    // ThreadSanitizer slows the hand-over of thousands of records several times over: there
    // the order is checked, the timing in the other builds.
    if (kThreadSanitizer)
        return;
    const QVector<qint64>& t = recorder->messageTimes;
    if (gapMs == 0) {
        QVERIFY2(t.last() - t.first() < 500, qPrintable(QString::number(t.last() - t.first())));
        return;
    }
    if (gapMs < 16) {
        // Handed over a frame at a time: each record within a frame of its time, in about
        // one batch per frame rather than one per record.
        int batches = 1;
        for (int i = 1; i < count; ++i) {
            const qint64 late = t.at(i) - t.first() - i * gapMs;
            QVERIFY2(late >= -10 && late <= 16 + 60,
                     qPrintable(QString("%1: %2").arg(i).arg(late)));
            batches += t.at(i) - t.at(i - 1) > 4;
        }
        const int frames = count * gapMs / 16;
        QVERIFY2(batches >= frames / 2 && batches <= frames + 3,
                 qPrintable(QString::number(batches)));
    } else {
        for (int i = 1; i < count; ++i) {
            const qint64 gap = t.at(i) - t.at(i - 1);
            QVERIFY2(gap >= gapMs - 60 && gap <= gapMs + 120, qPrintable(QString::number(gap)));
        }
    }
    // The wait after the last record holds the next poll back until the delay has passed.
    const auto polls = server->requestsTo(kPoll);
    QTRY_VERIFY(server->countTo(kPoll) >= 2);
    const qint64 between = server->requestsTo(kPoll).at(1).atMs - polls.at(0).atMs;
    QVERIFY2(between >= next * 1000 - 100, qPrintable(QString::number(between)));
}

// Asked to stop in the middle of a frame-paced dispatch, the worker hands over the rest at
// once and its thread ends.
void TestWorker::frameDispatchEndsAtOnceOnShutdown() {
    const QJsonArray msgs = numberedChats(1000);
    Script script;
    script.poll = [=](int n) {
        return Reply::json(n == 0 ? pollBody(10, 1, msgs) : pollBody(10, 1));
    };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_VERIFY_WITH_TIMEOUT(recorder->messages.size() >= 20, 5000);
    QVERIFY(recorder->messages.size() < 500);
    QElapsedTimer stopping;
    stopping.start();
    CGetChatMessageThread::interruptWaits(thread);
    thread->quit();
    QVERIFY(thread->wait(2000));
    QVERIFY2(stopping.elapsed() < 500, qPrintable(QString::number(stopping.elapsed())));
    QTRY_COMPARE(recorder->messages.size(), 1000);
    QCOMPARE(recorder->messages.last().content, QStringLiteral("999"));
}

void TestWorker::lookupOutageOneRequestPerFailure() {
    Script script;
    const Reply good = script.lookup(0);
    LoopbackHttpServer* s = server.get();
    script.lookup = [=](int) { return s->elapsedMs() < 3000 ? Reply::connectionReset() : good; };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kPoll) >= 1, 8000);
    // One attempt, then one per second: never more in flight.
    const auto groups = attempts(server->requestsTo(kLookup), 3000);
    QVERIFY2(groups.size() >= 3 && groups.size() <= 4, qPrintable(QString::number(groups.size())));
    verifyOncePerSecond(groups);
}

void TestWorker::pollOutageOneRequestPerFailure() {
    Script script;
    LoopbackHttpServer* s = server.get();
    script.poll = [=](int n) {
        if (n > 0 && s->elapsedMs() < 4000)
            return Reply::connectionReset();
        return Reply::json(pollBody(0, n, {chatEntry("A", QString::number(n))}));
    };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_VERIFY_WITH_TIMEOUT(server->elapsedMs() > 4500 && recorder->messages.size() >= 3, 8000);
    // Even with a poll delay of 0 the failures do not multiply the poll chain.
    auto polls = server->requestsTo(kPoll);
    polls.removeFirst(); // the good first poll
    const auto groups = attempts(polls, 4000);
    QVERIFY2(groups.size() <= 5, qPrintable(QString::number(groups.size())));
    verifyOncePerSecond(groups);
}

// The failing chains of the old room (the poll, the count refresh) would each carry on next to
// the chain that the room change starts; the worker's pauses keep the request rate down, but
// once the service is back the new room would be joined more than once.
void TestWorker::roomChangeDuringOutageKeepsOneChain() {
    Script script;
    const std::function<Reply(int)> lookup = script.lookup;
    LoopbackHttpServer* s = server.get();
    const auto down = [s] { return s->elapsedMs() < 5000; };
    script.lookup = [=](int n) { return n > 0 && down() ? Reply::connectionReset() : lookup(n); };
    script.poll = [=](int n) {
        return n > 0 && down() ? Reply::connectionReset() : Reply::json(pollBody(1, n));
    };
    install(script);
    startWorker(QStringLiteral("first"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kPoll) >= 2, 5000);
    QTest::qWait(500);
    changeRoom(QStringLiteral("second"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo("/room/getinfo?domain=second") >= 1, 3000);
    const qint64 changedAt = server->requestsTo("/room/getinfo?domain=second").first().atMs;
    QTRY_VERIFY_WITH_TIMEOUT(server->requests.last().atMs > 5000 &&
                                 server->requests.last().target.startsWith(kPoll),
                             8000);
    QTest::qWait(300);
    int joins = 0, lookups = 0;
    for (const auto& r : server->requests) {
        joins += r.atMs >= changedAt && r.target.startsWith(kJoin);
        lookups += r.atMs > 5000 && r.target.startsWith(kLookup);
    }
    QCOMPARE(joins, 1);
    QCOMPARE(lookups, 2); // the lookup that got through, and the count refresh after the catalogue
}

void TestWorker::lateReplyForEarlierRoomDropped_data() {
    QTest::addColumn<QByteArray>("held"); // the first room's request answered late
    QTest::newRow("lookup") << kLookup;
    QTest::newRow("join") << kJoin;
    // Answered while the second room is still joining, when the loop has not started yet.
    QTest::newRow("catalogue") << kItems;
}

// The room "first" (id 7, group "old", 5 online) and "second" (id 8, group "new", 9
// online); one of the first room's replies comes 1.5 s late, after the room has changed.
void TestWorker::lateReplyForEarlierRoomDropped() {
    QFETCH(QByteArray, held);
    constexpr int kHeldMs = 1500;
    const std::function<Reply(int)> items = Script{}.items;
    server->setHandler([this, held, items](const QByteArray& target) {
        const bool first = target.contains("domain=first") || target.contains("roomId=7") ||
                           (target.startsWith(kItems) && served[kItems] == 0);
        Reply reply = Reply::json(pollBody(1, 1));
        if (target.startsWith(kLookup))
            reply = Reply::json(first ? R"({"BaseRoomInfo":{"Id":7},"OnlineCount":5})"
                                      : R"({"BaseRoomInfo":{"Id":8},"OnlineCount":9})");
        else if (target.startsWith(kJoin))
            reply = Reply::json(first ? R"({"group":"old"})" : R"({"group":"new"})");
        else if (target.startsWith(kItems))
            reply = items(served[kItems]++);
        if (first && target.startsWith(held))
            reply.delayMs = kHeldMs;
        else if (!first && held == kItems && target.startsWith(kJoin))
            reply.delayMs = kHeldMs + 500;
        return reply;
    });
    startWorker(QStringLiteral("first"));
    QTRY_VERIFY(server->countTo(held) >= 1);
    const qint64 heldAt = server->requestsTo(held).first().atMs;
    changeRoom(QStringLiteral("second"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo("/chatroom/msgs/new/") >= 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(server->elapsedMs() > heldAt + kHeldMs + 1500, 6000);

    QCOMPARE(server->countTo("/chatroom/joinroom?roomId=8"), 1);
    int afterChange = 0;
    for (const auto& r : server->requests) {
        if (r.atMs <= heldAt)
            continue;
        ++afterChange;
        QVERIFY2(!r.target.contains("roomId=7") && !r.target.contains("domain=first") &&
                     !r.target.startsWith("/chatroom/msgs/old/"),
                 r.target.constData());
    }
    QVERIFY(afterChange >= 4); // the second room's chain was seen
    QVERIFY(!recorder->counts.isEmpty());
    QCOMPARE(recorder->counts.last().first, 9);
}

void TestWorker::roomNameEncodedInUrl_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("query delimiters") << "a&b=c#d";
    QTest::newRow("plus and blanks") << " a+b ";
    QTest::newRow("chinese") << "主播";
    QTest::newRow("percent") << "100%25";
}

void TestWorker::roomNameEncodedInUrl() {
    QFETCH(QString, name);
    startWorker(name);
    QTRY_VERIFY(server->countTo(kLookup) >= 1);
    const QByteArray target = server->requestsTo(kLookup).first().target;
    const QByteArray prefix = "/room/getinfo?domain=";
    QVERIFY(target.startsWith(prefix));
    const QByteArray value = target.mid(prefix.size());
    QVERIFY2(!value.contains('&') && !value.contains('#') && !value.contains('+') &&
                 !value.contains(' '),
             value.constData());
    QCOMPARE(QUrl::fromPercentEncoding(value), name);
}

void TestWorker::hugeNextIsClamped() {
    Script script;
    script.poll = [](int n) { return Reply::json(pollBody(n == 0 ? 2147483647 : 1, n)); };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_VERIFY(server->countTo(kPoll) >= 1);
    // Unclamped, the delay in milliseconds overflows and the timer misfires at once.
    QTest::qWait(1500);
    QCOMPARE(server->countTo(kPoll), 1);
    // The worker is not stuck behind the delay: a room change is served at once.
    changeRoom(QStringLiteral("s"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo("/room/getinfo?domain=s") >= 1, 2000);
}

void TestWorker::oversizedReplyIsAFailure() {
    Script script;
    const Reply good = script.lookup(0);
    // A valid object, but above the size cap: it must not be used.
    const QByteArray huge = R"({"BaseRoomInfo":{"Id":5},"OnlineCount":99,"pad":")" +
                            QByteArray(9 * 1024 * 1024, 'x') + R"("})";
    script.lookup = [=](int n) { return n == 0 ? Reply::json(huge) : good; };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kJoin) >= 1, 5000);
    const auto lookups = server->requestsTo(kLookup);
    QVERIFY(lookups.size() >= 2);
    QVERIFY(lookups.at(1).atMs - lookups.at(0).atMs >= 900); // retried after the pause
    QCOMPARE(server->requestsTo(kJoin).first().target, QByteArray("/chatroom/joinroom?roomId=7"));
    QVERIFY(!recorder->counts.contains(qMakePair(99, false)));
}

void TestWorker::floodKeepsTheNewest() {
    const QJsonArray msgs = numberedChats(6000);
    Script script;
    script.poll = [=](int n) {
        return Reply::json(n == 0 ? pollBody(0, 1, msgs) : pollBody(30, 1));
    };
    install(script);
    startWorker(QStringLiteral("r"));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->messages.size(), 5000, 10000);
    QCOMPARE(recorder->messages.first().content, QStringLiteral("1000"));
    QCOMPARE(recorder->messages.last().content, QStringLiteral("5999"));
}

void TestWorker::stalledRequestIsGivenUp_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<int>("faulty"); // which request of its kind, from 0
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("boundMs");
    QTest::newRow("lookup hangs") << kLookup << 0 << "hang" << kIdleMs;
    QTest::newRow("join hangs") << kJoin << 0 << "hang" << kIdleMs;
    QTest::newRow("catalogue stalls in its body") << kItems << 0 << "stall" << kIdleMs;
    QTest::newRow("first poll hangs") << kPoll << 0 << "hang" << kIdleMs;
    QTest::newRow("poll stalls in its body") << kPoll << 1 << "stall" << kIdleMs;
    QTest::newRow("poll trickles past the total bound") << kPoll << 1 << "trickle" << kTotalMs;
    QTest::newRow("count refresh hangs") << kLookup << 1 << "hang" << kIdleMs;
}

// A request that stops making progress counts as failed once its bound has passed: one
// pause, one new request, and the chain goes on.
void TestWorker::stalledRequestIsGivenUp() {
    QFETCH(QByteArray, kind);
    QFETCH(int, faulty);
    QFETCH(QString, fault);
    QFETCH(int, boundMs);
    Script script;
    std::function<Reply(int)>& route = kind == kLookup  ? script.lookup
                                       : kind == kJoin  ? script.join
                                       : kind == kItems ? script.items
                                                        : script.poll;
    const std::function<Reply(int)> good = route;
    route = [=](int n) {
        Reply r = good(n);
        if (n != faulty)
            return r;
        if (fault == "hang")
            return Reply::hung();
        if (fault == "stall") {
            r.cutAt = r.body.size() / 2;
        } else {
            r.body.append(QByteArray(400, ' ')); // a byte every 50 ms: never idle, never done
            r.trickleMs = 50;
        }
        return r;
    };
    install(script);
    startWorker(QStringLiteral("r"), 60000, true);
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kind) >= faulty + 2, 3 * boundMs + 3000);
    const auto requests = server->requestsTo(kind);
    const qint64 gap = requests.at(faulty + 1).atMs - requests.at(faulty).atMs;
    QVERIFY2(gap >= boundMs + 950 && gap <= boundMs + 1500, qPrintable(QString::number(gap)));
    // The chain goes on from the new request, as one chain.
    const int polls = server->countTo(kPoll);
    QTRY_VERIFY_WITH_TIMEOUT(server->countTo(kPoll) >= polls + 2, 4000);
    if (kind != kPoll) // none besides the count refresh that follows the catalogue
        QVERIFY(server->countTo(kind) <= faulty + 3);
    if (kind != kPoll)
        return;
    // No second poll chain from the given-up poll: with a delay of 1 s, two or three polls.
    const qint64 start = server->elapsedMs();
    QTest::qWait(2300);
    int later = 0;
    for (const auto& r : server->requestsTo(kPoll))
        later += r.atMs >= start;
    QVERIFY2(later >= 2 && later <= 3, qPrintable(QString::number(later)));
}

// Replies that came while the worker was blocked pacing records are read, not given up: the
// worker could not hear from their sockets meanwhile.
void TestWorker::blockedTimeDoesNotCount() {
    const QJsonArray msgs = numberedChats(10);
    Script script;
    script.poll = [=](int n) {
        return Reply::json(n == 0 ? pollBody(2, 1, msgs) : pollBody(1, 1));
    };
    const std::function<Reply(int)> lookup = script.lookup;
    // The count refresh answers while the first poll's records are paced over two seconds.
    script.lookup = [=](int n) {
        if (n != 1)
            return lookup(n);
        Reply r =
            Reply::json(R"({"BaseRoomInfo":{"Id":7},"OnlineCount":77,"IsBroadcasting":true})");
        r.delayMs = 200;
        return r;
    };
    install(script);
    startWorker(QStringLiteral("r"), 60000, true);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->messages.size(), 10, 5000);
    QTRY_VERIFY(recorder->counts.contains(qMakePair(77, true)));
    QTest::qWait(1500);
    QCOMPARE(server->countTo(kLookup), 2);
}

void TestWorker::windowReceivesRecords() {
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    {
        QSettings ini(QStringLiteral("config.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Config/roomName"), QStringLiteral("window-room"));
    }
    qputenv("KIBCHAT_ROOMINFO_URL", server->baseUrl().toLatin1());
    qputenv("KIBCHAT_CHAT_URL", server->baseUrl().toLatin1());
    Script script;
    script.poll = [](int n) {
        if (n == 0)
            return Reply::json(pollBody(0, 2, {chatEntry("A", "hello"), giftEntry("B", "car", 2)}));
        return Reply::json(pollBody(1, 2));
    };
    install(script);

    platform::HeadlessPlatform desktop;
    platform::setCurrentForTesting(&desktop);
    {
        CChatDialog dialog(6);
        auto* log = dialog.findChild<QTextEdit*>(QStringLiteral("chatLog"));
        QTRY_COMPARE(log->toPlainText(),
                     QStringLiteral("【LV12】A:hello\nB 送出了 【跑车】 2个\n"));
        QCOMPARE(server->requests.first().target, QByteArray("/room/getinfo?domain=window-room"));
    }
    platform::setCurrentForTesting(nullptr);
    qunsetenv("KIBCHAT_ROOMINFO_URL");
    qunsetenv("KIBCHAT_CHAT_URL");
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestWorker)
#include "tst_worker.moc"
