// The chat join reply: the group the poll URL is built from.
#include "FuzzSupport.h"

#include "client/ServiceReplies.h"

#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto object = parseObjectBody(bodyFrom(data, size));
    if (!object)
        return 0;

    const QString group = readGroup(*object);
    const QJsonValue value = object->value(QLatin1String("group"));
    FUZZ_CHECK(group == (value.isString() ? value.toString() : QString()));
    return 0;
}
