#include "ui/ChatLogView.h"

#include "client/PerfTrace.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>

#include <cmath>

namespace {

// QTextLayout compares lines with a clip in 26.6 fixed point, truncating.
int fixed(qreal value) {
    return static_cast<int>(value * 64);
}

bool sameOption(const QTextOption& a, const QTextOption& b) {
    return a.wrapMode() == b.wrapMode() && a.flags() == b.flags() &&
           a.alignment() == b.alignment() && a.textDirection() == b.textDirection() &&
           a.tabStopDistance() == b.tabStopDistance() && a.tabs() == b.tabs();
}

// The resolution the document layout scales lengths to, over the default one.
qreal deviceScale(const QPaintDevice* device) {
    if (!device)
        return 1;
    int standard = 100;
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        standard = 96;
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        standard = qRound(screen->logicalDotsPerInchY());
    return qreal(device->logicalDpiY()) / standard;
}

// One block to be painted from its image, at `top` in viewport rows.
struct Blit {
    const BlockImage* image;
    int top;
};

} // namespace

ChatLogView::ChatLogView(QWidget* parent) : QTextEdit(parent) {
    watchDocument();
}

void ChatLogView::setBlockImagesEnabled(bool on) {
    imagesEnabled = on;
    useOwnLayout(on);
    checkBackdrop();
    viewport()->update();
}

ChatLogLayout* ChatLogView::ownLayout() const {
    return qobject_cast<ChatLogLayout*>(document()->documentLayout());
}

void ChatLogView::useOwnLayout(bool own) {
    QTextDocument* doc = document();
    if (own == (ownLayout() != nullptr))
        return;
    QScrollBar* bar = verticalScrollBar();
    const int value = bar->value();
    const bool atEnd = value == bar->maximum();
    if (own) {
        auto* layout = new ChatLogLayout(doc);
        layout->setMoveHandler([this](int pixels) { return followMove(pixels); });
        // Queued: the layout finds out in the middle of its own work.
        connect(
            layout, &ChatLogLayout::outgrown, this, [this] { useOwnLayout(false); },
            Qt::QueuedConnection);
        doc->setDocumentLayout(layout);
    } else {
        doc->setDocumentLayout(nullptr); // the document makes a stock one when asked
    }
    // The stock layout works in steps after a full change: finished now, and the scroll
    // range made to fit, so that the view shows what it showed.
    doc->documentLayout()->documentSize();
    QResizeEvent same(viewport()->size(), viewport()->size());
    QCoreApplication::sendEvent(viewport(), &same);
    bar->setValue(atEnd ? bar->maximum() : value);
    ++generation;
}

bool ChatLogView::followMove(int pixels) {
    QScrollBar* bar = verticalScrollBar();
    if (bar->value() < pixels || bar->minimum() != 0)
        return false; // some of what went was in view
    following = true;
    bar->setValue(bar->value() - pixels);
    following = false;
    return true;
}

void ChatLogView::scrollContentsBy(int dx, int dy) {
    // When following moved blocks the pixels on screen are already right.
    if (!following)
        QTextEdit::scrollContentsBy(dx, dy);
}

void ChatLogView::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    checkBackdrop();
}

void ChatLogView::drawBackdrop(QPainter* painter, const QRegion& region) const {
    QWidget* port = viewport();
    QStyleOption option;
    option.initFrom(port);
    painter->save();
    painter->setClipRegion(region);
    port->style()->drawPrimitive(QStyle::PE_Widget, &option, painter, port);
    painter->restore();
}

namespace {

// What `widget` alone paints over `area` (in its own coordinates), on a backdrop of `under`.
QImage paintedAlone(QWidget* widget, const QRect& area, uint under) {
    QImage scratch(area.size(), QImage::Format_ARGB32_Premultiplied);
    scratch.fill(under);
    widget->render(&scratch, QPoint(), QRegion(area),
                   widget->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    return scratch;
}

// Whether a sibling painted before `widget` can show in `area` (in the parent's coordinates).
bool coveredFromBelow(const QWidget* widget, const QRect& area) {
    const QWidget* parent = widget->parentWidget();
    for (const QObject* object : parent->children()) {
        if (object == widget)
            return false;
        const auto* sibling = qobject_cast<const QWidget*>(object);
        if (sibling && !sibling->isWindow() && sibling->isVisible() &&
            sibling->geometry().intersects(area))
            return true;
    }
    return false;
}

// A graphics effect on an ancestor draws that ancestor's whole tree through itself; a child
// marked opaque would be painted straight into the window, past the effect.
bool underGraphicsEffect(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget())
        if (widget->graphicsEffect())
            return true;
    return false;
}

} // namespace

