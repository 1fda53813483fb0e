#include "ui/OverlayOptionsForm.h"

#include "ui/CaptureHiding.h"
#include "ui/StyleSheets.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

constexpr double kMaxGiftValue = 1000000.0;

// The panel's colours: grey text, orange when focused or hovered, as its combo boxes.
QString editSheet() {
    return QStringLiteral(
        "QLineEdit,QDoubleSpinBox{border-style:solid;border-width:1px;"
        "border-color:rgb(204,204,204);background-color:rgba(0,0,0,0);font-family:微软雅黑;"
        "font-size:12px;color:rgb(100,100,100);}"
        "QLineEdit:focus,QDoubleSpinBox:focus,QLineEdit:hover,QDoubleSpinBox:hover{"
        "border-color:rgb(227,127,10);background-color:rgba(227,127,10,45);}");
}

QString checkSheet() {
    return QStringLiteral("QCheckBox{font-family:微软雅黑;font-size:12px;color:rgb(100,100,100);}"
                          "QCheckBox:disabled{color:rgb(170,170,170);}");
}

QString noteSheet() {
    return QStringLiteral("QLabel{font-family:微软雅黑;font-size:11px;color:rgb(130,130,130);}");
}

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

OverlayOptionsForm::OverlayOptionsForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("overlayOptionsForm"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 6, 10, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);

    const auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setStyleSheet(styles::panelLabel());
        return l;
    };
    const auto box = [this](const char* name, const QString& text) {
        auto* b = new QCheckBox(text, this);
        b->setObjectName(QLatin1String(name));
        b->setStyleSheet(checkSheet());
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    const auto note = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setStyleSheet(noteSheet());
        l->setWordWrap(true);
        l->hide();
        return l;
    };

    blockedUsersEdit = new QLineEdit(this);
    blockedUsersEdit->setObjectName(QStringLiteral("blockedUsersEdit"));
    blockedUsersEdit->setPlaceholderText(QStringLiteral("用户名，用逗号分隔"));
    blockedWordsEdit = new QLineEdit(this);
    blockedWordsEdit->setObjectName(QStringLiteral("blockedWordsEdit"));
    blockedWordsEdit->setPlaceholderText(QStringLiteral("词语，用逗号分隔"));
    minGiftValueSpin = new QDoubleSpinBox(this);
    minGiftValueSpin->setObjectName(QStringLiteral("minGiftValueSpin"));
    minGiftValueSpin->setRange(0.0, kMaxGiftValue);
    minGiftValueSpin->setDecimals(1);
    minGiftValueSpin->setSpecialValueText(QStringLiteral("不限"));
    minGiftValueSpin->setButtonSymbols(QAbstractSpinBox::NoButtons);
    for (QWidget* edit :
         {static_cast<QWidget*>(blockedUsersEdit), static_cast<QWidget*>(blockedWordsEdit),
          static_cast<QWidget*>(minGiftValueSpin)})
        edit->setStyleSheet(editSheet());

    hideFreeGiftsBox = box("hideFreeGiftsBox", QStringLiteral("隐藏免费礼物"));
    giftsOnlyBox = box("giftsOnlyBox", QStringLiteral("只显示礼物"));
    hideFromCaptureBox = box("hideFromCaptureBox", QStringLiteral("录屏时隐藏浮窗"));
    captureStateLabel = note("captureStateLabel");
    fadeUnderPointerBox = box("fadeUnderPointerBox", QStringLiteral("鼠标悬停时淡出"));
    fadeStateLabel = note("fadeStateLabel");

    int row = 0;
    grid->addWidget(label("blockedUsersLabel", QStringLiteral("屏蔽用户：")), row, 0);
    grid->addWidget(blockedUsersEdit, row++, 1);
    grid->addWidget(label("blockedWordsLabel", QStringLiteral("屏蔽词：")), row, 0);
    grid->addWidget(blockedWordsEdit, row++, 1);
    grid->addWidget(label("minGiftValueLabel", QStringLiteral("礼物低于：")), row, 0);
    grid->addWidget(minGiftValueSpin, row++, 1);
    grid->addWidget(hideFreeGiftsBox, row, 0);
    grid->addWidget(giftsOnlyBox, row++, 1);
    grid->addWidget(hideFromCaptureBox, row++, 0, 1, 2);
    grid->addWidget(captureStateLabel, row++, 0, 1, 2);
    grid->addWidget(fadeUnderPointerBox, row++, 0, 1, 2);
    grid->addWidget(fadeStateLabel, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
}

void OverlayOptionsForm::setValues(const FilterChoices& choices, bool hideFromCapture,
                                   bool fadeUnderPointer) {
    blockedUsersEdit->setText(listText(choices.blockedUsers));
    blockedWordsEdit->setText(listText(choices.blockedWords));
    minGiftValueSpin->setValue(choices.minGiftValue);
    hideFreeGiftsBox->setChecked(choices.hideFreeGifts);
    giftsOnlyBox->setChecked(choices.giftsOnly);
    hideFromCaptureBox->setChecked(hideFromCapture && hideFromCaptureBox->isEnabled());
    fadeUnderPointerBox->setChecked(fadeUnderPointer && fadeUnderPointerBox->isEnabled());
}

FilterChoices OverlayOptionsForm::filterChoices() const {
    FilterChoices c;
    c.blockedUsers = splitListText(blockedUsersEdit->text());
    c.blockedWords = splitListText(blockedWordsEdit->text());
    c.minGiftValue = minGiftValueSpin->value();
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
