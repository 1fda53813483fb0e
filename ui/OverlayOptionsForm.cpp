#include "ui/OverlayOptionsForm.h"

#include "ui/CaptureHiding.h"
#include "ui/MoreSettingsPage.h"
#include "ui/StyleSheets.h"

#include <QCheckBox>
#include <QDoubleValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr double kMaxGiftValue = 1000000.0;

} // namespace

QStringList splitListText(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[,，、\\n]"));
    QStringList out;
    for (const QString& part : text.split(separators)) {
        const QString entry = part.trimmed();
        if (!entry.isEmpty())
            out.append(entry);
    }
    return out;
}

QString listText(const QStringList& list) {
    return list.join(QStringLiteral("，"));
}

OverlayOptionsForm::OverlayOptionsForm(CMoreSettingsPage* page) : QObject(page) {
    setObjectName(QStringLiteral("overlayOptionsForm"));
    const auto box = [page](const char* name, const QString& text) {
        auto* b = new QCheckBox(text, page);
        b->setObjectName(QLatin1String(name));
        b->setStyleSheet(styles::panelCheckBox());
        return b;
    };
    const auto note = [page](const char* name) {
        auto* l = new QLabel(page);
        l->setObjectName(QLatin1String(name));
        l->setStyleSheet(styles::panelNote());
        l->setWordWrap(true);
        l->hide();
        return l;
    };
    const auto edit = [](QWidget* field, const char* name) {
        field->setObjectName(QLatin1String(name));
        field->setStyleSheet(styles::panelKeyEdit());
        field->setFixedHeight(20);
    };

    blockedUsersEdit = new QLineEdit(page);
    edit(blockedUsersEdit, "blockedUsersEdit");
    blockedUsersEdit->setPlaceholderText(QStringLiteral("用户名，用逗号分隔"));
    blockedWordsEdit = new QLineEdit(page);
    edit(blockedWordsEdit, "blockedWordsEdit");
    blockedWordsEdit->setPlaceholderText(QStringLiteral("词语，用逗号分隔"));
    // A line rather than a spin box: the page scrolls with the wheel, which must not change it.
    minGiftValueEdit = new QLineEdit(page);
    edit(minGiftValueEdit, "minGiftValueEdit");
    minGiftValueEdit->setPlaceholderText(QStringLiteral("不限"));
    auto* validator = new QDoubleValidator(0.0, kMaxGiftValue, 2, minGiftValueEdit);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    minGiftValueEdit->setValidator(validator);
    hideFreeGiftsBox = box("hideFreeGiftsBox", QStringLiteral("隐藏免费礼物"));
    giftsOnlyBox = box("giftsOnlyBox", QStringLiteral("只显示礼物"));
    hideFromCaptureBox = box("hideFromCaptureBox", QStringLiteral("录屏时隐藏浮窗"));
    captureStateLabel = note("captureStateLabel");
    fadeUnderPointerBox = box("fadeUnderPointerBox", QStringLiteral("鼠标悬停时淡出"));
    fadeStateLabel = note("fadeStateLabel");

    page->addRow(QStringLiteral("屏蔽用户："), blockedUsersEdit);
    page->addRow(QStringLiteral("屏蔽词："), blockedWordsEdit);
    page->addRow(QStringLiteral("礼物低于："), minGiftValueEdit);
    for (QWidget* row :
         {static_cast<QWidget*>(hideFreeGiftsBox), static_cast<QWidget*>(giftsOnlyBox),
          static_cast<QWidget*>(hideFromCaptureBox), static_cast<QWidget*>(captureStateLabel),
          static_cast<QWidget*>(fadeUnderPointerBox), static_cast<QWidget*>(fadeStateLabel)})
        page->addRow(row);
}

void OverlayOptionsForm::setValues(const FilterChoices& choices, bool hideFromCapture,
                                   bool fadeUnderPointer) {
    blockedUsersEdit->setText(listText(choices.blockedUsers));
    blockedWordsEdit->setText(listText(choices.blockedWords));
    minGiftValueEdit->setText(choices.minGiftValue > 0.0 ? QString::number(choices.minGiftValue)
                                                         : QString());
    hideFreeGiftsBox->setChecked(choices.hideFreeGifts);
    giftsOnlyBox->setChecked(choices.giftsOnly);
    hideFromCaptureBox->setChecked(hideFromCapture && hideFromCaptureBox->isEnabled());
    fadeUnderPointerBox->setChecked(fadeUnderPointer && fadeUnderPointerBox->isEnabled());
}

FilterChoices OverlayOptionsForm::filterChoices() const {
    FilterChoices c;
    c.blockedUsers = splitListText(blockedUsersEdit->text());
    c.blockedWords = splitListText(blockedWordsEdit->text());
    c.minGiftValue = std::max(0.0, QLocale::c().toDouble(minGiftValueEdit->text()));
    c.hideFreeGifts = hideFreeGiftsBox->isChecked();
    c.giftsOnly = giftsOnlyBox->isChecked();
    return c;
}

bool OverlayOptionsForm::hideFromCapture() const {
    return hideFromCaptureBox->isChecked();
}

bool OverlayOptionsForm::fadeUnderPointer() const {
    return fadeUnderPointerBox->isChecked();
}

void OverlayOptionsForm::showCaptureState(platform::CaptureHiding state) {
    const bool unsupported = state == platform::CaptureHiding::Unsupported;
    hideFromCaptureBox->setEnabled(!unsupported);
    if (unsupported)
        hideFromCaptureBox->setChecked(false);
    const QString text = captureHidingText(state);
    captureStateLabel->setText(text);
    captureStateLabel->setVisible(!text.isEmpty());
}

void OverlayOptionsForm::setFadeAvailable(bool available) {
    fadeUnderPointerBox->setEnabled(available);
    if (!available)
        fadeUnderPointerBox->setChecked(false);
    fadeStateLabel->setText(available ? QString()
                                      : QStringLiteral("Wayland 下看不到其他程序上方的鼠标位置"));
    fadeStateLabel->setVisible(!available);
}
