// The gift catalogue reply, and the look-up of gifts by name in what it gives.
#include "FuzzSupport.h"

#include "client/GiftCatalogue.h"
#include "client/JsonKeyCheck.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// What FindItem must return for `key`, from the list or from the catalogue's index: the first
// entry whose name matches ignoring case.
void checkLookup(const GiftCatalogue& catalogue, const QString& key) {
    const QList<ItemInfo>& items = catalogue.items();
    QString title = QStringLiteral("stale");
    double cost = -1.0;
    FindItem(items, key, title, cost);
    QString indexedTitle = QStringLiteral("stale");
    double indexedCost = -1.0;
    FindItem(catalogue, key, indexedTitle, indexedCost);
    FUZZ_CHECK(indexedTitle == title && sameDouble(indexedCost, cost));
    for (const ItemInfo& item : items) {
        if (item.name.compare(key, Qt::CaseInsensitive) == 0) {
            FUZZ_CHECK(title == item.title && sameDouble(cost, item.moneyCost));
            FUZZ_CHECK(catalogue.find(key) == &item);
            return;
        }
    }
    FUZZ_CHECK(title.isEmpty() && cost == 0.0);
    FUZZ_CHECK(catalogue.find(key) == nullptr);
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

    const GiftCatalogue catalogue(*items);
    for (const ItemInfo& item : *items) {
        checkLookup(catalogue, item.name);
        checkLookup(catalogue, item.name.toUpper());
        checkLookup(catalogue, item.name.toLower());
    }
    checkLookup(catalogue, QString());
    checkLookup(catalogue, QStringLiteral("no such gift"));
    return 0;
}
