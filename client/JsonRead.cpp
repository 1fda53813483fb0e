#include "client/JsonRead.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

qint32 jsonToInt32(const QJsonValue& value, qint32 defaultValue) {
    if (!value.isDouble())
        return defaultValue;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || d < std::numeric_limits<qint32>::min() ||
        d > std::numeric_limits<qint32>::max())
        return defaultValue;
    return static_cast<qint32>(d);
}

void ReadJsonString(const QJsonObject& object, const QString& key, const QString& defaultValue,
                    QString& out) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return;
    out = it->isString() ? it->toString() : defaultValue;
}

void ReadJsonInt(const QJsonObject& object, const QString& key, qint32 defaultValue, qint32& out) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return;
    out = jsonToInt32(*it, defaultValue);
}
