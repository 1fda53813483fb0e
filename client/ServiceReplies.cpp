#include "client/ServiceReplies.h"

#include "client/GiftCatalogue.h"
#include "client/JsonRead.h"
#include "client/MsgsInfo.h"

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

} // namespace

std::optional<QJsonObject> parseObjectBody(const QByteArray& body) {
    if (body.isEmpty())
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
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
    const QJsonObject object = entry.toObject();
    MsgsInfo record;
    ReadJsonString(object, QStringLiteral("type"), QString(), record.type);

    const auto msgIt = object.constFind(QLatin1String("msg"));
    if (msgIt == object.constEnd() || !msgIt->isObject())
        return std::nullopt;
    const QJsonObject msg = msgIt->toObject();

    if (record.type.compare(QLatin1String("chat"), Qt::CaseInsensitive) == 0) {
        ReadJsonString(msg, QStringLiteral("content"), QString(), record.content);
    } else if (record.type.compare(QLatin1String("gift"), Qt::CaseInsensitive) == 0) {
        ReadJsonString(msg, QStringLiteral("itemType"), QString(), record.itemType);
        FindItem(catalogue, record.itemType, record.itemTitle, record.moneyCost);
        ReadJsonInt(msg, QStringLiteral("number"), 0, record.number);
    }

    const auto userIt = msg.constFind(QLatin1String("user"));
    if (userIt == msg.constEnd() || !userIt->isObject())
        return std::nullopt;
    const QJsonObject user = userIt->toObject();
    ReadJsonString(user, QStringLiteral("username"), QString(), record.username);
    ReadJsonInt(user, QStringLiteral("grade"), 0, record.grade);
    for (QString* text :
         {&record.type, &record.content, &record.itemType, &record.itemTitle, &record.username})
        bound(*text);
    return record;
}
