#pragma once

#include "client/MsgsInfo.h"

#include <QMetaType>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <unordered_map>
#include <vector>

// What the streamer keeps off the screen. Nothing chosen lets every record through.
struct FilterChoices {
    QStringList blockedUsers;  // chat from these names (exact, ignoring case)
    QStringList blockedWords;  // chat containing any of these (ignoring case)
    double minGiftValue = 0.0; // gifts worth less in all (price × count); 0: off
    bool hideFreeGifts = false;
    bool giftsOnly = false;

    bool operator==(const FilterChoices& other) const;
    bool operator!=(const FilterChoices& other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(FilterChoices)

// The choices made ready for a busy room: names in a set and words in one automaton of folded
// characters, so that a record costs one pass over its text whatever the lists hold.
class MessageFilter {
public:
    MessageFilter() = default;
    explicit MessageFilter(const FilterChoices& choices);

    // Whether the record reaches the screen.
    bool shows(const MsgsInfo& record) const;

private:
    bool containsBlockedWord(const QString& text) const;
    static std::uint64_t key(int node, char16_t c);
    int child(int node, char16_t c) const;

    FilterChoices choices_;
    QSet<QString> foldedUsers_;
    // The words' trie: edges keyed by (node << 16 | folded UTF-16 unit); terminal_[n] marks a
    // node where a word ends, or one that a word ends in; fallback_[n] is the node of the
    // longest proper end of n's text that is also in the trie.
    std::unordered_map<std::uint64_t, int> edges_;
    std::vector<bool> terminal_;
    std::vector<int> fallback_;
};
