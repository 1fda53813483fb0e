#include "ui/ChatDialog.h"

#include "platform/Platform.h"
#include "ui/HotKeyHook.h"
#include "ui/MoreSettingsPage.h"
#include "ui/WindowGeometry.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QPushButton>
#include <QTimer>

namespace {
const char* const kFontSizes[] = {"10", "11", "12", "14", "16", "18", "20", "22"};
constexpr int kLineHeights = 10;
} // namespace

void CChatDialog::fillSettingPanel() {
    fontFamilyCombo->addItems(QFontDatabase().families(QFontDatabase::SimplifiedChinese));
    fontFamilyCombo->setCurrentText(fontFamily);
    for (const char* size : kFontSizes)
        fontSizeCombo->addItem(QLatin1String(size));
    fontSizeCombo->setCurrentText(QString::number(fontSize));
    for (int i = 1; i <= kLineHeights; ++i)
        lineHeightCombo->addItem(QString::number(i));
    lineHeightCombo->setCurrentText(QString::number(lineHeight));
}

void CChatDialog::AddOpacity(bool) {
    emit keyboardDown(KeyAddOpacity);
}

void CChatDialog::SubOpacity(bool) {
    emit keyboardDown(KeySubOpacity);
}

void CChatDialog::stepOpacity(int delta) {
    if (delta > 0 && opacityLevel < 9)
        ++opacityLevel;
    else if (delta < 0 && opacityLevel > 1)
        --opacityLevel;
    // Applied again at the bounds too, as the window has always done.
    setWindowOpacity(opacityLevel / 10.0);
}

void CChatDialog::onButtonSettingClicked(bool) {
    topTimer->stop();
    settingPanel->show();
}

void CChatDialog::onSettingOKClicked(bool) {
    fontFamily = fontFamilyCombo->currentText();
    fontSize = fontSizeCombo->currentText().toInt(nullptr, 10);
    lineHeight = lineHeightCombo->currentText().toInt(nullptr, 10);
    const platform::KeyChord chosen = morePage->lockKey();
    if (chosen != lockKey || morePage->holdToInteract() != holdToInteract) {
        holdToInteract = morePage->holdToInteract();
        watchLockKey(chosen.toText());
        if (!keyboardHook && isLocked)
            UnlockWindow();
        showLockKey();
    }
    applyOverlayOptions();
    settingPanel->hide();
    topTimer->start();
}

void CChatDialog::onSettingCancelClicked(bool) {
    settingPanel->hide();
    topTimer->start();
}

void CChatDialog::onSettingPageClicked(bool) {
    const bool toMore = morePage->isHidden();
    for (QWidget* widget : qAsConst(fontPageWidgets))
        widget->setVisible(!toMore);
    morePage->setVisible(toMore);
    settingPageButton->setText(toMore ? QStringLiteral("‹字体设置") : QStringLiteral("更多设置›"));
}

void CChatDialog::openSettings() {
    setLocked(false);
    onButtonSettingClicked(false);
}

void CChatDialog::moveToDefaultPlace() {
    platform::current().placeWindow(
        this, geometry::startGeometry(size(), platform::current().primaryScreenSize()).topLeft());
    platform::current().raiseTopmost(this);
}
