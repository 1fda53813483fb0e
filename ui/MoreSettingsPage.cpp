#include "ui/MoreSettingsPage.h"

#include "ui/StyleSheets.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

CMoreSettingsPage::CMoreSettingsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("moreSettingsPage"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* body = new QWidget(scroll);
    rows = new QFormLayout(body);
    rows->setContentsMargins(10, 2, 10, 2);
    rows->setHorizontalSpacing(6);
    rows->setVerticalSpacing(4);
    rows->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    scroll->setWidget(body);
    outer->addWidget(scroll);

    lockKeyEdit = new QKeySequenceEdit(body);
    lockKeyEdit->setObjectName(QStringLiteral("lockKeyEdit"));
    lockKeyEdit->setStyleSheet(styles::panelKeyEdit());
    lockKeyEdit->setFixedHeight(20);
    lockKeyEdit->setToolTip(QStringLiteral("点这里，然后按下新的组合键"));
    connect(lockKeyEdit, &QKeySequenceEdit::editingFinished, this,
            &CMoreSettingsPage::keepFirstChord);
    addRow(QStringLiteral("锁定键："), lockKeyEdit);

    holdCheck = new QCheckBox(QStringLiteral("按住时解锁，松开即锁定"), body);
    holdCheck->setObjectName(QStringLiteral("holdToInteractCheck"));
    holdCheck->setStyleSheet(styles::panelCheckBox());
    rows->addRow(holdCheck);

    keyNote = new QLabel(body);
    keyNote->setObjectName(QStringLiteral("lockKeyNote"));
    keyNote->setStyleSheet(styles::panelNote());
    keyNote->setWordWrap(true);
    keyNote->hide();
    rows->addRow(keyNote);
}

void CMoreSettingsPage::addRow(const QString& caption, QWidget* field) {
    auto* label = new QLabel(caption, field->parentWidget());
    label->setStyleSheet(styles::panelLabel());
    label->setFixedHeight(20);
    rows->addRow(label, field);
}

void CMoreSettingsPage::addRow(QWidget* wide) {
    rows->addRow(wide);
}

void CMoreSettingsPage::setLockKey(const platform::KeyChord& chord) {
    lockKeyEdit->setKeySequence(QKeySequence(chord.key | int(chord.modifiers)));
}

platform::KeyChord CMoreSettingsPage::lockKey() const {
    const QKeySequence sequence = lockKeyEdit->keySequence();
    if (sequence.isEmpty())
        return platform::KeyChord();
    platform::KeyChord chord;
    chord.key = sequence[0] & ~int(Qt::KeyboardModifierMask);
    chord.modifiers = Qt::KeyboardModifiers(sequence[0] & int(Qt::KeyboardModifierMask));
    return chord;
}

void CMoreSettingsPage::setHoldToInteract(bool hold) {
    holdCheck->setChecked(hold);
}

bool CMoreSettingsPage::holdToInteract() const {
    return holdCheck->isChecked();
}

void CMoreSettingsPage::setKeyNote(const QString& note) {
    keyNote->setText(note);
    keyNote->setVisible(!note.isEmpty());
}

// The field records up to four chords in a row; the lock key is one.
void CMoreSettingsPage::keepFirstChord() {
    const QKeySequence sequence = lockKeyEdit->keySequence();
    if (sequence.count() > 1)
        lockKeyEdit->setKeySequence(QKeySequence(sequence[0]));
}
