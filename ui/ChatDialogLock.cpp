#include "ui/ChatDialog.h"

#include "platform/Platform.h"

#include <QIcon>
#include <QTextEdit>
#include <QToolButton>

void CChatDialog::onKeyboardDown(KeyboardDownFlag flag) {
    switch (flag) {
    case KeyLockToggle:
        if (isLocked)
            UnlockWindow();
        else
            LockWindow();
        break;
    case KeyAddOpacity:
        stepOpacity(+1);
        break;
    case KeySubOpacity:
        stepOpacity(-1);
        break;
    }
}

void CChatDialog::on_pushbuttonLock_clicked(bool) {
    LockWindow();
}

void CChatDialog::LockWindow() {
    chatLog->setFocus(Qt::OtherFocusReason);
    lockButton->setIcon(QIcon(QStringLiteral("images/buttons/icon_locked.png")));
    lockButton->setText(QStringLiteral("F10解锁"));
    platform::current().setClickThrough(this, true);
    isLocked = true;
    updatePointerFade();
}

void CChatDialog::UnlockWindow() {
    lockButton->setIcon(QIcon(QStringLiteral("images/buttons/icon_notLock.png")));
    lockButton->setText(QStringLiteral("F10锁定"));
    platform::current().setClickThrough(this, false);
    isLocked = false;
    updatePointerFade();
}
