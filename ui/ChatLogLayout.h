#pragma once

#include <QAbstractTextDocumentLayout>
#include <QSizeF>
#include <QVector>

#include <functional>

class QTextBlock;
class QTextLayout;

// The chat log's document layout. The stock layout moves every block on every edit (each
// appended line, and again for the oldest line trimmed from the top), looking up formats all
// the way; here each block is broken into lines once, by the same steps and in the same
// 26.6 fixed-point arithmetic, and the others only move by whole fixed-point steps, so that
// every block ends up exactly where the stock layout would put it.
//
// It reproduces the stock layout only for a document of plain blocks in the root frame
// (coloured text, line heights, alignment, no margins, indents, lists, rulers, backgrounds,
// inline objects, child frames or pages). Anything else makes it give up: fits() turns false,
// for good, and outgrown() is emitted once, so that the owner puts the stock layout back.
class ChatLogLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
    Q_PROPERTY(int cursorWidth READ cursorWidth WRITE setCursorWidth)

public:
    explicit ChatLogLayout(QTextDocument* document);

    void draw(QPainter* painter, const PaintContext& context) override;
    int hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override;
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame* frame) const override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

    int cursorWidth() const { return cursor; }
    void setCursorWidth(int width) { cursor = width; }

    // Whether the document is still one this layout lays out as the stock one would.
    bool fits() const { return fitting; }
    // Blocks broken into lines since the start (for tests and benchmarks).
    int blocksLaidOut() const { return laidOut; }

    // Called when an edit only moved every block up by the same whole number of pixels (the
    // oldest lines trimmed off the top): true when the view followed them, so that nothing
    // needs drawing again; else everything is reported for update as usual.
    void setMoveHandler(std::function<bool(int)> handler) { onMove = std::move(handler); }

signals:
    void outgrown();

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    // One block as laid out, in block order; lengths in 26.6 fixed point.
    struct Row {
        const QTextLayout* layout = nullptr;
        int top = 0;     // its layout's position
        int advance = 0; // from its top to the next block's
        int width = 0;   // the widest line's right end, its right margin included
        int length = 0;  // what it was laid out from
        int blockFormat = -1;
        int charFormat = -1;
    };
    struct Frame {
        int top = 0, bottom = 0, left = 0, right = 0; // margins plus border and padding
        int leftMargin = 0, rightMargin = 0;          // the margins alone (the paint clip)
        int contentsWidth = 0;
    };

    bool frameFits();
    bool blockFits(const QTextBlock& block) const;
    Frame measureFrame() const;
    void layoutBlock(const QTextBlock& block, int y, const Frame& frame, Row* row);
    void giveUp();
    qreal scaleToDevice(qreal value) const;

    QVector<Row> rows;
    std::function<bool(int)> onMove;
    Frame frame;
    QSizeF size;
    int cursor = 1;
    int laidOut = 0;
    bool fitting = true;
};
