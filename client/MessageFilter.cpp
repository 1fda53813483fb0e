#include "client/MessageFilter.h"

#include <algorithm>

namespace {

bool isKind(const MsgsInfo& record, const char* kind) {
    return record.type.compare(QLatin1String(kind), Qt::CaseInsensitive) == 0;
}

char16_t folded(QChar c) {
    return QChar::toCaseFolded(c.unicode());
}

// Blanks around an entry are a slip of the editing, never part of a name or a phrase.
QStringList cleaned(const QStringList& list) {
    QStringList out;
    for (const QString& entry : list) {
        const QString trimmed = entry.trimmed();
        if (!trimmed.isEmpty())
            out.append(trimmed);
    }
    return out;
}

} // namespace

bool FilterChoices::operator==(const FilterChoices& other) const {
    return blockedUsers == other.blockedUsers && blockedWords == other.blockedWords &&
           minGiftValue == other.minGiftValue && hideFreeGifts == other.hideFreeGifts &&
           giftsOnly == other.giftsOnly;
}

MessageFilter::MessageFilter(const FilterChoices& choices) : choices_(choices) {
    for (const QString& name : cleaned(choices.blockedUsers))
        foldedUsers_.insert(name.toCaseFolded());
    // The words' trie; each node remembers its parent, its character and its depth.
    struct Node {
        int parent;
        char16_t c;
        int depth;
    };
    std::vector<Node> nodes{{0, 0, 0}};
    terminal_.push_back(false);
    for (const QString& word : cleaned(choices.blockedWords)) {
        int node = 0;
        for (const QChar qc : word) {
            const char16_t c = folded(qc);
            const int found = child(node, c);
            if (found >= 0) {
                node = found;
                continue;
            }
            const int next = static_cast<int>(nodes.size());
            nodes.push_back({node, c, nodes[node].depth + 1});
            terminal_.push_back(false);
            edges_.emplace(key(node, c), next);
            node = next;
        }
        terminal_[node] = true;
    }
    // Fall-back links, shallowest nodes first, so that a text is read once whatever the words
    // share (a text that nearly matches a long word costs no more than any other).
    std::vector<int> order(nodes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&nodes](int a, int b) { return nodes[a].depth < nodes[b].depth; });
    fallback_.assign(nodes.size(), 0);
    for (const int n : order) {
        if (nodes[n].depth < 2)
            continue; // the root and its children fall back to the root
        int f = fallback_[nodes[n].parent];
        while (f != 0 && child(f, nodes[n].c) < 0)
            f = fallback_[f];
        const int target = child(f, nodes[n].c);
        fallback_[n] = target >= 0 ? target : 0;
        if (terminal_[fallback_[n]])
            terminal_[n] = true;
    }
}

std::uint64_t MessageFilter::key(int node, char16_t c) {
    return (std::uint64_t(node) << 16) | c;
}

int MessageFilter::child(int node, char16_t c) const {
    const auto found = edges_.find(key(node, c));
    return found == edges_.end() ? -1 : found->second;
}

bool MessageFilter::containsBlockedWord(const QString& text) const {
    if (edges_.empty())
        return false;
    int node = 0;
    for (const QChar qc : text) {
        const char16_t c = folded(qc);
        int next = child(node, c);
        while (next < 0 && node != 0) {
            node = fallback_[node];
            next = child(node, c);
        }
        node = next < 0 ? 0 : next;
        if (terminal_[node])
            return true;
    }
    return false;
}

bool MessageFilter::shows(const MsgsInfo& record) const {
    if (isKind(record, "gift")) {
        if (choices_.hideFreeGifts && record.moneyCost <= 0.0)
            return false;
        return choices_.minGiftValue <= 0.0 ||
               record.moneyCost * record.number >= choices_.minGiftValue;
    }
    if (choices_.giftsOnly)
        return false;
    if (!isKind(record, "chat"))
        return true;
    if (!foldedUsers_.isEmpty() && foldedUsers_.contains(record.username.toCaseFolded()))
        return false;
    return !containsBlockedWord(record.content);
}
