#include "ui/ChatDialog.h"
#include "ui/MessageLine.h"

#include <QPushButton>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>

void CChatDialog::ReceiveMessage(MsgsInfo msgsInfo, int nOnlineCount) {
    Q_UNUSED(nOnlineCount) // the title bar hears the count through ReceiveOnlineCount

    QFont font(fontFamily, fontSize, boldButton->isChecked() ? QFont::Bold : QFont::Normal, false);
    chatLog->moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);

    QTextCharFormat format;
    format.setFont(font);
    for (const LinePiece& piece : composeMessageLine(msgsInfo)) {
        format.setForeground(QBrush(piece.color));
        chatLog->setCurrentCharFormat(format);
        // Plain text only: a name or message that looks like markup must show as typed.
        chatLog->insertPlainText(piece.text);
    }
    ApplyLineHeight();
}

void CChatDialog::ApplyLineHeight() {
    QTextCursor cursor = chatLog->textCursor();
    cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor);
    QTextBlockFormat blockFormat;
    blockFormat.setLineHeight(lineHeight, QTextBlockFormat::LineDistanceHeight);
    cursor.setBlockFormat(blockFormat);
    chatLog->setTextCursor(cursor);
}
