#include "ui/ChatDialog.h"

#include "platform/Platform.h"
#include "ui/HotKeyHook.h"
#include "ui/KibLineEdit.h"
#include "ui/MoreSettingsPage.h"

#include <QIcon>
#include <QTextEdit>
#include <QToolButton>

namespace {
// How to reach the overlay where it cannot watch the keyboard itself.
const char* const kBindKeyHint =
    "无法监视键盘，窗口已解锁。请在桌面的快捷键设置中把一个键绑定到命令 "
    "kibchat --toggle-lock，用它锁定和解锁窗口。";
const char* const kNoWatcherNote = "无法监视键盘，窗口已解锁；可用托盘菜单或命令锁定";
} // namespace

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

void CChatDialog::setLocked(bool locked) {
    if (locked != isLocked)
        toggleLock();
}

void CChatDialog::toggleLock() {
    emit keyboardDown(KeyLockToggle);
}

void CChatDialog::LockWindow() {
    chatLog->setFocus(Qt::OtherFocusReason);
    lockButton->setIcon(QIcon(QStringLiteral("images/buttons/icon_locked.png")));
    lockButton->setText(lockKeyName() + QStringLiteral("解锁"));
    platform::current().setClickThrough(this, true);
    isLocked = true;
    updatePointerFade();
    emit statusChanged();
}

void CChatDialog::UnlockWindow() {
    lockButton->setIcon(QIcon(QStringLiteral("images/buttons/icon_notLock.png")));
    lockButton->setText(lockKeyName() + QStringLiteral("锁定"));
    platform::current().setClickThrough(this, false);
    isLocked = false;
    updatePointerFade();
    emit statusChanged();
}

// Watches the chord in `text` (portable text; empty is the default key). A chord that cannot be
// read or seen leaves the default key in force, and lockKeyNote says why.
void CChatDialog::watchLockKey(const QString& text) {
    platform::Platform& desktop = platform::current();
    lockKeyText = text.trimmed().isEmpty() ? platform::KeyChord().toText() : text.trimmed();
    bool readable = true;
    platform::KeyChord chosen = platform::KeyChord::fromText(lockKeyText, &readable);
    lockKeyNote.clear();
    if (!readable) {
        lockKeyNote = QStringLiteral("无法识别锁定键“%1”，仍用 F10").arg(lockKeyText);
    } else if (!desktop.canWatchKeyChord(chosen)) {
        lockKeyNote = QStringLiteral("无法监视锁定键 %1，仍用 F10").arg(chosen.toDisplayText());
        chosen = platform::KeyChord();
    }
    // One watcher serves the process; it changes only when the key does.
    if (keyboardHook && chosen != lockKey) {
        desktop.unwatchKeyChord(keyboardHook);
        keyboardHook = nullptr;
    }
    lockKey = chosen;
    if (!keyboardHook)
        keyboardHook = desktop.watchKeyChord(lockKey, &forwardHotKeyToTarget);
    if (!keyboardHook)
        lockKeyNote = QString::fromUtf8(kNoWatcherNote);
}

QString CChatDialog::lockKeyName() const {
    const QString bound = keyboardHook ? platform::current().boundKeyText(keyboardHook) : QString();
    return bound.isEmpty() ? lockKey.toDisplayText() : bound;
}

// Where the desktop binds the key itself it answers late, and may bind none: a window locked
// meanwhile is unlocked then, as it would have started without a watcher.
void CChatDialog::lockKeyWatchChanged(bool lost) {
    if (lost && keyboardHook) {
        platform::current().unwatchKeyChord(keyboardHook);
        keyboardHook = nullptr;
        lockKeyNote = QString::fromUtf8(kNoWatcherNote);
        if (isLocked)
            UnlockWindow();
    }
    showLockKey();
}

// The lock button, the room field's hint and the settings page follow the key in force.
void CChatDialog::showLockKey() {
    lockButton->setText(lockKeyName() +
                        (isLocked ? QStringLiteral("解锁") : QStringLiteral("锁定")));
    roomNameEdit->setPlaceholderText(
        (holdToInteract ? QStringLiteral("按住%1输房间名") : QStringLiteral("按%1输房间名"))
            .arg(lockKeyName()));
    morePage->setLockKey(lockKey);
    morePage->setHoldToInteract(holdToInteract);
    morePage->setKeyNote(lockKeyNote);
    lockButton->setToolTip(keyboardHook ? QString() : QString::fromUtf8(kBindKeyHint));
    emit statusChanged();
}

QString CChatDialog::startHint() const {
    // No key can be watched (Wayland): the desktop's own shortcut is the way.
    if (!keyboardHook)
        return QString::fromUtf8(kBindKeyHint);
    const QString key = lockKeyName();
    return holdToInteract
               ? QStringLiteral("按住 %1 时窗口解锁，在标题栏的房间号一栏输入房间名，回车确认。")
                     .arg(key)
               : QStringLiteral("按 %1 解锁窗口，在标题栏的房间号一栏输入房间名，回车确认；"
                                "再按 %1 锁定。")
                     .arg(key);
}
