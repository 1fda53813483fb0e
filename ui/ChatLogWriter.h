#pragma once

#include "client/MsgsInfo.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QObject>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTimer>
#include <QVector>

class QTextEdit;

// Writes records into the chat log, each as one coloured line at the end of the document with
// the line spacing of the block at the end set after it. Records that come in a burst are
// written together in one edit, so that the document is laid out and the view repainted once
// for all of them, at most once per frame; a record written on its own gives the same
// document as one written in a batch.
class ChatLogWriter : public QObject {
public:
    // How a record is drawn: taken from the settings when the record arrives, so that a
    // change made while records wait applies from the next record on, as it would have.
    struct Style {
        QFont font;
        int lineHeight = 1;
    };

    // Owned by `log`, whose document it writes.
    explicit ChatLogWriter(QTextEdit* log);

    // A record from the worker's queue: written with those that arrive close to it, at the
    // latest one frame after the previous write.
    void queue(MsgsInfo record, const Style& style);
    // Written, after any record still waiting, before this returns.
    void writeNow(MsgsInfo record, const Style& style);

    // The shortest time between two writes of queued records: one frame.
    static constexpr int kFrameMs = 16;

private:
    struct Pending {
        MsgsInfo record;
        Style style;
    };

    void flush();
    // The character format of a piece in `color` with `font`. Kept from write to write, so
    // that the document finds each format it already holds without hashing it again.
    const QTextCharFormat& pieceFormat(const QFont& font, const QColor& color);
    const QTextBlockFormat& lineSpacing(int lineHeight);

    QTextEdit* log;
    QVector<Pending> pending;
    QTimer frameTimer;
    QElapsedTimer sinceWrite;
    QFont formatsFont;
    QVector<QTextCharFormat> formats; // one per colour, all with formatsFont
    QTextBlockFormat spacing;
    // Since the start, for the benchmark's trace: records taken in, and lines they wrote (a
    // record of an unknown type writes none; one crowded out of a burst is never written).
    qint64 recordsWritten = 0;
    qint64 linesWritten = 0;
};
