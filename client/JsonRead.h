#pragma once

#include <QJsonObject>
#include <QString>

// Lenient readers for service replies: an absent key leaves `out` alone, a value of the
// wrong JSON type gives `defaultValue`.
void ReadJsonString(const QJsonObject& object, const QString& key, const QString& defaultValue,
                    QString& out);
void ReadJsonInt(const QJsonObject& object, const QString& key, qint32 defaultValue, qint32& out);

// A JSON number with a whole value in the signed 32-bit range, else `defaultValue`.
qint32 jsonToInt32(const QJsonValue& value, qint32 defaultValue);
