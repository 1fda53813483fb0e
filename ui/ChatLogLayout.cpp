#include "ui/ChatLogLayout.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QtMath>

#include <algorithm>
#include <climits>

namespace {

// Lengths in 26.6 fixed point, converted as the stock layout converts them: truncating.
int fix(qreal value) {
    return static_cast<int>(value * 64);
}
qreal real(int value) {
    return value / 64.0;
}
int roundFix(int value) {
    return (value + 32) & -64;
}

// Positions are kept this far from the ends of the fixed-point range, which the text layout
// also converts them into: a log of huge lines piles its last lines up at the bound instead
// of overflowing.
constexpr int kMaxFix = INT_MAX / 2;
int fixSum(int a, int b) {
    return static_cast<int>(qBound<qint64>(-kMaxFix, qint64(a) + b, kMaxFix));
}
int fixLength(qreal value) {
    return fix(qBound<qreal>(-kMaxFix / 64.0, value, kMaxFix / 64.0));
}

// The resolution lengths are given in, which the stock layout scales to its device's.
int defaultDpi() {
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        return 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return qRound(screen->logicalDotsPerInchY());
    return 100;
}

// Left and right swap in a right-to-left block unless the alignment says they are absolute.
Qt::Alignment visualAlignment(Qt::LayoutDirection direction, Qt::Alignment alignment) {
    if (!(alignment & Qt::AlignHorizontal_Mask))
        alignment |= Qt::AlignLeft;
    if (!(alignment & Qt::AlignAbsolute) && (alignment & (Qt::AlignLeft | Qt::AlignRight))) {
        if (direction == Qt::RightToLeft)
            alignment ^= (Qt::AlignLeft | Qt::AlignRight);
        alignment |= Qt::AlignAbsolute;
    }
    return alignment;
}

} // namespace

ChatLogLayout::ChatLogLayout(QTextDocument* document) : QAbstractTextDocumentLayout(document) {}

qreal ChatLogLayout::scaleToDevice(qreal value) const {
    const QPaintDevice* device = paintDevice();
    return device ? value * device->logicalDpiY() / qreal(defaultDpi()) : value;
}

void ChatLogLayout::giveUp() {
    if (!fitting)
        return;
    fitting = false;
    emit outgrown();
}

// The root frame as the stock layout can lay it out without pages, floats or child frames.
bool ChatLogLayout::frameFits() {
    const QTextDocument* doc = document();
    const QTextFrame* root = doc->rootFrame();
    const QTextFrameFormat format = root->frameFormat();
    return root->childFrames().isEmpty() && doc->pageSize().height() < 0 &&
           format.width().type() == QTextLength::VariableLength &&
           format.height().type() == QTextLength::VariableLength;
}

// A block the stock layout draws with its lines alone, placed with nothing but its line
// heights: no margins or indents (they would depend on the block before), list, ruler,
// background, page break or inline object.
bool ChatLogLayout::blockFits(const QTextBlock& block) const {
    if (!block.isVisible())
        return false;
    const QTextBlockFormat format = block.blockFormat();
    if (format.topMargin() != 0 || format.bottomMargin() != 0 || format.leftMargin() != 0 ||
        format.rightMargin() != 0 || format.indent() != 0 || format.textIndent() != 0 ||
        format.objectIndex() != -1 || format.pageBreakPolicy() != QTextFormat::PageBreak_Auto ||
        format.background().style() != Qt::NoBrush ||
        format.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth))
        return false;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.charFormat().objectType() != QTextFormat::NoObject ||
            fragment.text().contains(QChar::ObjectReplacementCharacter))
            return false;
    }
    return true;
}

ChatLogLayout::Frame ChatLogLayout::measureFrame() const {
    const QTextFrameFormat format = document()->rootFrame()->frameFormat();
    const int border = roundFix(fix(scaleToDevice(format.border())));
    const int padding = roundFix(fix(scaleToDevice(format.padding())));
    Frame f;
    f.leftMargin = roundFix(fix(scaleToDevice(format.leftMargin())));
    f.rightMargin = roundFix(fix(scaleToDevice(format.rightMargin())));
    f.top = roundFix(fix(scaleToDevice(format.topMargin()))) + border + padding;
    f.bottom = roundFix(fix(scaleToDevice(format.bottomMargin()))) + border + padding;
    f.left = f.leftMargin + border + padding;
    f.right = f.rightMargin + border + padding;
    const int width = fix(format.width().value(qMax(qreal(0), document()->pageSize().width())));
    f.contentsWidth = width - 2 * (border + padding) - f.leftMargin - f.rightMargin;
    return f;
}

