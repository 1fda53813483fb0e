#include "client/ReplyTimeouts.h"

#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>

namespace {

// Lives as the reply's child, so it goes when the reply is deleted. What arrived while the
// thread was blocked is delivered before the timer is looked at (posted events come first),
// so a reply is never given up for the thread's own waits.
class ReplyWatchdog : public QObject {
public:
    ReplyWatchdog(QNetworkReply* reply, ReplyTimeouts timeouts)
        : QObject(reply), reply(reply), idleMs(timeouts.idleMs), idle(timeouts.idleMs),
          total(timeouts.totalMs) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, &ReplyWatchdog::check);
        const auto progressed = [this] { idle.setRemainingTime(idleMs); };
        connect(reply, &QNetworkReply::metaDataChanged, this, progressed);
        connect(reply, &QNetworkReply::readyRead, this, progressed);
        connect(reply, &QNetworkReply::downloadProgress, this, progressed);
        connect(reply, &QNetworkReply::uploadProgress, this, progressed);
        connect(reply, &QNetworkReply::finished, &timer, &QTimer::stop);
        timer.start(std::min(timeouts.idleMs, timeouts.totalMs));
    }

private:
    // Re-armed for what is left rather than on every progress signal, which comes per chunk.
    void check() {
        if (reply->isFinished())
            return;
        const qint64 left = std::min(idle.remainingTime(), total.remainingTime());
        if (left <= 0)
            reply->abort();
        else
            timer.start(static_cast<int>(left));
    }

    QNetworkReply* reply;
    int idleMs;
    QDeadlineTimer idle;
    QDeadlineTimer total;
    QTimer timer;
};

} // namespace

void watchReply(QNetworkReply* reply, ReplyTimeouts timeouts) {
    new ReplyWatchdog(reply, timeouts);
}
