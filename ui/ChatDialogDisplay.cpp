#include "ui/ChatDialog.h"
#include "ui/ChatLogWriter.h"

#include <QFont>
#include <QPushButton>
#include <QTextEdit>

void CChatDialog::ReceiveMessage(MsgsInfo msgsInfo, int nOnlineCount) {
    Q_UNUSED(nOnlineCount) // the title bar hears the count through ReceiveOnlineCount

    if (!logWriter)
        logWriter = new ChatLogWriter(chatLog);
    const ChatLogWriter::Style style{
        QFont(fontFamily, fontSize, boldButton->isChecked() ? QFont::Bold : QFont::Normal, false),
        lineHeight};
    // Records from the worker come through its queued signal, often many in one pass of the
    // event loop: they are written together, once per frame at most. A direct call (no
    // sender) is written before it returns.
    if (sender())
        logWriter->queue(std::move(msgsInfo), style);
    else
        logWriter->writeNow(std::move(msgsInfo), style);
}
