#pragma once

// The key chord the desktop watcher looks for, in Qt's terms, and its text in the settings
// file (QKeySequence's portable text: "F10", "Ctrl+Shift+L").

#include "platform/KeyChordMatch.h"

#include <QString>
#include <Qt>

namespace platform {

struct KeyChord {
    int key = Qt::Key_F10;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;

    // One non-modifier key with any of Ctrl, Alt, Shift and Meta (the Windows or Super key).
    bool isValid() const;
    // ChordModifier bits of `modifiers`.
    unsigned modifierBits() const;
    // Portable text, as stored.
    QString toText() const;
    // Text for people to read, in the system's own words.
    QString toDisplayText() const;

    // A single chord in portable text; false in `ok` for empty, unknown or multi-chord text.
    static KeyChord fromText(const QString& text, bool* ok);

    bool operator==(const KeyChord& other) const {
        return key == other.key && modifiers == other.modifiers;
    }
    bool operator!=(const KeyChord& other) const { return !(*this == other); }
};

} // namespace platform
