#include "ui/BlockImage.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTextBlock>
#include <QTextLayout>

#include <cstring>

namespace {

// A 4K screen's worth of 32-bit pixels.
constexpr qint64 kMaxImageBytes = qint64(3840) * 2160 * 4;

// Whether the text edit draws the block with nothing but its lines: no list bullet, block
// background, ruler, inline object or text in the palette's colour.
bool plainColouredText(const QTextBlock& block) {
    const QTextLayout* layout = block.layout();
    if (!block.isVisible() || layout->lineCount() == 0 || !layout->formats().isEmpty() ||
        !layout->preeditAreaText().isEmpty())
        return false;
    const QTextBlockFormat format = block.blockFormat();
    if (format.background().style() != Qt::NoBrush || format.objectIndex() != -1 ||
        format.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth))
        return false;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat chars = fragment.charFormat();
        if (chars.foreground().style() == Qt::NoBrush ||
            chars.objectType() != QTextFormat::NoObject ||
            fragment.text().contains(QChar::ObjectReplacementCharacter))
            return false;
    }
    return true;
}

// The rectangle the glyphs of `line` can cover, in layout coordinates, with the line itself
// (backgrounds and decorations stay within it); null for a line without glyphs.
QRectF inkOf(const QTextLine& line) {
    QRectF ink;
    for (const QGlyphRun& run : line.glyphRuns()) {
        const QRawFont font = run.rawFont();
        const QVector<quint32> glyphs = run.glyphIndexes();
        const QVector<QPointF> positions = run.positions();
        for (int i = 0; i < glyphs.size(); ++i)
            ink |= font.boundingRect(glyphs.at(i)).translated(positions.at(i));
    }
    if (!ink.isNull())
        ink |= line.rect();
    return ink;
}

} // namespace

// Whether every pixel of `rect` (device coordinates, inside the image) is `pixel`; compared
// a row at a time against a row of that pixel, which memcmp does many pixels per step.
bool uniformPixels(const QImage& image, const QRect& rect, uint pixel) {
    if (rect.isEmpty())
        return true;
    static QVector<uint> reference;
    if (reference.size() < rect.width() || reference.constFirst() != pixel)
        reference.fill(pixel, qMax(rect.width(), image.width()));
    const size_t bytes = static_cast<size_t>(rect.width()) * sizeof(uint);
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const uint* row = reinterpret_cast<const uint*>(image.constScanLine(y)) + rect.left();
        if (std::memcmp(row, reference.constData(), bytes) != 0)
            return false;
    }
    return true;
}

BlockImage* BlockImage::render(const QTextBlock& block, int width, const Key& key) {
    auto* made = new BlockImage;
    const QTextLayout* layout = block.layout();
    const QPointF position = layout->position();
    made->key = key;
    made->width = width;
    made->fraction = position.y() - qFloor(position.y());
    made->x = position.x();
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        made->lines.append({line.rect(), line.textStart(), line.textLength()});
    }
    if (!plainColouredText(block))
        return made;

    int top = INT_MAX;
    int bottom = INT_MIN;
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QRectF ink = inkOf(layout->lineAt(i));
        if (ink.isNull()) {
            made->lineInk.append({0, 0});
            continue;
        }
        const int from = qFloor(made->fraction + ink.top());
        const int to = qCeil(made->fraction + ink.bottom());
        made->lineInk.append({from, to});
        top = qMin(top, from);
        bottom = qMax(bottom, to);
    }
    if (top >= bottom) { // nothing drawn
        made->canUse = true;
        return made;
    }

    // A block taller than a few screens (a huge font, a very long line) is painted the usual
    // way: its image would cost more memory than drawing it saves time, and can fail to be
    // allocated at all.
    const qint64 rows = qint64(bottom) - top + 2 * kPad;
    if (width <= 0 || rows * width * 4 > kMaxImageBytes)
        return made;
    QImage image(width, int(rows), key.format);
    if (image.isNull())
        return made;
    image.fill(key.background);
    // Some formats force bits of a pixel (RGB32 its alpha): it must be the backdrop's exactly.
    if (*reinterpret_cast<const uint*>(image.constScanLine(0)) != key.background)
        return made;
    {
        QPainter painter(&image);
        // The same calls as the text edit's, at the same position up to whole pixels.
        painter.translate(0, kPad - top - qFloor(position.y()));
        for (int i = 0; i < layout->lineCount(); ++i)
            layout->lineAt(i).draw(&painter, position);
    }
    if (!uniformPixels(image, QRect(0, 0, width, kPad), key.background) ||
        !uniformPixels(image, QRect(0, image.height() - kPad, width, kPad), key.background))
        return made;
    made->image = image;
    made->inkTop = top;
    made->inkBottom = bottom;
    made->canUse = true;
    return made;
}

bool BlockImage::matches(const QTextBlock& block, int width, const Key& key) const {
    const QTextLayout* layout = block.layout();
    const QPointF position = layout->position();
    if (!(key == this->key) || width != this->width || position.x() != x ||
        position.y() - qFloor(position.y()) != fraction || layout->lineCount() != lines.size())
        return false;
    for (int i = 0; i < lines.size(); ++i) {
        const QTextLine line = layout->lineAt(i);
        if (!(lines.at(i) == Line{line.rect(), line.textStart(), line.textLength()}))
            return false;
    }
    return true;
}