void ChatLogLayout::layoutBlock(const QTextBlock& block, int y, const Frame& f, Row* row) {
    ++laidOut;
    const QTextDocument* doc = document();
    QTextLayout* layout = block.layout();
    const QTextBlockFormat format = block.blockFormat();
    const Qt::LayoutDirection direction = block.textDirection();
    const QTextOption defaults = doc->defaultTextOption();

    int extraMargin = 0;
    if (defaults.flags() & QTextOption::AddSpaceForLineAndParagraphSeparators)
        extraMargin =
            fix(QFontMetricsF(block.charFormat().font()).horizontalAdvance(QChar(0x21B5)));
    const int leftMargin = direction == Qt::RightToLeft ? extraMargin : 0;
    const int rightMargin = direction == Qt::RightToLeft ? 0 : extraMargin;

    layout->setPosition(QPointF(real(f.left), real(y)));
    QTextOption option = defaults;
    option.setTextDirection(direction);
    option.setTabs(format.tabPositions());
    const Qt::Alignment align =
        format.hasProperty(QTextFormat::BlockAlignment) ? format.alignment() : defaults.alignment();
    option.setAlignment(visualAlignment(direction, align));
    if (format.nonBreakableLines() || doc->pageSize().width() < 0)
        option.setWrapMode(QTextOption::ManualWrap);
    layout->setTextOption(option);
    const bool wordOrAnywhere = option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere;

    const QPaintDevice* device = paintDevice();
    const int dpi = defaultDpi();
    const qreal scaling =
        device && device->logicalDpiY() != dpi ? qreal(device->logicalDpiY()) / dpi : 1;
    const int left = f.left + leftMargin;
    const int width = f.left + f.contentsWidth - rightMargin - left;
    const int top = y;
    int bottom = 0;

    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(real(width));
        // A word wider than the line: broken anywhere, then the line as wide as it needs.
        if (fix(line.naturalTextWidth()) > width) {
            line.setLineWidth(real(width));
            if (fix(line.naturalTextWidth()) > width) {
                if (wordOrAnywhere) {
                    option.setWrapMode(QTextOption::WrapAnywhere);
                    layout->setTextOption(option);
                }
                line.setLineWidth(qMax<qreal>(line.naturalTextWidth(), real(width)));
                if (wordOrAnywhere) {
                    option.setWrapMode(QTextOption::WordWrap);
                    layout->setTextOption(option);
                }
            }
        }

        const qreal raw = qCeil(line.ascent() + line.descent() + line.leading());
        const int lineHeight = fixLength(format.lineHeight(raw, scaling));
        const int lineBottom = fixLength(format.lineHeight(line.height(), scaling));
        int adjustment = 0;
        if (format.lineHeightType() == QTextBlockFormat::FixedHeight)
            adjustment = fix(line.ascent() + qMax(line.leading(), qreal(0))) - lineHeight * 4 / 5;
        else if (format.lineHeightType() == QTextBlockFormat::MinimumHeight)
            adjustment = fix(line.height()) - lineHeight;

        line.setPosition(QPointF(real(left - f.left), real(y - top - adjustment)));
        bottom = fixSum(y, lineBottom);
        y = fixSum(y, lineHeight);
        row->width = qMax(row->width, fix(line.x() + line.naturalTextWidth()) + rightMargin);
    }
    layout->endLayout();
    row->advance = fixSum(qMax(y, bottom), -top);
}

void ChatLogLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
    Q_UNUSED(charsRemoved)
    QTextDocument* doc = document();
    if (doc->pageSize().isNull()) {
        // Nothing is laid out without a page: the lines the change touched go, as with the
        // stock layout, and everything is laid out once there is a page.
        QTextBlock block = doc->findBlock(from);
        QTextBlock end = doc->findBlock(qMax(0, from + charsAdded - 1));
        if (end.isValid())
            end = end.next();
        for (; block.isValid() && block != end; block = block.next())
            block.clearLayout();
        rows.clear();
        return;
    }
    if (!frameFits())
        giveUp();

    const Frame f = measureFrame();
    const int count = doc->blockCount();
    // The blocks the change reaches, as the stock layout counts them: from the one holding
    // `from` to the one holding its end; the old blocks they replace are as many fewer as
    // the document has blocks fewer, the rest of the document is the same blocks as before.
    QTextBlock firstBlock = doc->findBlock(from);
    if (!firstBlock.isValid())
        firstBlock = doc->lastBlock();
    QTextBlock lastBlock = doc->findBlock(from + charsAdded);
    if (!lastBlock.isValid())
        lastBlock = doc->lastBlock();
    const int first = firstBlock.blockNumber();
    const int last = lastBlock.blockNumber();
    const int oldLast = last - (count - rows.size());
    const bool full = rows.isEmpty() || f.top != frame.top || f.bottom != frame.bottom ||
                      f.left != frame.left || f.right != frame.right ||
                      f.contentsWidth != frame.contentsWidth || first > oldLast ||
                      oldLast >= rows.size();
    frame = f;

    QVector<Row> fresh;
    bool keptFirst = false;
    int movedBy = 0; // pixels
    fresh.reserve(full ? count : last - first + 1);
    int y = full ? f.top : rows.at(first).top;
    qreal changedTop = full ? 0 : real(y);
    QTextBlock block = full ? doc->begin() : firstBlock;
    const int stop = full ? count - 1 : last;
    for (int n = full ? 0 : first; n <= stop; ++n, block = block.next()) {
        QTextLayout* layout = block.layout();
        Row row{layout, y, 0, 0, block.length(), block.blockFormatIndex(), block.charFormatIndex()};
        // A block that lost what came before it and nothing of its own (the oldest lines
        // trimmed off the top) keeps its lines: the stock layout would break it the same way.
        if (!full && charsAdded == 0 && n == first && block.position() == from) {
            const Row& old = rows.at(oldLast);
            if (old.layout == layout && old.length == row.length &&
                old.blockFormat == row.blockFormat && old.charFormat == row.charFormat &&
                layout->lineCount() > 0) {
                row.advance = old.advance;
                row.width = old.width;
                layout->setPosition(QPointF(real(f.left), real(y)));
                fresh.append(row);
                y = fixSum(y, row.advance);
                keptFirst = true;
                continue;
            }
        }
        block.clearLayout();
        if (!blockFits(block))
            giveUp();
        if (block.isVisible())
            layoutBlock(block, y, f, &row);
        fresh.append(row);
        y = fixSum(y, row.advance);
    }
    if (full) {
        rows.swap(fresh);
    } else {
        const int shift = fixSum(y, -(oldLast + 1 < rows.size() ? rows.at(oldLast + 1).top : y));
        // Only moved, all of it: the oldest lines removed from the top, the block now first
        // kept its lines, and every block moved up as far as it did.
        if (keptFirst && first == 0 && fresh.size() == 1) {
            const int moved = rows.at(oldLast).top - fresh.constFirst().top;
            if (moved > 0 && moved % 64 == 0)
                movedBy = moved / 64;
        }
        rows.erase(rows.begin() + first, rows.begin() + oldLast + 1);
        rows.insert(first, fresh.size(), Row());
        std::copy(fresh.cbegin(), fresh.cend(), rows.begin() + first);
        // The blocks after the change move as a whole, by whole fixed-point steps.
        if (shift != 0) {
            block = lastBlock.next();
            for (int n = last + 1; n < rows.size(); ++n, block = block.next()) {
                rows[n].top = fixSum(rows.at(n).top, shift);
                block.layout()->setPosition(QPointF(real(f.left), real(rows.at(n).top)));
            }
        }
        y = rows.isEmpty() ? f.top : fixSum(rows.constLast().top, rows.constLast().advance);
    }
    int widest = 0;
    for (const Row& row : qAsConst(rows))
        widest = qMax(widest, row.width);

    const int actualWidth = qMax(f.contentsWidth, widest);
    const QSizeF newSize(real(fixSum(actualWidth, f.left + f.right)), real(fixSum(y, f.bottom)));
    // Everything from the first block that changed may look different.
    const bool followed = movedBy != 0 && onMove && onMove(movedBy);
    if (newSize != size) {
        size = newSize;
        emit documentSizeChanged(size);
    }
    if (!followed)
        emit update(QRectF(0, changedTop, qreal(INT_MAX), qreal(INT_MAX)));
}

