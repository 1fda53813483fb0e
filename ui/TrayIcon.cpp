#include "ui/TrayIcon.h"

#include "ui/ChatDialog.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {
const char* const kLockedIcon = "images/buttons/icon_locked.png";
const char* const kUnlockedIcon = "images/buttons/icon_notLock.png";
} // namespace

std::unique_ptr<CTrayIcon> CTrayIcon::createIfAvailable(CChatDialog* dialog) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return nullptr;
    return std::make_unique<CTrayIcon>(dialog);
}

CTrayIcon::CTrayIcon(CChatDialog* dialog) : dialog(dialog), menu(std::make_unique<QMenu>()) {
    menu->setObjectName(QStringLiteral("trayMenu"));
    lockAction = menu->addAction(QString(), dialog, &CChatDialog::toggleLock);
    lockAction->setObjectName(QStringLiteral("trayLockAction"));
    menu->addAction(QStringLiteral("设置"), dialog, &CChatDialog::openSettings)
        ->setObjectName(QStringLiteral("traySettingsAction"));
    menu->addAction(QStringLiteral("回到默认位置"), dialog, &CChatDialog::moveToDefaultPlace)
        ->setObjectName(QStringLiteral("trayPlaceAction"));
    menu->addSeparator();
    // The window's own way out, so that shutdown runs in full and the settings are written.
    menu->addAction(QStringLiteral("退出"), dialog, &CChatDialog::quitApp)
        ->setObjectName(QStringLiteral("trayQuitAction"));

    icon = new QSystemTrayIcon(this);
    icon->setObjectName(QStringLiteral("trayIcon"));
    icon->setContextMenu(menu.get());
    connect(dialog, &CChatDialog::statusChanged, this, &CTrayIcon::refresh);
    refresh();
    icon->show();
}

CTrayIcon::~CTrayIcon() = default;

void CTrayIcon::showFirstStartHint() {
    if (dialog->isFirstStart())
        icon->showMessage(QStringLiteral("KibChat"), dialog->startHint());
}

QString CTrayIcon::toolTipFor(const QString& room, bool locked, const QString& keyName,
                              const QString& keyProblem) {
    QString tip = QStringLiteral("KibChat\n房间：%1\n%2")
                      .arg(room.isEmpty() ? QStringLiteral("（未输入）") : room,
                           locked ? QStringLiteral("已锁定，按 %1 解锁").arg(keyName)
                                  : QStringLiteral("已解锁，按 %1 锁定").arg(keyName));
    if (!keyProblem.isEmpty())
        tip += QLatin1Char('\n') + keyProblem;
    return tip;
}

void CTrayIcon::refresh() {
    const bool locked = dialog->locked();
    lockAction->setText(locked ? QStringLiteral("解锁") : QStringLiteral("锁定"));
    icon->setIcon(QIcon(QLatin1String(locked ? kLockedIcon : kUnlockedIcon)));
    icon->setToolTip(toolTipFor(dialog->currentRoomName(), locked, dialog->lockKeyName(),
                                dialog->lockKeyProblem()));
}
