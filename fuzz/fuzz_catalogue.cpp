// The gift catalogue reply, and the look-up of gifts by name in what it gives.
#include "FuzzSupport.h"

#include "client/GiftCatalogue.h"
#include "client/JsonKeyCheck.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// What FindItem must return for `key`: the first entry whose name matches ignoring case.
void checkLookup(const QList<ItemInfo>& items, const QString& key) {
    QString title = QStringLiteral("stale");
    double cost = -1.0;
    FindItem(items, key, title, cost);
    for (const ItemInfo& item : items) {
        if (item.name.compare(key, Qt::CaseInsensitive) == 0) {
            FUZZ_CHECK(title == item.title && sameDouble(cost, item.moneyCost));
            return;
        }
    }
    FUZZ_CHECK(title.isEmpty() && cost == 0.0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body = bodyFrom(data, size);
    const auto items = parseCatalogue(body);

    // A body repeating a key after a non-empty container is refused unparsed; parsing it here
    // would leak.
    if (repeatsContainerKey(body)) {
        FUZZ_CHECK(!items);
        return 0;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const bool usable = !body.isEmpty() && doc.isArray() && !doc.array().isEmpty();
    FUZZ_CHECK(items.has_value() == usable);
    if (!items)
        return 0;

    int objects = 0;
    for (const QJsonValue& element : doc.array())
        objects += element.isObject() ? 1 : 0;
    FUZZ_CHECK(items->size() == objects);

    for (const ItemInfo& item : *items) {
        checkLookup(*items, item.name);
        checkLookup(*items, item.name.toUpper());
    }
    checkLookup(*items, QString());
    checkLookup(*items, QStringLiteral("no such gift"));
    return 0;
}