void ChatLogView::checkBackdrop() {
    backdropChecked = true;
    QWidget* port = viewport();
    bool covers = imagesEnabled && !port->autoFillBackground() && !port->size().isEmpty() &&
                  port->devicePixelRatioF() == 1 && port->isVisible() && !underGraphicsEffect(port);
    // Up from the viewport, each widget beneath it painted alone over two different
    // backgrounds: one that leaves both as they were paints nothing there; the first that
    // turns both into the same single opaque colour hides everything further down.
    uint colour = 0;
    bool found = false;
    for (QWidget* widget = port; covers && !found && !widget->isWindow();) {
        QWidget* parent = widget->parentWidget();
        const QRect area(port->mapTo(parent, QPoint()), port->size());
        if (coveredFromBelow(widget, area)) {
            covers = false;
            break;
        }
        const QImage clear = paintedAlone(parent, area, 0u);
        const QImage magenta = paintedAlone(parent, area, 0xffff00ffu);
        const uint pixel = *reinterpret_cast<const uint*>(clear.constScanLine(0));
        if (uniformPixels(clear, clear.rect(), 0u) &&
            uniformPixels(magenta, magenta.rect(), 0xffff00ffu)) {
            widget = parent; // nothing painted here
        } else if (qAlpha(pixel) == 255 && uniformPixels(clear, clear.rect(), pixel) &&
                   uniformPixels(magenta, magenta.rect(), pixel)) {
            colour = pixel;
            found = true;
        } else {
            covers = false;
        }
    }
    covers = covers && found;
    // The viewport's own styled background goes over that colour, and must leave one colour.
    if (covers) {
        QImage scratch(port->size(), QImage::Format_ARGB32_Premultiplied);
        scratch.fill(colour);
        {
            QPainter painter(&scratch);
            drawBackdrop(&painter, QRegion(scratch.rect()));
        }
        covers = uniformPixels(scratch, scratch.rect(), colour);
    }
    backdrop = colour;
    if (covers != port->testAttribute(Qt::WA_OpaquePaintEvent)) {
        port->setAttribute(Qt::WA_OpaquePaintEvent, covers);
        port->update();
    }
}

void ChatLogView::showEvent(QShowEvent* event) {
    QTextEdit::showEvent(event);
    checkBackdrop();
}

void ChatLogView::moveEvent(QMoveEvent* event) {
    QTextEdit::moveEvent(event);
    checkBackdrop();
}

void ChatLogView::watchDocument() {
    if (watched == document())
        return;
    if (watched)
        disconnect(watched, nullptr, this, nullptr);
    watched = document();
    connect(watched, &QTextDocument::contentsChange, this, &ChatLogView::forgetBlocks);
    ++generation;
    useOwnLayout(imagesEnabled);
}

void ChatLogView::forgetBlocks(int from, int removed, int added) {
    Q_UNUSED(removed)
    QTextBlock block = document()->findBlock(from);
    const QTextBlock last = document()->findBlock(from + added);
    for (; block.isValid(); block = block.next()) {
        if (dynamic_cast<BlockImage*>(block.userData()))
            block.setUserData(nullptr);
        if (block == last)
            break;
    }
}

void ChatLogView::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::LayoutDirectionChange:
        ++generation;
        backdropChecked = false;
        break;
    default:
        break;
    }
    QTextEdit::changeEvent(event);
    if (!backdropChecked)
        checkBackdrop();
}

