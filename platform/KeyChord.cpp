#include "platform/KeyChord.h"

#include <QKeySequence>

namespace platform {

namespace {

constexpr Qt::KeyboardModifiers kChordModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

} // namespace

bool KeyChord::isValid() const {
    return key != 0 && key != Qt::Key_unknown && !isModifierKey(key) &&
           (modifiers & ~kChordModifiers) == 0;
}

unsigned KeyChord::modifierBits() const {
    unsigned bits = 0;
    if (modifiers & Qt::ShiftModifier)
        bits |= kChordShift;
    if (modifiers & Qt::ControlModifier)
        bits |= kChordCtrl;
    if (modifiers & Qt::AltModifier)
        bits |= kChordAlt;
    if (modifiers & Qt::MetaModifier)
        bits |= kChordMeta;
    return bits;
}

QString KeyChord::toText() const {
    return QKeySequence(key | int(modifiers)).toString(QKeySequence::PortableText);
}

QString KeyChord::toDisplayText() const {
    return QKeySequence(key | int(modifiers)).toString(QKeySequence::NativeText);
}

KeyChord KeyChord::fromText(const QString& text, bool* ok) {
    KeyChord chord;
    const QKeySequence sequence =
        QKeySequence::fromString(text.trimmed(), QKeySequence::PortableText);
    bool valid = sequence.count() == 1;
    if (valid) {
        const int combined = sequence[0];
        chord.key = combined & ~int(Qt::KeyboardModifierMask);
        chord.modifiers = Qt::KeyboardModifiers(combined & int(Qt::KeyboardModifierMask));
        valid = chord.isValid();
    }
    if (!valid)
        chord = KeyChord();
    if (ok)
        *ok = valid;
    return chord;
}

} // namespace platform
