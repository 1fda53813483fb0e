// The room lookup reply: the body as the worker reads it, then the room id, count and live flag.
#include "FuzzSupport.h"

#include "client/ServiceReplies.h"

#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body = bodyFrom(data, size);
    const auto object = parseObjectBody(body);
    if (body.isEmpty())
        FUZZ_CHECK(!object);
    if (!object)
        return 0;

    const RoomInfoReply info = readRoomInfo(*object);

    // Only a usable id is passed on: the worker joins the room with it.
    const QJsonValue base = object->value(QLatin1String("BaseRoomInfo"));
    const qint32 id =
        base.isObject() ? expectedInt32(base.toObject().value(QLatin1String("Id")), 0) : 0;
    FUZZ_CHECK(info.roomId.has_value() == (id != 0));
    if (info.roomId)
        FUZZ_CHECK(*info.roomId == id);

    const QJsonValue count = object->value(QLatin1String("OnlineCount"));
    FUZZ_CHECK(info.onlineCount.has_value() == !count.isUndefined());
    if (info.onlineCount)
        FUZZ_CHECK(*info.onlineCount == expectedInt32(count, 0));

    const QJsonValue live = object->value(QLatin1String("IsBroadcasting"));
    FUZZ_CHECK(info.isLive == (live.isBool() && live.toBool()));
    return 0;
}
