#include "client/GetChatMessageThread.h"

#include "client/PerfTrace.h"
#include "client/ReplyTimeouts.h"
#include "client/ServiceReplies.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkConfiguration>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWaitCondition>

#include <algorithm>

namespace {

constexpr int kPauseMs = 1000;
constexpr int kUpdateIntervalMs = 60000;
constexpr qint64 kFrameMs = 16;
constexpr const char* kRoomGenerationProperty = "kibchatRoomGeneration";
// Waits sleep on a condition that interruptWaits wakes, so that a thread asked to stop is not
// held up by them, without waking up meanwhile to look.
QMutex waitMutex;
QWaitCondition waitWoken;

void blockingWait(qint64 milliseconds) {
    QThread* thread = QThread::currentThread();
    const QDeadlineTimer deadline(std::max<qint64>(milliseconds, 0), Qt::PreciseTimer);
    QMutexLocker lock(&waitMutex);
    while (!thread->isInterruptionRequested() && !deadline.hasExpired())
        waitWoken.wait(&waitMutex, deadline);
}

// The body of a finished reply; an oversized one reads as empty, which every reader takes
// for a failed request.
QByteArray readBody(QNetworkReply* reply) {
    return reply->bytesAvailable() > kMaxReplyBytes ? QByteArray() : reply->readAll();
}

// Service data goes into URLs encoded, so that "&", "#", "+", "/" or blanks in it cannot
// change the request.
QString encoded(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

CGetChatMessageThread::CGetChatMessageThread(QString strRoomName, ServiceEndpoints endpoints)
    : QObject(nullptr), roomName(std::move(strRoomName)), endpoints(std::move(endpoints)) {
    networkManager = new QNetworkAccessManager(this);
#ifndef QT_NO_BEARERMANAGEMENT
    // Bearer management holds requests to other hosts until its session for the default
    // network configuration is open, and after a network change or a resume that session can
    // stay closed while the network works, so every request fails or waits. With no
    // configuration it never makes a session: requests go straight to the socket, and a
    // network that is back is found by the next request.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    networkManager->setConfiguration(QNetworkConfiguration());
    QT_WARNING_POP
#endif
    chatTimer = new QTimer(this);
    chatTimer->setSingleShot(true);
    updateTimer = new QTimer(this);
    updateTimer->setInterval(kUpdateIntervalMs);
    connect(chatTimer, &QTimer::timeout, this, &CGetChatMessageThread::GetChatTimerOut);
    connect(updateTimer, &QTimer::timeout, this, &CGetChatMessageThread::UpdateDataTimerOut);
}

CGetChatMessageThread::~CGetChatMessageThread() {
    chatTimer->stop();
}

void CGetChatMessageThread::setUpdateIntervalForTesting(int milliseconds) {
    updateTimer->setInterval(milliseconds);
}

void CGetChatMessageThread::setRequestTimeoutsForTesting(int idleMs, int totalMs) {
    timeouts = ReplyTimeouts{idleMs, totalMs};
}

void CGetChatMessageThread::interruptWaits(QThread* thread) {
    thread->requestInterruption();
    // Taken so that a waiter between its look at the flag and its wait cannot miss the wake.
    QMutexLocker lock(&waitMutex);
    waitWoken.wakeAll();
}

void CGetChatMessageThread::pause() {
    blockingWait(kPauseMs);
}

QNetworkReply*
CGetChatMessageThread::send(const QString& url, void (CGetChatMessageThread::*finished)(),
                            void (CGetChatMessageThread::*error)(QNetworkReply::NetworkError)) {
    QNetworkReply* reply = networkManager->get(QNetworkRequest(QUrl(url, QUrl::TolerantMode)));
    connect(reply, &QNetworkReply::finished, this, finished);
    connect(reply, &QNetworkReply::errorOccurred, this, error);
    // An oversized reply is a failed request: stop reading it instead of buffering it whole.
    // The bounded read buffer holds the socket back, so the rest is never received.
    reply->setReadBufferSize(kMaxReplyBytes + 1);
    const auto abortIfOversized = [reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply->bytesAvailable() > kMaxReplyBytes ||
            (length.isValid() && length.toLongLong() > kMaxReplyBytes))
            reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, abortIfOversized);
    connect(reply, &QNetworkReply::readyRead, reply, abortIfOversized);
    watchReply(reply, timeouts);
    reply->setProperty(kRoomGenerationProperty, QVariant::fromValue(roomGeneration));
    return reply;
}

bool CGetChatMessageThread::sentForEarlierRoom(const QNetworkReply* reply) const {
    return reply && reply->property(kRoomGenerationProperty).toULongLong() != roomGeneration;
}

QNetworkReply* CGetChatMessageThread::takeReply() {
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (reply)
        reply->deleteLater();
    return reply;
}

void CGetChatMessageThread::startChatTimer() {
    chatTimer->start(nextSeconds * 1000);
}

void CGetChatMessageThread::restartChatTimerAfterReply() {
    // A delay of 0 asks for the next poll at once; but a service that keeps answering so (or
    // answers with nothing usable while no delay has been received) must not make the
    // client poll in a tight loop: one poll per second at the most.
    chatTimer->start(std::max(nextSeconds, kMinPollGapSeconds) * 1000);
}

// ---- schedule ----

void CGetChatMessageThread::StartLoop() {
    loopStarted = false;
    GetRoomId(roomName);
}

void CGetChatMessageThread::RoomNameChanged(QString strRoomName) {
    if (strRoomName.isEmpty() || strRoomName == roomName)
        return;
    roomName = strRoomName;
    ++roomGeneration;
    roomId.clear();
    group.clear();
    loopStarted = false;
    chatTimer->stop();
    updateTimer->stop();
    GetRoomId(roomName);
}

void CGetChatMessageThread::FilterChoicesChanged(FilterChoices choices) {
    filter = MessageFilter(choices);
}

void CGetChatMessageThread::GetChatTimerOut() {
    GetChatMessage();
}

void CGetChatMessageThread::UpdateDataTimerOut() {
    GetOnlineCount();
    GetAllItems();
}

// ---- room lookup and online count ----

void CGetChatMessageThread::GetRoomId(const QString& name) {
    if (name.isEmpty())
        return;
    send(endpoints.roomInfoUrl + QStringLiteral("/room/getinfo?domain=") + encoded(name),
         &CGetChatMessageThread::GetRoomIdFinished, &CGetChatMessageThread::GetRoomIdError);
}

void CGetChatMessageThread::GetOnlineCount() {
    if (roomName.isEmpty())
        return;
    send(endpoints.roomInfoUrl + QStringLiteral("/room/getinfo?domain=") + encoded(roomName),
         &CGetChatMessageThread::GetOnlineCountFinished,
         &CGetChatMessageThread::GetOnlineCountError);
}

// A transport failure reaches the error slot first, which pauses and sends the one new
// request; the finished slot of the same reply then leaves it at that.

void CGetChatMessageThread::GetRoomIdFinished() {
    QNetworkReply* reply = takeReply();
    if ((reply && reply->error() != QNetworkReply::NoError) || sentForEarlierRoom(reply))
        return;
    bool found = false;
    if (const auto object = reply ? parseObjectBody(readBody(reply)) : std::nullopt) {
        const RoomInfoReply info = readRoomInfo(*object);
        if (info.roomId) {
            roomId = QString::number(*info.roomId);
            found = true;
        }
        if (info.onlineCount)
            onlineCount = *info.onlineCount;
        emit SendOnlineCountToDisplay(onlineCount, info.isLive);
    }
    if (found) {
        GetGroup();
        return;
    }
    pause();
    GetRoomId(roomName);
}

void CGetChatMessageThread::GetRoomIdError(QNetworkReply::NetworkError) {
    if (sentForEarlierRoom(takeReply()))
        return;
    pause();
    GetRoomId(roomName);
}

void CGetChatMessageThread::GetOnlineCountFinished() {
    QNetworkReply* reply = takeReply();
    if (!reply || reply->error() != QNetworkReply::NoError || sentForEarlierRoom(reply))
        return;
    const auto object = parseObjectBody(readBody(reply));
    if (!object)
        return;
    const RoomInfoReply info = readRoomInfo(*object);
    if (info.onlineCount)
        onlineCount = *info.onlineCount;
    emit SendOnlineCountToDisplay(onlineCount, info.isLive);
}

void CGetChatMessageThread::GetOnlineCountError(QNetworkReply::NetworkError) {
    if (sentForEarlierRoom(takeReply()))
        return;
    pause();
    GetOnlineCount();
}

// ---- join and poll ----

void CGetChatMessageThread::GetGroup() {
    if (roomId.isEmpty()) {
        GetRoomId(roomName);
        return;
    }
    send(endpoints.chatUrl + QStringLiteral("/chatroom/joinroom?roomId=") + roomId,
         &CGetChatMessageThread::GetGroupFinished, &CGetChatMessageThread::GetGroupError);
}

void CGetChatMessageThread::GetGroupFinished() {
    QNetworkReply* reply = takeReply();
    if ((reply && reply->error() != QNetworkReply::NoError) || sentForEarlierRoom(reply))
        return;
    if (const auto object = reply ? parseObjectBody(readBody(reply)) : std::nullopt) {
        const QString newGroup = readGroup(*object);
        if (!newGroup.isEmpty()) {
            group = newGroup;
            GetAllItems();
            return;
        }
    }
    pause();
    GetGroup();
}

void CGetChatMessageThread::GetGroupError(QNetworkReply::NetworkError) {
    if (sentForEarlierRoom(takeReply()))
        return;
    pause();
    GetGroup();
}

void CGetChatMessageThread::GetChatMessage() {
    if (group.isEmpty() || giftCatalogue.isEmpty()) {
        GetGroup();
        return;
    }
    send(endpoints.chatUrl + QStringLiteral("/chatroom/msgs") +
             QStringLiteral("/%1/%2/%3")
                 .arg(encoded(group), fromCursor, QString::number(nextSeconds)),
         &CGetChatMessageThread::GetChatMessageFinished,
         &CGetChatMessageThread::GetChatMessageError);
}

void CGetChatMessageThread::GetChatMessageFinished() {
    QNetworkReply* reply = takeReply();
    // The error slot has already polled again; arming the timer as well would start a second
    // poll chain for every failure.
    if (reply && reply->error() != QNetworkReply::NoError)
        return;
    if (const auto object = reply ? parseObjectBody(readBody(reply)) : std::nullopt) {
        const PollReply poll = readPoll(*object);
        if (poll.next)
            nextSeconds = clampNextSeconds(*poll.next);
        if (poll.from)
            fromCursor = QString::number(*poll.from);
        for (const QJsonValue& entry : poll.msgs)
            DecodeMessage(entry);
    }
    perftrace::note("reply", pendingMessages.size());
    restartChatTimerAfterReply();
    DispatchPendingMessages();
}

void CGetChatMessageThread::GetChatMessageError(QNetworkReply::NetworkError) {
    if (sentForEarlierRoom(takeReply()))
        return;
    pause();
    GetChatMessage();
}

void CGetChatMessageThread::DecodeMessage(const QJsonValue& entry) {
    // A hidden record is dropped before the pacing, so the shown ones share the poll delay.
    if (auto record = decodeMessageEntry(entry, giftCatalogue); record && filter.shows(*record)) {
        pendingMessages.append(std::move(*record));
        // The log shows the last 100 lines: the oldest of a flood can go unseen.
        if (pendingMessages.size() > kMaxPendingMessages)
            pendingMessages.removeFirst();
    }
}

void CGetChatMessageThread::DispatchPendingMessages() {
    const int n = pendingMessages.size();
    if (n == 0)
        return;
    const int count = onlineCount;
    // Spread over the poll delay, so a burst reaches the screen as a steady flow; a delay of 0
    // makes every record due at once.
    const auto delayMs = static_cast<qint64>(static_cast<double>(nextSeconds) / n * 1000.0);
    if (delayMs >= kFrameMs) {
        for (int i = 0; i < n; ++i) {
            perftrace::note("emit");
            emit SendMessageToDisplay(pendingMessages.takeFirst(), count);
            blockingWait(delayMs);
        }
        return;
    }
    // Records due more often than the screen shows a frame: wake once a frame and hand over
    // every record whose time (record i at i × delayMs) has come, in order. The screen shows
    // the same; the thread wakes up to 60 times a second instead of once per record.
    QThread* thread = QThread::currentThread();
    QElapsedTimer clock;
    clock.start();
    int i = 0;
    while (i < n) {
        const qint64 now = clock.elapsed();
        // Asked to stop, it hands over the rest at once, as the waits then return at once.
        while (i < n && (i * delayMs <= now || thread->isInterruptionRequested())) {
            perftrace::note("emit");
            emit SendMessageToDisplay(pendingMessages.takeFirst(), count);
            ++i;
        }
        if (i < n)
            blockingWait(std::max(i * delayMs, now + kFrameMs) - clock.elapsed());
    }
    blockingWait(n * delayMs - clock.elapsed()); // the wait after the last record, as above
}

// ---- gift catalogue ----

void CGetChatMessageThread::GetAllItems() {
    send(endpoints.roomInfoUrl + QStringLiteral("/item/getallitems"),
         &CGetChatMessageThread::GetAllItemsFinished, &CGetChatMessageThread::GetAllItemsError);
}

void CGetChatMessageThread::GetAllItemsFinished() {
    QNetworkReply* reply = takeReply();
    if ((reply && reply->error() != QNetworkReply::NoError) || sentForEarlierRoom(reply))
        return;
    auto items = reply ? parseCatalogue(readBody(reply)) : std::nullopt;
    if (items)
        giftCatalogue = GiftCatalogue(std::move(*items));
    if (!items || giftCatalogue.isEmpty()) {
        pause();
        GetAllItems();
        return;
    }
    if (loopStarted)
        return;
    GetOnlineCount();
    startChatTimer();
    loopStarted = true;
    updateTimer->start();
}

void CGetChatMessageThread::GetAllItemsError(QNetworkReply::NetworkError) {
    if (sentForEarlierRoom(takeReply()))
        return;
    pause();
    GetAllItems();
}
