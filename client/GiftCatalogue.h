#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class QByteArray;

// One entry of the service's gift catalogue.
struct ItemInfo {
    QString name;
    QString title;
    double moneyCost = 0.0;
};

// The entries of a catalogue reply, in reply order, elements that are not objects skipped.
// Nothing when the body is empty, not JSON, not an array, or an empty array: the catalogue
// held so far then stays as it is.
std::optional<QList<ItemInfo>> parseCatalogue(const QByteArray& body);

// Title and price of the first entry whose name equals `itemKey` ignoring case; empty and 0.0
// when there is none.
void FindItem(const QList<ItemInfo>& catalogue, const QString& itemKey, QString& title,
              double& cost);

// The catalogue as the room client holds it: every gift of a busy room is looked up in it, so
// the entries come with an index by name, built with them and never changed apart from them.
class GiftCatalogue {
public:
    GiftCatalogue() = default;
    explicit GiftCatalogue(QList<ItemInfo> items);

    const QList<ItemInfo>& items() const { return entries; }
    bool isEmpty() const { return entries.isEmpty(); }

    // The entry FindItem(items(), itemKey, ...) reports, or null when there is none.
    const ItemInfo* find(const QString& itemKey) const;

private:
    QList<ItemInfo> entries;
    QHash<QString, int> firstByFoldedName;
};

// FindItem on the catalogue's index: the same answer as the scan of its items.
void FindItem(const GiftCatalogue& catalogue, const QString& itemKey, QString& title, double& cost);