void ChatLogLayout::draw(QPainter* painter, const PaintContext& context) {
    const QTextDocument* doc = document();
    if (rows.isEmpty())
        return;
    // The clip the lines are culled with: the frame between its side margins.
    const QRectF frameClip(real(frame.leftMargin), 0,
                           size.width() - real(frame.leftMargin + frame.rightMargin),
                           size.height());
    const QRectF lineClip = context.clip.isValid() ? (context.clip & frameClip) : frameClip;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        const QRectF box = layout->boundingRect().translated(layout->position());
        if (!block.isVisible() || (context.clip.isValid() && (box.bottom() < context.clip.y() ||
                                                              box.top() > context.clip.bottom())))
            continue;

        QVector<QTextLayout::FormatRange> selections;
        const int start = block.position();
        const int length = block.length();
        for (const Selection& range : context.selections) {
            const int from = range.cursor.selectionStart() - start;
            const int to = range.cursor.selectionEnd() - start;
            if (from < length && to > 0 && to > from) {
                selections.append({from, to - from, range.format});
            } else if (!range.cursor.hasSelection() &&
                       range.format.hasProperty(QTextFormat::FullWidthSelection) &&
                       block.contains(range.cursor.position())) {
                const QTextLine line = layout->lineForTextPosition(range.cursor.position() - start);
                QTextLayout::FormatRange whole{line.textStart(), line.textLength(), range.format};
                if (whole.start + whole.length == length - 1)
                    ++whole.length; // the newline too
                selections.append(whole);
            }
        }

        const QPen pen = painter->pen();
        painter->setPen(context.palette.color(QPalette::Text));
        layout->draw(painter, QPointF(), selections, lineClip);
        if ((context.cursorPosition >= start && context.cursorPosition < start + length) ||
            (context.cursorPosition < -1 && !layout->preeditAreaText().isEmpty())) {
            int position = context.cursorPosition;
            if (position < -1)
                position = layout->preeditAreaPosition() - (position + 2);
            else
                position -= start;
            layout->drawCursor(painter, QPointF(), position, cursor);
        }
        painter->setPen(pen);
    }
}

int ChatLogLayout::hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const {
    const QTextDocument* doc = document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        const QRectF box = layout->boundingRect().translated(layout->position());
        if (!block.isVisible() || (point.y() >= box.bottom() && block.next().isValid()))
            continue;
        const QPointF inside = point - layout->position();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (inside.y() >= line.y() + line.height() && i + 1 < layout->lineCount())
                continue;
            if (accuracy == Qt::ExactHit &&
                (!box.contains(point) || !line.naturalTextRect().contains(inside)))
                return -1;
            return block.position() + line.xToCursor(inside.x());
        }
        return accuracy == Qt::ExactHit ? -1 : block.position();
    }
    return accuracy == Qt::ExactHit ? -1 : qMax(0, doc->characterCount() - 1);
}

int ChatLogLayout::pageCount() const {
    return 1;
}

QSizeF ChatLogLayout::documentSize() const {
    return size;
}

QRectF ChatLogLayout::frameBoundingRect(QTextFrame* frame) const {
    if (document()->pageSize().isNull() || frame != document()->rootFrame())
        return QRectF();
    return QRectF(QPointF(), size);
}

QRectF ChatLogLayout::blockBoundingRect(const QTextBlock& block) const {
    if (document()->pageSize().isNull() || !block.isValid() || !block.isVisible())
        return QRectF();
    const QTextLayout* layout = block.layout();
    QRectF rect = layout->boundingRect();
    rect.moveTopLeft(layout->position());
    return rect;
}
