#include "ui/BlockImage.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTextBlock>
#include <QTextLayout>

namespace {

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

bool rowsAre(const QImage& image, int from, int to, uint pixel) {
    for (int y = from; y < to; ++y) {
        const uint* row = reinterpret_cast<const uint*>(image.constScanLine(y));
        uint differs = 0;
        for (int x = 0; x < image.width(); ++x)
            differs |= row[x] ^ pixel;
        if (differs)
            return false;
    }
    return true;
}

} // namespace

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

    QImage image(width, bottom - top + 2 * kPad, key.format);
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
    if (!rowsAre(image, 0, kPad, key.background) ||
        !rowsAre(image, image.height() - kPad, image.height(), key.background))
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
