// The viewer count refresh: the same reply kind as the lookup, of which the worker keeps only
// the count (the previous one when the reply has none) and the live flag.
#include "FuzzSupport.h"

#include "client/ServiceReplies.h"

#include <QJsonObject>

namespace {
constexpr qint32 kPreviousCount = 4321;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto object = parseObjectBody(bodyFrom(data, size));
    if (!object)
        return 0;

    qint32 onlineCount = kPreviousCount;
    const RoomInfoReply info = readRoomInfo(*object);
    if (info.onlineCount)
        onlineCount = *info.onlineCount;

    // Absent keeps the count shown; a wrong type or an unusable number reads as 0.
    const auto count = object->constFind(QLatin1String("OnlineCount"));
    if (count == object->constEnd())
        FUZZ_CHECK(onlineCount == kPreviousCount);
    else
        FUZZ_CHECK(onlineCount == expectedInt32(*count, 0));

    const auto live = object->constFind(QLatin1String("IsBroadcasting"));
    FUZZ_CHECK(info.isLive == (live != object->constEnd() && live->isBool() && live->toBool()));
    return 0;
}
