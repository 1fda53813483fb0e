#include "client/GiftCatalogue.h"

#include "client/JsonKeyCheck.h"
#include "client/JsonRead.h"

#include <QJsonArray>
#include <QJsonDocument>

std::optional<QList<ItemInfo>> parseCatalogue(const QByteArray& body) {
    // A key repeated after a non-empty array or object value makes Qt leak that value: such a
    // body is unusable, like invalid JSON.
    if (body.isEmpty() || repeatsContainerKey(body))
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray array = doc.array();
    if (array.isEmpty())
        return std::nullopt;

    QList<ItemInfo> items;
    for (const QJsonValue& element : array) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        ItemInfo item;
        ReadJsonString(object, QStringLiteral("name"), QString(), item.name);
        ReadJsonString(object, QStringLiteral("title"), QString(), item.title);
        const auto cost = object.constFind(QLatin1String("moneyCost"));
        if (cost != object.constEnd())
            item.moneyCost = cost->isDouble() ? cost->toDouble() : 0.0;
        items.append(item);
    }
    return items;
}

void FindItem(const QList<ItemInfo>& catalogue, const QString& itemKey, QString& title,
              double& cost) {
    title.clear();
    cost = 0.0;
    for (const ItemInfo& item : catalogue) {
        if (item.name.compare(itemKey, Qt::CaseInsensitive) == 0) {
            title = item.title;
            cost = item.moneyCost;
            return;
        }
    }
}
