#pragma once

#include <QColor>
#include <QString>
#include <QVector>

struct MsgsInfo;

// One coloured run of a chat log line.
struct LinePiece {
    QString text;
    QColor color;
};

// The coloured pieces of the line a record becomes, newline included; empty for a record that
// is neither a chat line nor a gift.
QVector<LinePiece> composeMessageLine(const MsgsInfo& msg);
