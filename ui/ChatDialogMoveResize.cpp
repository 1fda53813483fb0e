#include "platform/Platform.h"
#include "ui/ChatDialog.h"

#include <QMouseEvent>

namespace {

platform::SystemCursor cursorFor(ResizeDirection direction) {
    switch (direction) {
    case ResizeLeft:
    case ResizeRight:
        return platform::SystemCursor::SizeWE;
    case ResizeBottom:
        return platform::SystemCursor::SizeNS;
    case ResizeBottomRight:
        return platform::SystemCursor::SizeNWSE;
    case ResizeBottomLeft:
        return platform::SystemCursor::SizeNESW;
    case ResizeNone:
        break;
    }
    return platform::SystemCursor::Arrow;
}

} // namespace

void CChatDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressOffset = event->globalPos() - frameGeometry().topLeft();
    mousePressed = true;
    event->accept();
}

void CChatDialog::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && pressOffset.y() < geometry::kTitleStripHeight) {
        if (mousePressed) {
            move(event->globalPos() - pressOffset);
            event->accept();
            return;
        }
        UpdateResizeCursor(event->pos().x(), event->pos().y());
        return;
    }
    if (mousePressed)
        ResizeToMouse(event->globalPos().x(), event->globalPos().y());
    else
        UpdateResizeCursor(event->pos().x(), event->pos().y());
}

void CChatDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && mousePressed)
        mousePressed = false;
}

void CChatDialog::enterEvent(QEvent*) {
    hoverToolbar->setGeometry(0, 22, width(), 25);
    hoverToolbar->show();
}

void CChatDialog::leaveEvent(QEvent*) {
    hoverToolbar->hide();
}

void CChatDialog::UpdateResizeCursor(int x, int y) {
    resizeDirection = geometry::resizeZoneAt(QPoint(x, y), size());
    platform::current().setCursor(this, cursorFor(resizeDirection));
}

void CChatDialog::ResizeToMouse(int mx, int my) {
    if (resizeDirection == ResizeNone)
        return;
    const QRect window(mapToGlobal(QPoint(0, 0)), mapToGlobal(QPoint(width() - 1, height() - 1)));
    setGeometry(geometry::resizedGeometry(resizeDirection, window, QPoint(mx, my)));
}