void ChatLogView::checkSurroundings(int width, QImage::Format format) {
    const QTextDocument* doc = document();
    if (width != lastWidth || format != lastFormat || doc->defaultFont() != lastFont ||
        !sameOption(doc->defaultTextOption(), lastOption) ||
        doc->useDesignMetrics() != lastDesignMetrics) {
        lastWidth = width;
        lastFormat = format;
        lastFont = doc->defaultFont();
        lastOption = doc->defaultTextOption();
        lastDesignMetrics = doc->useDesignMetrics();
        ++generation;
    }
}

void ChatLogView::quietScrollBars() {
    // Every new line changes the scroll range, and on each change the scroll area lays out
    // its scroll bars again in a queued call, only to keep them hidden: with both always off
    // there is nothing to show or hide. (A private slot, reached by name.)
    const bool off = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff &&
                     horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
    if (off == scrollBarsQuiet)
        return;
    scrollBarsQuiet = off;
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        if (off)
            disconnect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(_q_showOrHideScrollBars()));
        else
            connect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(_q_showOrHideScrollBars()),
                    Qt::QueuedConnection);
    }
}

void ChatLogView::paintEvent(QPaintEvent* event) {
    quietScrollBars();
    // Marked opaque, nothing was painted beneath: the background is ours to paint.
    if (viewport()->testAttribute(Qt::WA_OpaquePaintEvent)) {
        QPainter painter(viewport());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& rect : event->region())
            painter.fillRect(rect, QColor::fromRgba(backdrop));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        drawBackdrop(&painter, event->region());
    }
    if (!backdropChecked)
        checkBackdrop();
    watchDocument();
    // Columns of a fixed width are the stock layout's own setting, which ours does not know.
    if (const ChatLogLayout* layout = ownLayout();
        layout && (!layout->fits() || lineWrapMode() == FixedColumnWidth))
        useOwnLayout(false);
    if (!imagesEnabled || !paintFromImages(event))
        QTextEdit::paintEvent(event);
    else
        ++paintsFromImages;
    perftrace::note("paint");
}

