#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

class QByteArray;
class QJsonValue;
class GiftCatalogue;
struct MsgsInfo;

// The readers of the service's replies, free of any network object so tests can call them.

// The body as a JSON object; nothing when it is empty, not JSON, or not an object.
std::optional<QJsonObject> parseObjectBody(const QByteArray& body);

// What a room lookup or count refresh reply holds.
struct RoomInfoReply {
    std::optional<qint32> roomId; // only a usable (non-zero) id
    std::optional<qint32> onlineCount;
    bool isLive = false;
};
RoomInfoReply readRoomInfo(const QJsonObject& object);

// The chat group of a join reply; empty when absent or not a string.
QString readGroup(const QJsonObject& object);

// What a poll reply holds; each key is optional on its own.
struct PollReply {
    std::optional<qint32> next;
    std::optional<qint32> from;
    QJsonArray msgs;
};
PollReply readPoll(const QJsonObject& object);

// The poll delay is the service's to choose, but it drives a millisecond timer and blocking
// pacing waits on the worker thread: a negative value means "at once", and anything above
// half a minute is taken as half a minute so that a room change or a shutdown never waits
// long behind a dispatch.
constexpr qint32 kMaxNextSeconds = 30;
// After a poll reply the next poll waits at least this long, whatever delay was asked for.
constexpr qint32 kMinPollGapSeconds = 1;

// Everything the service sends is untrusted. A reply body above this size is a failed request
// (read no further); it is far above any real reply.
constexpr qint64 kMaxReplyBytes = 8 * 1024 * 1024;

// Decoded records waiting to be shown; beyond this the oldest of one poll's flood are dropped.
// It is well above what one poll brings in a busy room (a burst of 3000 is handled in full).
constexpr int kMaxPendingMessages = 5000;

// Texts of a record are cut to this many UTF-16 units: a line that long already fills the
// window many times over, and a megabyte-long one would hold the window up while laid out.
constexpr int kMaxTextLength = 4096;
qint32 clampNextSeconds(qint32 next);

// One entry of a poll reply's "msgs" as a record, gift titles and prices looked up in the
// catalogue. Nothing unless the entry, its "msg" and its "msg"."user" are objects.
std::optional<MsgsInfo> decodeMessageEntry(const QJsonValue& entry, const GiftCatalogue& catalogue);
