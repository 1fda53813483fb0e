#include "client/GiftCatalogue.h"

#include "client/JsonKeyCheck.h"
#include "client/JsonRead.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <utility>

namespace {

// A name as QString::compare(..., Qt::CaseInsensitive) sees it, so that names comparing equal
// fold alike: each UTF-16 unit folded on its own, except a low surrogate after a high one,
// folded as part of the pair. QString::toCaseFolded() is not usable: in Qt 5.15 it leaves
// whatever follows a lone high surrogate unfolded.
QString foldedName(const QString& name) {
    QString folded = name; // shared until a unit changes
    const QChar* in = name.constData();
    QChar* out = nullptr;
    for (int i = 0; i < name.size(); ++i) {
        const ushort unit = in[i].unicode();
        const bool pairEnd = i > 0 && in[i].isLowSurrogate() && in[i - 1].isHighSurrogate();
        const uint to =
            pairEnd
                ? QChar::lowSurrogate(QChar::toCaseFolded(QChar::surrogateToUcs4(in[i - 1], in[i])))
                : QChar::toCaseFolded(uint{unit});
        if (to == unit)
            continue;
        if (!out)
            out = folded.data();
        out[i] = QChar(static_cast<ushort>(to));
    }
    return folded;
}

} // namespace

std::optional<QList<ItemInfo>> parseCatalogue(const QByteArray& body) {
    const std::optional<QJsonDocument> doc = parseReplyJson(body);
    if (!doc || !doc->isArray())
        return std::nullopt;
    const QJsonArray array = doc->array();
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

GiftCatalogue::GiftCatalogue(QList<ItemInfo> items) : entries(std::move(items)) {
    firstByFoldedName.reserve(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const QString key = foldedName(entries.at(i).name);
        if (!firstByFoldedName.contains(key))
            firstByFoldedName.insert(key, i);
    }
}

const ItemInfo* GiftCatalogue::find(const QString& itemKey) const {
    const auto first = firstByFoldedName.constFind(foldedName(itemKey));
    if (first == firstByFoldedName.constEnd())
        return nullptr;
    // Names that compare equal fold alike, so no earlier entry can match. Should two names
    // fold alike without comparing equal, the scan goes on to settle it as the plain one would.
    for (int i = *first; i < entries.size(); ++i) {
        if (entries.at(i).name.compare(itemKey, Qt::CaseInsensitive) == 0)
            return &entries.at(i);
    }
    return nullptr;
}

void FindItem(const GiftCatalogue& catalogue, const QString& itemKey, QString& title,
              double& cost) {
    const ItemInfo* item = catalogue.find(itemKey);
    title = item ? item->title : QString();
    cost = item ? item->moneyCost : 0.0;
}