bool ChatLogView::paintFromImages(QPaintEvent* event) {
    watchDocument();
    QTextDocument* doc = document();
    QAbstractTextDocumentLayout* docLayout = doc->documentLayout();
    // What the text edit would draw besides the blocks, or draw differently.
    if (textCursor().hasSelection() || !extraSelections().isEmpty() ||
        (textInteractionFlags() & (Qt::TextEditable | Qt::TextSelectableByKeyboard)) ||
        (!placeholderText().isEmpty() && doc->isEmpty()) || layoutDirection() != Qt::LeftToRight ||
        horizontalScrollBar()->value() != 0 || doc->pageSize().width() <= 0 ||
        (qstrcmp(docLayout->metaObject()->className(), "QTextDocumentLayout") != 0 &&
         !qobject_cast<ChatLogLayout*>(docLayout)) ||
        viewport()->devicePixelRatioF() != 1)
        return false;
    QTextFrame* root = doc->rootFrame();
    const QTextFrameFormat rootFormat = root->frameFormat();
    if (!root->childFrames().isEmpty() || rootFormat.border() != 0 ||
        rootFormat.background().style() != Qt::NoBrush)
        return false;
    // A layout still being done in steps (after a width change) is left to the text edit.
    if (doc->lastBlock().layout()->lineCount() == 0)
        return false;

    QPainter painter(viewport());
    const QPaintEngine* engine = painter.paintEngine();
    const QTransform toDevice = painter.deviceTransform();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice() ||
        engine->paintDevice()->devType() != QInternal::Image ||
        toDevice.type() > QTransform::TxTranslate || toDevice.dx() != std::floor(toDevice.dx()) ||
        toDevice.dy() != std::floor(toDevice.dy()))
        return false;
    const QImage& device = *static_cast<const QImage*>(engine->paintDevice());
    const QImage::Format format = device.format();
    const QRegion region = event->region();
    const QPoint shift(static_cast<int>(toDevice.dx()), static_cast<int>(toDevice.dy()));
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
         format != QImage::Format_ARGB32_Premultiplied) ||
        device.devicePixelRatio() != 1 || region.isEmpty() ||
        !device.rect().contains(region.boundingRect().translated(shift)))
        return false;

    const int width = viewport()->width();
    checkSurroundings(width, format);
    const QPoint corner = region.begin()->topLeft() + shift;
    const BlockImage::Key key{
        generation, format,
        reinterpret_cast<const uint*>(device.constScanLine(corner.y()))[corner.x()]};

    // The text edit's paint context, in document coordinates.
    const int yOffset = verticalScrollBar()->value();
    const QRect bounds = event->rect();
    const QRectF clip(bounds.translated(0, yOffset));
    const int clipTop = bounds.top() + yOffset;
    const int clipBottom = bounds.bottom() + 1 + yOffset;
    const QRectF frame = docLayout->frameBoundingRect(root);
    // Whether the root frame's margins are scaled to the device or not, the clip the lines
    // are culled with (only its rows count) must come out the same.
    QRectF lineClip;
    for (const qreal scale : {qreal(1), deviceScale(docLayout->paintDevice())}) {
        const QRectF frameClip = frame.adjusted(fixed(rootFormat.leftMargin() * scale) / 64.0, 0,
                                                -fixed(rootFormat.rightMargin() * scale) / 64.0, 0);
        const QRectF candidate = clip.isValid() ? (clip & frameClip) : frameClip;
        if (scale != 1 &&
            (candidate.isValid() != lineClip.isValid() || candidate.y() != lineClip.y() ||
             candidate.height() != lineClip.height()))
            return false;
        lineClip = candidate;
    }

    QVector<Blit> blits;
    int previousBottom = INT_MIN;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (!block.isVisible())
            continue;
        const QTextLayout* layout = block.layout();
        const QPointF position = layout->position();
        const QRectF box = layout->boundingRect().translated(position);
        if (box.bottom() < clip.y() || box.top() > clip.bottom())
            continue; // not drawn by the text edit either
        // A negative top margin could let the text edit stop before a block that is in view.
        if (block.blockFormat().topMargin() < 0)
            return false;
        // A block starting at the clip's bottom may or may not be drawn: it must not matter.
        const bool drawn = box.top() < clip.bottom();

        BlockImage* image = dynamic_cast<BlockImage*>(block.userData());
        if (block.userData() && !image)
            return false; // someone else's data: not ours to replace
        if (!image || !image->matches(block, width, key)) {
            image = BlockImage::render(block, width, key);
            block.setUserData(image);
        }
        if (!image->usable())
            return false;

        // The lines QTextLayout::draw would skip for this clip must leave no ink in view.
        const int lines = layout->lineCount();
        int first = 0;
        int last = drawn ? lines : 0;
        if (drawn && lineClip.isValid()) {
            const int clipY = fixed(lineClip.y() - position.y());
            const int clipEnd = clipY + fixed(lineClip.height());
            for (int i = 0; i < lines; ++i) {
                const QTextLine line = layout->lineAt(i);
                const int y = qRound(line.y() * 64);
                if (y > clipEnd) {
                    last = i;
                    break;
                }
                if (y + qRound(line.height() * 64) < clipY)
                    first = i;
            }
        }
        for (int i = 0; i < lines; ++i) {
            if (i >= first && i < last)
                continue;
            const int inkTop = image->lineTop(i, position.y());
            const int inkBottom = image->lineBottom(i, position.y());
            if (inkTop < inkBottom && inkTop < clipBottom && inkBottom > clipTop)
                return false;
        }
        if (image->blank() || last <= first)
            continue;
        const int top = image->top(position.y());
        const int bottom = image->bottom(position.y());
        if (top < previousBottom)
            return false; // an opaque image would hide the ink of the one above
        previousBottom = bottom;
        if (bottom <= clipTop || top >= clipBottom)
            continue;
        blits.append({image, top - yOffset});
    }

    // The images were drawn over one colour: the backdrop under them must be that colour.
    for (const Blit& blit : qAsConst(blits)) {
        const QRect rows(0, blit.top, width, blit.image->source().height());
        for (const QRect& part : region) {
            const QRect under = (part & rows).translated(shift);
            if (!under.isEmpty() && !uniformPixels(device, under, key.background))
                return false;
        }
    }

    // Copied as they are: the backdrop is already in them.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const Blit& blit : qAsConst(blits))
        painter.drawImage(QPoint(0, blit.top), blit.image->pixels(), blit.image->source());
    return true;
}
