#include "client/ServiceReplies.h"

#include "client/GiftCatalogue.h"
#include "client/JsonKeyCheck.h"
#include "client/JsonRead.h"
#include "client/MsgsInfo.h"

#include <QCborMap>
#include <QCborValue>
#include <QJsonDocument>

#include <algorithm>

namespace {

void bound(QString& text) {
    if (text.size() <= kMaxTextLength)
        return;
    int cut = kMaxTextLength;
    if (text.at(cut - 1).isHighSurrogate()) // never split a character in two
        --cut;
    text.truncate(cut);
}

// A whole-number key that may be absent: nothing when it is, else its value read leniently.
std::optional<qint32> presentInt(const QJsonObject& object, const char* key) {
    const auto it = object.constFind(QLatin1String(key));
    if (it == object.constEnd())
        return std::nullopt;
    return jsonToInt32(*it, 0);
}

// A poll reply's entries are read through QCborMap, the container a QJsonObject already is:
// sharing it costs nothing, finding a key in a small map costs less, and values come without a
// conversion to QJsonValue. These read as ReadJsonString and ReadJsonInt do.

void readString(const QCborMap& map, QLatin1String key, QString& out) {
    const auto it = map.constFind(key);
    if (it == map.constEnd())
        return;
    const QCborValue value = it.value();
    out = value.isString() ? value.toString() : QString();
}

void readInt(const QCborMap& map, QLatin1String key, qint32& out) {
    const auto it = map.constFind(key);
    if (it == map.constEnd())
        return;
    // JSON numbers are kept as CBOR integers when whole, which QJsonValue shows as doubles.
    const QCborValue value = it.value();
    const QJsonValue number = value.isInteger() ? QJsonValue(static_cast<double>(value.toInteger()))
                              : value.isDouble() ? QJsonValue(value.toDouble())
                                                 : QJsonValue();
    out = jsonToInt32(number, 0);
}

std::optional<QCborMap> readMap(const QCborMap& map, QLatin1String key) {
    const auto it = map.constFind(key);
    if (it == map.constEnd())
        return std::nullopt;
    const QCborValue value = it.value();
    if (!value.isMap())
        return std::nullopt;
    return value.toMap();
}

} // namespace

std::optional<QJsonObject> parseObjectBody(const QByteArray& body) {
    const std::optional<QJsonDocument> doc = parseReplyJson(body);
    if (!doc || !doc->isObject())
        return std::nullopt;
    return doc->object();
}

RoomInfoReply readRoomInfo(const QJsonObject& object) {
    RoomInfoReply reply;
    const auto base = object.constFind(QLatin1String("BaseRoomInfo"));
    if (base != object.constEnd() && base->isObject()) {
        qint32 id = 0;
        ReadJsonInt(base->toObject(), QStringLiteral("Id"), 0, id);
        if (id != 0)
            reply.roomId = id;
    }
    reply.onlineCount = presentInt(object, "OnlineCount");
    const auto live = object.constFind(QLatin1String("IsBroadcasting"));
    reply.isLive = live != object.constEnd() && live->isBool() && live->toBool();
    return reply;
}

QString readGroup(const QJsonObject& object) {
    QString group;
    ReadJsonString(object, QStringLiteral("group"), QString(), group);
    return group;
}

PollReply readPoll(const QJsonObject& object) {
    PollReply reply;
    reply.next = presentInt(object, "next");
    reply.from = presentInt(object, "from");
    const auto msgs = object.constFind(QLatin1String("msgs"));
    if (msgs != object.constEnd() && msgs->isArray())
        reply.msgs = msgs->toArray();
    return reply;
}

qint32 clampNextSeconds(qint32 next) {
    return std::clamp(next, 0, kMaxNextSeconds);
}

std::optional<MsgsInfo> decodeMessageEntry(const QJsonValue& entry,
                                           const GiftCatalogue& catalogue) {
    if (!entry.isObject())
        return std::nullopt;
    const QCborMap object = QCborMap::fromJsonObject(entry.toObject());
    MsgsInfo record;
    readString(object, QLatin1String("type"), record.type);

    const std::optional<QCborMap> msg = readMap(object, QLatin1String("msg"));
    if (!msg)
        return std::nullopt;

    if (record.type.compare(QLatin1String("chat"), Qt::CaseInsensitive) == 0) {
        readString(*msg, QLatin1String("content"), record.content);
    } else if (record.type.compare(QLatin1String("gift"), Qt::CaseInsensitive) == 0) {
        readString(*msg, QLatin1String("itemType"), record.itemType);
        FindItem(catalogue, record.itemType, record.itemTitle, record.moneyCost);
        readInt(*msg, QLatin1String("number"), record.number);
    }

    const std::optional<QCborMap> user = readMap(*msg, QLatin1String("user"));
    if (!user)
        return std::nullopt;
    readString(*user, QLatin1String("username"), record.username);
    readInt(*user, QLatin1String("grade"), record.grade);
    for (QString* text :
         {&record.type, &record.content, &record.itemType, &record.itemTitle, &record.username})
        bound(*text);
    return record;
}
