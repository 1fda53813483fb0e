#include "client/JsonKeyCheck.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Qt's parser refuses documents nested deeper than this, before it reaches anything inside.
constexpr std::size_t kMaxDepth = 1024;

int hexDigit(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Hands the UTF-16 units of the JSON string that starts just after its opening quote at `p` to
// `emit`, unescaped the way Qt's parser unescapes them (an unknown escape stands for the byte
// itself, a byte above 0x7f sign-extended), and returns the position after the closing quote,
// or `end`. Malformed UTF-8 gives arbitrary units: the parser rejects it anyway.
template <typename Emit> const char* decodeString(const char* p, const char* end, Emit&& emit) {
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p++);
        if (c == '"')
            return p;
        if (c == '\\') {
            if (p == end)
                return end;
            const auto e = static_cast<unsigned char>(*p++);
            switch (e) {
            case 'b':
                emit(u'\b');
                break;
            case 'f':
                emit(u'\f');
                break;
            case 'n':
                emit(u'\n');
                break;
            case 'r':
                emit(u'\r');
                break;
            case 't':
                emit(u'\t');
                break;
            case 'u': {
                unsigned unit = 0;
                for (int i = 0; i < 4 && p < end; ++i) {
                    const int d = hexDigit(static_cast<unsigned char>(*p));
                    if (d < 0)
                        break;
                    unit = unit << 4 | static_cast<unsigned>(d);
                    ++p;
                }
                emit(static_cast<char16_t>(unit));
                break;
            }
            default:
                if (e < 0x80) {
                    emit(static_cast<char16_t>(e));
                } else { // the code point 0xffffff00 | e, split as a surrogate pair would be
                    emit(u'\xd7bf');
                    emit(static_cast<char16_t>(0xdf00 | e));
                }
            }
            continue;
        }
        if (c < 0x80) {
            emit(static_cast<char16_t>(c));
            continue;
        }
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : 1;
        char32_t cp = c & (0x3f >> extra);
        while (extra-- > 0 && p < end && (static_cast<unsigned char>(*p) & 0xc0) == 0x80)
            cp = cp << 6 | (static_cast<unsigned char>(*p++) & 0x3f);
        if (cp >= 0x10000) {
            emit(static_cast<char16_t>(0xd800 + ((cp - 0x10000) >> 10 & 0x3ff)));
            emit(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
        } else {
            emit(static_cast<char16_t>(cp));
        }
    }
    return end;
}

