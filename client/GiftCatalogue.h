#pragma once

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
