#include "client/MessageFilter.h"

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
    terminal_.push_back(false); // the root
    for (const QString& word : cleaned(choices.blockedWords)) {
        int node = 0;
        for (const QChar c : word) {
            const std::uint64_t key = (std::uint64_t(node) << 16) | folded(c);
            const auto found = edges_.find(key);
            if (found != edges_.end()) {
                node = found->second;
                continue;
            }
            const int next = static_cast<int>(terminal_.size());
            terminal_.push_back(false);
            edges_.emplace(key, next);
            node = next;
        }
        terminal_[node] = true;
    }
}

int MessageFilter::child(int node, char16_t c) const {
    const auto found = edges_.find((std::uint64_t(node) << 16) | c);
    return found == edges_.end() ? -1 : found->second;
}

bool MessageFilter::containsBlockedWord(const QString& text) const {
    if (edges_.empty())
        return false;
    const QChar* chars = text.constData();
    const int size = text.size();
    for (int start = 0; start < size; ++start) {
        int node = 0;
        for (int i = start; i < size; ++i) {
            node = child(node, folded(chars[i]));
            if (node < 0)
                break;
            if (terminal_[node])
                return true;
        }
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
