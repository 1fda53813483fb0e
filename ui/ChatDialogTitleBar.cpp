#include "ui/ChatDialog.h"
#include "ui/KibLineEdit.h"
#include "ui/StyleSheets.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QUrl>

void CChatDialog::RoomNameEditingFinished() {
    const QString text = roomNameEdit->text();
    if (text.isEmpty())
        return;
    roomName = text;
    emit sigRoomNameChanged(text);
    emit statusChanged();
}

void CChatDialog::ReceiveOnlineCount(int nOnlineCount, bool isLive) {
    onlineCountLabel->setText(QString::number(nOnlineCount));
    liveIndicator->setStyleSheet(isLive ? styles::liveIndicatorLive()
                                        : styles::liveIndicatorNotLive());
}

void CChatDialog::on_pushbuttonDownload_clicked(bool) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("软件下载"),
                    QStringLiteral("确定下载KIB直播软件KibLive?"),
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setStyleSheet(styles::settingPanel());
    box.setDefaultButton(QMessageBox::Yes);
    if (box.exec() != QMessageBox::Yes)
        return;
    const QString address = QStringLiteral("http://") + services.downloadHost +
                            QStringLiteral("/newest_kiblive/KibLive.rar");
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}
