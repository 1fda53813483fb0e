#pragma once

#include "client/GiftCatalogue.h"
#include "client/MessageFilter.h"
#include "client/MsgsInfo.h"
#include "client/ReplyTimeouts.h"
#include "client/ServiceEndpoints.h"

#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QThread;
class QTimer;

// The room client: follows one room from its name to a running message poll, on a thread of
// its own. Its pauses block only that thread.
class CGetChatMessageThread : public QObject {
    Q_OBJECT

public:
    explicit CGetChatMessageThread(QString strRoomName, ServiceEndpoints endpoints = {});
    ~CGetChatMessageThread() override;

    // Tests shorten the refresh instead of waiting a minute; call before the thread starts.
    void setUpdateIntervalForTesting(int milliseconds);
    // Tests shorten how long a request may go without progress, and in all, before it counts
    // as failed; call before the thread starts.
    void setRequestTimeoutsForTesting(int idleMs, int totalMs);

    // Asks `thread` to stop, as QThread::requestInterruption does, and ends at once a pause
    // or pacing wait it is in. Safe from any thread.
    static void interruptWaits(QThread* thread);

signals:
    void SendMessageToDisplay(MsgsInfo msgsInfo, int nOnlineCount);
    void SendOnlineCountToDisplay(int nOnlineCount, bool isLive);

public slots:
    void GetRoomIdFinished();
    void GetRoomIdError(QNetworkReply::NetworkError code);
    void GetGroupFinished();
    void GetGroupError(QNetworkReply::NetworkError code);
    void GetChatMessageFinished();
    void GetChatMessageError(QNetworkReply::NetworkError code);
    void GetOnlineCountFinished();
    void GetOnlineCountError(QNetworkReply::NetworkError code);
    void GetAllItemsFinished();
    void GetAllItemsError(QNetworkReply::NetworkError code);
    void StartLoop();
    void GetChatTimerOut();
    void UpdateDataTimerOut();
    void RoomNameChanged(QString strRoomName);
    // The streamer's new filter choices: records they hide are dropped from the next reply on.
    void FilterChoicesChanged(FilterChoices choices);

private:
    void GetRoomId(const QString& name);
    void GetOnlineCount();
    void GetGroup();
    void GetChatMessage();
    void GetAllItems();
    void DispatchPendingMessages();
    void DecodeMessage(const QJsonValue& entry);

    QNetworkReply* send(const QString& url, void (CGetChatMessageThread::*finished)(),
                        void (CGetChatMessageThread::*error)(QNetworkReply::NetworkError));
    QNetworkReply* takeReply();
    // A reply to a request sent before the last room change is dropped, whatever its
    // outcome: the change started a chain of its own. A failure sent again would double the
    // requests; a success would join, or show the count of, a room no longer followed.
    bool sentForEarlierRoom(const QNetworkReply* reply) const;
    void startChatTimer();
    void restartChatTimerAfterReply();
    static void pause();

    QString roomName;
    QString roomId;
    QString group;
    QString fromCursor = QStringLiteral("0");
    qint32 nextSeconds = 0;
    qint32 onlineCount = 0;
    QNetworkAccessManager* networkManager = nullptr;
    GiftCatalogue giftCatalogue;
    QList<MsgsInfo> pendingMessages;
    MessageFilter filter;
    QTimer* chatTimer = nullptr;
    QTimer* updateTimer = nullptr;
    bool loopStarted = false;
    ServiceEndpoints endpoints;
    ReplyTimeouts timeouts;
    quint64 roomGeneration = 0; // counts the room changes
};
