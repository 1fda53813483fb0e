#pragma once

#include <QMetaType>
#include <QString>

// One decoded chat line or gift: the only data that crosses from the room client's thread
// to the window.
struct MsgsInfo {
    QString type;
    QString content;
    QString itemType;
    QString itemTitle;
    qint32 number = 0;
    QString username;
    qint32 grade = 0;
    double moneyCost = 0.0;
};

Q_DECLARE_METATYPE(MsgsInfo)
