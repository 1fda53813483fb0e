#pragma once

#include "ui/BlockImage.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QTextEdit>

class QTextDocument;

// The chat log's text edit. It repaints often, each time every visible line, while lines
// rarely change once written: it paints each block from an image drawn once, and falls back
// to the text edit's own painting whenever it cannot prove the pixels would be the same
// (a selection, a cursor, a block drawn with more than coloured text, ink crossing into a
// neighbour's rows, a backdrop that is not one colour, a device it cannot read...).
class ChatLogView : public QTextEdit {
    Q_OBJECT

public:
    explicit ChatLogView(QWidget* parent = nullptr);

    // Off, every paint is the text edit's own: the reference the images are checked against.
    void setBlockImagesEnabled(bool on);
    bool blockImagesEnabled() const { return imagesEnabled; }
    // Paints served from block images so far.
    int imagePaints() const { return paintsFromImages; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool paintFromImages(QPaintEvent* event);
    void watchDocument();
    void forgetBlocks(int from, int removed, int added);
    // Bumps the generation of the images when what every block's drawing depends on changed.
    void checkSurroundings(int width, QImage::Format format);

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