// Where the string that starts after its opening quote at `p` ends (after the closing quote).
const char* skipString(const char* p, const char* end) {
    const char* const start = p;
    while (p < end) {
        const auto* q = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        if (!q)
            return end;
        std::size_t backslashes = 0;
        while (q - backslashes > start && q[-1 - static_cast<std::ptrdiff_t>(backslashes)] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            return q + 1;
        p = q + 1;
    }
    return end;
}

std::uint64_t hashKey(const char* key, const char* end) {
    std::uint64_t h = 14695981039346656037ull; // FNV-1a over the UTF-16 units
    decodeString(key, end, [&h](char16_t unit) { h = (h ^ unit) * 1099511628211ull; });
    return h;
}

bool sameKey(const char* a, const char* b, const char* end) {
    std::u16string first;
    std::u16string second;
    decodeString(a, end, [&first](char16_t unit) { first += unit; });
    decodeString(b, end, [&second](char16_t unit) { second += unit; });
    return first == second;
}

// The keys of each object whose value was a non-empty container, found by their hash and the
// object's serial number. Entries of closed objects stay (serial numbers are never reused);
// slots are kept small because a hostile body may hold a million such keys.
class KeyTable {
public:
    KeyTable(const char* begin, const char* end) : m_begin(begin), m_end(end) {}

    // Adds the key that starts after its opening quote at `key`; false when the object already
    // held it.
    bool insert(std::uint32_t object, std::uint64_t hash, const char* key) {
        if ((m_used + 1) * 2 > m_slots.size())
            grow();
        return place(Slot{hash, object, offsetOf(key)});
    }

    bool contains(std::uint32_t object, std::uint64_t hash, const char* key) const {
        if (m_slots.empty())
            return false;
        const std::size_t mask = m_slots.size() - 1;
        const std::uint32_t offset = offsetOf(key);
        for (std::size_t i = slotOf(object, hash) & mask;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.key == 0)
                return false;
            if (same(s, Slot{hash, object, offset}))
                return true;
        }
    }

private:
    struct Slot {
        std::uint64_t hash;
        std::uint32_t object;
        std::uint32_t key; // one past the key's offset in the body; 0: a free slot
    };

    std::uint32_t offsetOf(const char* key) const {
        return static_cast<std::uint32_t>(key - m_begin) + 1;
    }

    static std::size_t slotOf(std::uint32_t object, std::uint64_t hash) {
        return static_cast<std::size_t>((hash ^ (object * 0x9e3779b97f4a7c15ull)) >> 7);
    }

    bool same(const Slot& a, const Slot& b) const {
        return a.hash == b.hash && a.object == b.object &&
               sameKey(m_begin + a.key - 1, m_begin + b.key - 1, m_end);
    }

    bool place(const Slot& slot) {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = slotOf(slot.object, slot.hash) & mask;; i = (i + 1) & mask) {
            Slot& s = m_slots[i];
            if (s.key == 0) {
                s = slot;
                ++m_used;
                return true;
            }
            if (same(s, slot))
                return false;
        }
    }

    void grow() {
        std::vector<Slot> old(m_slots.empty() ? 64 : m_slots.size() * 2, Slot{0, 0, 0});
        old.swap(m_slots);
        m_used = 0;
        for (const Slot& s : old)
            if (s.key != 0)
                place(s);
    }

    const char* m_begin;
    const char* m_end;
    std::vector<Slot> m_slots;
    std::size_t m_used = 0;
};

struct Frame {
    bool isObject = false;
    bool nonEmpty = false;
    std::uint32_t serial = 0;        // of an object, for the key table
    std::uint32_t containerKeys = 0; // keys of this object in the table
    const char* memberKey = nullptr; // the key this container is the value of, if any
};

} // namespace

bool repeatsContainerKey(const QByteArray& body) {
    const char* p = body.constData();
    const char* const end = p + body.size();
    std::vector<Frame> frames;
    KeyTable table(p, end);
    std::uint32_t objects = 0;
    bool expectKey = false;
    const char* lastKey = nullptr;

    while (p < end) {
        const char c = *p++;
        switch (c) {
        case ' ':
        case '\t':
        case '\n':
        case '\r':
            continue;
        case '{':
        case '[': {
            if (frames.size() == kMaxDepth)
                return false;
            Frame child;
            child.isObject = c == '{';
            child.serial = child.isObject ? ++objects : 0;
            if (!frames.empty()) {
                frames.back().nonEmpty = true;
                if (frames.back().isObject && !expectKey)
                    child.memberKey = lastKey;
            }
            frames.push_back(child);
            expectKey = child.isObject;
            continue;
        }
        case '}':
        case ']': {
            if (frames.empty())
                return false;
            const Frame done = frames.back();
            frames.pop_back();
            // An empty container holds no memory, so a later value for its key loses nothing.
            if (done.nonEmpty && done.memberKey && !frames.empty() && frames.back().isObject) {
                Frame& parent = frames.back();
                if (!table.insert(parent.serial, hashKey(done.memberKey, end), done.memberKey))
                    return true;
                ++parent.containerKeys;
            }
            expectKey = false;
            continue;
        }
        case ',':
            expectKey = !frames.empty() && frames.back().isObject;
            continue;
        case '"': {
            const char* const text = p;
            p = skipString(p, end);
            if (frames.empty())
                continue;
            Frame& top = frames.back();
            top.nonEmpty = true;
            if (!top.isObject || !expectKey)
                continue;
            expectKey = false;
            lastKey = text;
            // Hashing only once the object has a key to compare with.
            if (top.containerKeys > 0 && table.contains(top.serial, hashKey(text, end), text))
                return true;
            continue;
        }
        default:
            if (!frames.empty())
                frames.back().nonEmpty = true;
            continue;
        }
    }
    return false;
}
