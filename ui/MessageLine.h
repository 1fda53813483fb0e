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

// `text` as a run that nothing inside it can reorder or restyle the rest of its line with:
// when it holds right-to-left text or direction controls, wrapped in an isolate (U+2068 ...
// U+2069) with its own controls balanced; else unchanged.
QString isolatedText(const QString& text);

// The coloured pieces of the line a record becomes, newline included; empty for a record that
// is neither a chat line nor a gift.
QVector<LinePiece> composeMessageLine(const MsgsInfo& msg);
