#pragma once

#include "ui/BlockImage.h"
#include "ui/ChatLogLayout.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QTextEdit>

class QTextDocument;

// The chat log's text edit. Each new line used to cost a walk over every block, twice, and a
// repaint of every visible line, while lines rarely change once written: its document is laid
// out by ChatLogLayout (a block broken into lines once, the others moved), and it paints each
// block from an image drawn once. Either falls back to the text edit's own whenever it cannot
// prove the pixels would be the same (a document the layout does not reproduce; for the
// images a selection, a cursor, a block drawn with more than coloured text, ink crossing into
// a neighbour's rows, a backdrop that is not one colour, a device it cannot read...).
class ChatLogView : public QTextEdit {
    Q_OBJECT

public:
    explicit ChatLogView(QWidget* parent = nullptr);

    // Off, the layout and every paint are the text edit's own: the reference the others are
    // checked against.
    void setBlockImagesEnabled(bool on);
    bool blockImagesEnabled() const { return imagesEnabled; }
    // Paints served from block images so far.
    int imagePaints() const { return paintsFromImages; }
    // The document's layout when it is ours, else null (the stock one is in use).
    ChatLogLayout* ownLayout() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool paintFromImages(QPaintEvent* event);
    void watchDocument();
    void forgetBlocks(int from, int removed, int added);
    // Bumps the generation of the images when what every block's drawing depends on changed.
    void checkSurroundings(int width, QImage::Format format);
    // Puts our layout on the document, or the stock one back, keeping the view where it was.
    void useOwnLayout(bool own);
    // The view follows the blocks when all of them moved up by `pixels`: what it shows stays
    // where it is on screen, so nothing is drawn again.
    bool followMove(int pixels);
    // The viewport paints a styled background of its own. When it covers every pixel with one
    // opaque colour, whatever is beneath never shows: the viewport is then marked opaque, so
    // that scrolling copies pixels and the widgets beneath are not painted first, and paints
    // that background itself, exactly as it would have been painted for it.
    void checkBackdrop();
    void quietScrollBars();
    void drawBackdrop(QPainter* painter, const QRegion& region) const;

    bool imagesEnabled = true;
    bool following = false;
    bool backdropChecked = false;
    bool scrollBarsQuiet = false;
    QRgb backdrop = 0; // what the text edit paints beneath the viewport, when it covers it
    int paintsFromImages = 0;
    int generation = 0;
    QPointer<QTextDocument> watched;
    int lastWidth = -1;
    QImage::Format lastFormat = QImage::Format_Invalid;
    QFont lastFont;
    QTextOption lastOption;
    bool lastDesignMetrics = false;
};
