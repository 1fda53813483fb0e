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

private:
    bool paintFromImages(QPaintEvent* event);
    void watchDocument();
    void forgetBlocks(int from, int removed, int added);
    // Bumps the generation of the images when what every block's drawing depends on changed.
    void checkSurroundings(int width, QImage::Format format);
    // Puts our layout on the document, or the stock one back, keeping the view where it was.
    void useOwnLayout(bool own);

    bool imagesEnabled = true;
    int paintsFromImages = 0;
    int generation = 0;
    QPointer<QTextDocument> watched;
    int lastWidth = -1;
    QImage::Format lastFormat = QImage::Format_Invalid;
    QFont lastFont;
    QTextOption lastOption;
    bool lastDesignMetrics = false;
};
