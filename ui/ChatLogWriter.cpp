#include "ui/ChatLogWriter.h"

#include "client/PerfTrace.h"
#include "ui/MessageLine.h"

#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <algorithm>

namespace {

// A lower bound of the blocks that writing `pieces` opens: each '\n' opens one. The rarer
// block separators are not counted, which can only make more of a burst written than needed.
int newlinesIn(const QVector<LinePiece>& pieces) {
    int count = 0;
    for (const LinePiece& piece : pieces)
        count += piece.text.count(QLatin1Char('\n'));
    return count;
}

} // namespace

ChatLogWriter::ChatLogWriter(QTextEdit* log) : QObject(log), log(log) {
    frameTimer.setSingleShot(true);
    frameTimer.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer, &QTimer::timeout, this, &ChatLogWriter::flush);
}

void ChatLogWriter::queue(MsgsInfo record, const Style& style) {
    pending.append({std::move(record), style});
    if (frameTimer.isActive())
        return;
    // At the end of this pass of the event loop when a frame has gone by since the last
    // write, so that the records delivered together are written together; else when it has.
    const qint64 since = sinceWrite.isValid() ? sinceWrite.elapsed() : kFrameMs;
    frameTimer.start(static_cast<int>(std::max<qint64>(0, kFrameMs - since)));
}

void ChatLogWriter::writeNow(MsgsInfo record, const Style& style) {
    pending.append({std::move(record), style});
    flush();
}

void ChatLogWriter::flush() {
    frameTimer.stop();
    if (pending.isEmpty())
        return;
    QTextDocument* document = log->document();

    // Of a burst longer than the block cap only the newest records can leave a line behind:
    // once the lines written open `cap` blocks, every block before them is trimmed away.
    const int cap = document->maximumBlockCount();
    QVector<QVector<LinePiece>> lines(pending.size());
    int first = 0;
    int opened = 0;
    for (int i = pending.size() - 1; i >= 0; --i) {
        lines[i] = composeMessageLine(pending.at(i).record);
        opened += newlinesIn(lines.at(i));
        if (cap > 0 && opened >= cap) {
            first = i;
            break;
        }
    }

    // One edit for the whole batch: the document is laid out once, not once per insertion.
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    const QTextBlock firstWritten = cursor.block();
    cursor.beginEditBlock();
    // The first line written takes the spacing that the record before it left at the end.
    if (first > 0)
        cursor.setBlockFormat(lineSpacing(pending.at(first - 1).style.lineHeight));
    for (int i = first; i < pending.size(); ++i) {
        if (!lines.at(i).isEmpty())
            ++linesWritten;
        const Style& style = pending.at(i).style;
        // Plain text only: a name or message that looks like markup must show as typed.
        for (const LinePiece& piece : lines.at(i))
            cursor.insertText(piece.text, pieceFormat(style.font, piece.color));
        // Each line's spacing goes on the block at the end, so the next line carries it.
        cursor.setBlockFormat(lineSpacing(style.lineHeight));
    }
    // Shaped glyphs are otherwise dropped after layout and shaped again on every paint of
    // every visible line; kept, a paint only draws them. Set before the edit ends, so that
    // the layout it triggers already keeps them.
    for (QTextBlock block = firstWritten; block.isValid(); block = block.next())
        block.layout()->setCacheEnabled(true);
    cursor.endEditBlock();
    recordsWritten += pending.size();
    perftrace::note("flush", recordsWritten, linesWritten);
    pending.clear();
    sinceWrite.restart();

    // The view follows the newest line; a selection the user made is dropped.
    cursor.movePosition(QTextCursor::End);
    log->setTextCursor(cursor);
}

const QTextCharFormat& ChatLogWriter::pieceFormat(const QFont& font, const QColor& color) {
    if (font != formatsFont) {
        formats.clear();
        formatsFont = font;
    }
    for (const QTextCharFormat& format : qAsConst(formats))
        if (format.foreground().color() == color)
            return format;
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(QBrush(color));
    formats.append(format);
    return formats.last();
}

const QTextBlockFormat& ChatLogWriter::lineSpacing(int lineHeight) {
    if (spacing.lineHeightType() != QTextBlockFormat::LineDistanceHeight ||
        spacing.lineHeight() != lineHeight) {
        spacing = QTextBlockFormat();
        spacing.setLineHeight(lineHeight, QTextBlockFormat::LineDistanceHeight);
    }
    return spacing;
}
