#pragma once

// How a stream of desktop key events becomes the press, repeat and release of one key chord.
// Plain C++ without Qt, shared by every backend (the Windows half builds with a bare MinGW
// compiler): a backend feeds it its own key codes and the modifiers held at each event.

#include <cstdint>

namespace platform {

// Modifier bits, whatever the system calls them.
enum ChordModifier : unsigned {
    kChordShift = 0x1,
    kChordCtrl = 0x2,
    kChordAlt = 0x4,
    kChordMeta = 0x8, // the Windows or Super key
};

// What happened to the watched chord. Where the desktop binds the key itself (a shortcut
// portal), Bound says that it bound a key, maybe another than asked for, and Lost that the
// watcher sees no key any more.
enum class KeyChordEvent { None, Press, Repeat, Release, Bound, Lost };

// A chord in a backend's own key code: the key and exactly the modifiers held with it.
struct NativeChord {
    std::uint32_t key = 0;
    unsigned modifiers = 0;
};

class KeyChordMatch {
public:
    explicit KeyChordMatch(NativeChord chord = {}) : chord_(chord) {}

    // One key-down or key-up of `key`, with the modifiers held at that moment. The chord is
    // pressed only when exactly its modifiers are held; once pressed, further key-downs of its
    // key are repeats and its key-up is a release, whatever the modifiers do meanwhile.
    KeyChordEvent feed(std::uint32_t key, bool down, unsigned heldModifiers) {
        if (key != chord_.key)
            return KeyChordEvent::None;
        if (!down) {
            const bool wasPressed = pressed_;
            pressed_ = false;
            keyDownUnmatched_ = false;
            return wasPressed ? KeyChordEvent::Release : KeyChordEvent::None;
        }
        if (pressed_)
            return KeyChordEvent::Repeat;
        // A key-down that did not match (other modifiers) is a repeat of nothing: its own
        // repeats stay unmatched even if the modifiers change under them.
        if (keyDownUnmatched_)
            return KeyChordEvent::None;
        if (heldModifiers != chord_.modifiers) {
            keyDownUnmatched_ = true;
            return KeyChordEvent::None;
        }
        pressed_ = true;
        return KeyChordEvent::Press;
    }

    bool pressed() const { return pressed_; }
    const NativeChord& chord() const { return chord_; }

private:
    NativeChord chord_;
    bool pressed_ = false;
    bool keyDownUnmatched_ = false;
};

} // namespace platform
