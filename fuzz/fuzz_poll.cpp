// The message poll reply: cursor, delay and every entry decoded against a small catalogue, then
// the pacing interval the worker derives from them.
#include "FuzzSupport.h"

#include "client/GiftCatalogue.h"
#include "client/MsgsInfo.h"
#include "client/ServiceReplies.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// Names the simulator sends, one in another case and one repeated in another case, so that
// the ignore-case and first-match rules are both used.
const GiftCatalogue& catalogue() {
    static const GiftCatalogue items(QList<ItemInfo>{
        {QStringLiteral("flower"), QStringLiteral("鲜花"), 0.0},
        {QStringLiteral("Rose"), QStringLiteral("玫瑰"), 5.0},
        {QStringLiteral("rocket"), QStringLiteral("火箭"), 1000.0},
        {QStringLiteral("ROSE"), QStringLiteral("second rose"), 9.0},
        {QStringLiteral("applause"), QStringLiteral("掌声"), 0.5},
    });
    return items;
}

// Decodes one entry and checks the record against the entry itself; true when there is one.
bool checkEntry(const QJsonValue& entry) {
    const std::optional<MsgsInfo> record = decodeMessageEntry(entry, catalogue());
    const QJsonValue msg = entry.toObject().value(QLatin1String("msg"));
    const QJsonValue user = msg.toObject().value(QLatin1String("user"));
    FUZZ_CHECK(record.has_value() == (entry.isObject() && msg.isObject() && user.isObject()));
    if (!record)
        return false;

    const QJsonValue type = entry.toObject().value(QLatin1String("type"));
    FUZZ_CHECK(record->type == (type.isString() ? type.toString() : QString()));

    const QJsonValue username = user.toObject().value(QLatin1String("username"));
    FUZZ_CHECK(record->username == (username.isString() ? username.toString() : QString()));
    FUZZ_CHECK(record->grade == expectedInt32(user.toObject().value(QLatin1String("grade")), 0));

    const QJsonObject body = msg.toObject();
    if (record->type.compare(QLatin1String("chat"), Qt::CaseInsensitive) == 0) {
        const QJsonValue content = body.value(QLatin1String("content"));
        FUZZ_CHECK(record->content == (content.isString() ? content.toString() : QString()));
    } else {
        FUZZ_CHECK(record->content.isEmpty());
    }

    // A gift's title and price are those of the first catalogue entry of its name, ignoring
    // case, or empty and 0; other kinds carry none.
    if (record->type.compare(QLatin1String("gift"), Qt::CaseInsensitive) == 0) {
        const QJsonValue itemType = body.value(QLatin1String("itemType"));
        FUZZ_CHECK(record->itemType == (itemType.isString() ? itemType.toString() : QString()));
        FUZZ_CHECK(record->number == expectedInt32(body.value(QLatin1String("number")), 0));
        QString title;
        double cost = 0.0;
        for (const ItemInfo& item : catalogue().items()) {
            if (item.name.compare(record->itemType, Qt::CaseInsensitive) == 0) {
                title = item.title;
                cost = item.moneyCost;
                break;
            }
        }
        FUZZ_CHECK(record->itemTitle == title && sameDouble(record->moneyCost, cost));
    } else {
        FUZZ_CHECK(record->itemType.isEmpty() && record->itemTitle.isEmpty());
        FUZZ_CHECK(record->number == 0 && record->moneyCost == 0.0);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto object = parseObjectBody(bodyFrom(data, size));
    if (!object)
        return 0;

    const PollReply poll = readPoll(*object);
    // Each key is optional on its own; a present one of the wrong type reads as 0.
    const QJsonValue next = object->value(QLatin1String("next"));
    const QJsonValue from = object->value(QLatin1String("from"));
    FUZZ_CHECK(poll.next.has_value() == !next.isUndefined());
    FUZZ_CHECK(poll.from.has_value() == !from.isUndefined());
    if (poll.next)
        FUZZ_CHECK(*poll.next == expectedInt32(next, 0));
    if (poll.from)
        FUZZ_CHECK(*poll.from == expectedInt32(from, 0));
    const QJsonValue msgs = object->value(QLatin1String("msgs"));
    FUZZ_CHECK(poll.msgs.size() == (msgs.isArray() ? msgs.toArray().size() : 0));

    qint32 nextSeconds = 2;
    if (poll.next) {
        nextSeconds = clampNextSeconds(*poll.next);
        FUZZ_CHECK(nextSeconds >= 0 && nextSeconds <= kMaxNextSeconds);
        if (*poll.next >= 0 && *poll.next <= kMaxNextSeconds)
            FUZZ_CHECK(nextSeconds == *poll.next);
    }

    int decoded = 0;
    for (const QJsonValue& entry : poll.msgs)
        decoded += checkEntry(entry) ? 1 : 0;

    // The worker spreads the decoded records over the delay: each wait stays within it.
    if (decoded > 0) {
        const auto delayMs =
            static_cast<qint64>(static_cast<double>(nextSeconds) / decoded * 1000.0);
        FUZZ_CHECK(delayMs >= 0 && delayMs <= qint64{kMaxNextSeconds} * 1000);
    }
    return 0;
}
