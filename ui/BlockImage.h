#pragma once

#include <QImage>
#include <QPair>
#include <QPointF>
#include <QRectF>
#include <QTextBlockUserData>
#include <QVector>
#include <QtMath>

class QRect;
class QTextBlock;

// Whether every pixel of `rect` (inside the 32-bit `image`) is `pixel`.
bool uniformPixels(const QImage& image, const QRect& rect, uint pixel);

// A block of the chat log drawn once, over a uniform background, as the text edit would draw
// it there: the pixels of the rows its ink can reach. Kept in the block, so that it goes when
// the block does.
class BlockImage : public QTextBlockUserData {
public:
    // What the drawing depends on besides the block's text and formats.
    struct Key {
        int generation = 0; // bumped when fonts, palette, style, width or device change
        QImage::Format format = QImage::Format_Invalid;
        uint background = 0; // the pixel the block was drawn over
        bool operator==(const Key& other) const {
            return generation == other.generation && format == other.format &&
                   background == other.background;
        }
    };

    // The block drawn at its current layout, or null when its drawing cannot be reproduced
    // from an image: decorations beyond plain coloured text, or ink that leaves the rows
    // measured for it.
    static BlockImage* render(const QTextBlock& block, int width, const Key& key);

    // Whether this image still shows `block` as laid out now (its text and formats are
    // watched by the owner; this checks where and how the layout broke it into lines).
    bool matches(const QTextBlock& block, int width, const Key& key) const;

    // Rows in document coordinates, for a layout whose top is at `layoutY`.
    int top(qreal layoutY) const { return rowOrigin(layoutY) + inkTop; }
    int bottom(qreal layoutY) const { return rowOrigin(layoutY) + inkBottom; }
    // The ink rows of line `i` (half-open), in document coordinates; empty when it has none.
    int lineTop(int i, qreal layoutY) const { return rowOrigin(layoutY) + lineInk.at(i).first; }
    int lineBottom(int i, qreal layoutY) const { return rowOrigin(layoutY) + lineInk.at(i).second; }
    // The pixels of rows [top, bottom), the padding left out.
    const QImage& pixels() const { return image; }
    QRect source() const { return QRect(0, kPad, image.width(), inkBottom - inkTop); }
    bool blank() const { return inkBottom <= inkTop; }
    // False for a block that must be painted the usual way; kept so as not to retry.
    bool usable() const { return canUse; }

private:
    // Ink is allowed this many rows beyond what the glyph boxes say, and must leave them
    // blank: a check that the boxes do bound the ink.
    static constexpr int kPad = 3;

    int rowOrigin(qreal layoutY) const { return qFloor(layoutY); }

    QImage image;
    Key key;
    int width = 0;
    qreal fraction = 0; // layout y minus its whole rows: drawn at the same sub-pixel offset
    qreal x = 0;
    struct Line {
        QRectF rect;
        int start = 0;
        int length = 0;
        bool operator==(const Line& o) const {
            return rect == o.rect && start == o.start && length == o.length;
        }
    };
    QVector<Line> lines;              // where the layout broke the block
    QVector<QPair<int, int>> lineInk; // per line, ink rows relative to the row origin
    int inkTop = 0;                   // rows of all ink, relative to the row origin
    int inkBottom = 0;
    bool canUse = false;
};
