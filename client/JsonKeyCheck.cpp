#include "client/JsonKeyCheck.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Qt's parser refuses documents nested deeper than this, before it reaches anything inside.
constexpr std::size_t kMaxDepth = 1024;

bool isDelimiter(char c) {
    switch (c) {
    case '{':
    case '}':
    case '[':
    case ']':
    case ',':
    case ':':
    case '"':
    case ' ':
    case '\t':
    case '\n':
    case '\r':
        return true;
    default:
        return false;
    }
}

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
// `put`, unescaped the way Qt's parser unescapes them (an unknown escape stands for the byte
// itself, a byte above 0x7f sign-extended), and returns the position after the closing quote,
// or `end`. Malformed UTF-8 gives arbitrary units: the parser rejects it anyway.
template <typename Put> const char* decodeString(const char* p, const char* end, Put&& put) {
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
                put(u'\b');
                break;
            case 'f':
                put(u'\f');
                break;
            case 'n':
                put(u'\n');
                break;
            case 'r':
                put(u'\r');
                break;
            case 't':
                put(u'\t');
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
                put(static_cast<char16_t>(unit));
                break;
            }
            default:
                if (e < 0x80) {
                    put(static_cast<char16_t>(e));
                } else { // the code point 0xffffff00 | e, split as a surrogate pair would be
                    put(u'\xd7bf');
                    put(static_cast<char16_t>(0xdf00 | e));
                }
            }
            continue;
        }
        if (c < 0x80) {
            put(static_cast<char16_t>(c));
            continue;
        }
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : 1;
        char32_t cp = c & (0x3f >> extra);
        while (extra-- > 0 && p < end && (static_cast<unsigned char>(*p) & 0xc0) == 0x80)
            cp = cp << 6 | (static_cast<unsigned char>(*p++) & 0x3f);
        if (cp >= 0x10000) {
            put(static_cast<char16_t>(0xd800 + ((cp - 0x10000) >> 10 & 0x3ff)));
            put(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
        } else {
            put(static_cast<char16_t>(cp));
        }
    }
    return end;
}

// The closing quote of the string that starts after its opening quote at `p`, or `end`;
// `escaped` is set when it holds a backslash. Sixteen bytes at a time where SSE2 is there.
const char* skipString(const char* p, const char* end, bool& escaped) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
        if (hits == 0) {
            p += 16;
            continue;
        }
        p += __builtin_ctz(static_cast<unsigned>(hits));
        if (*p == '"')
            return p;
        escaped = true;
        if (end - p < 2)
            return end;
        p += 2;
    }
#endif
    for (; p < end; ++p) {
        if (*p == '"')
            return p;
        if (*p == '\\') {
            escaped = true;
            if (end - p < 2)
                return end;
            ++p;
        }
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

// Keys of objects with many keys whose value was a non-empty container, found by their hash
// and the object's serial number. Entries of closed objects stay (serial numbers are never reused);
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

// A key as written: the text between its quotes. Keys without a backslash are the same exactly
// when their bytes are (Qt refuses malformed UTF-8, so raw UTF-8 has one spelling); others are
// compared unescaped, through a hash worked out when first needed.
struct Key {
    const char* text = nullptr; // just after the opening quote
    std::size_t size = 0;
    bool escaped = false;
    mutable bool hashed = false;
    mutable std::uint64_t hashValue = 0;

    std::uint64_t hash(const char* end) const {
        if (!hashed) {
            hashValue = hashKey(text, end);
            hashed = true;
        }
        return hashValue;
    }
};

bool same(const Key& a, const Key& b, const char* end) {
    if (!a.escaped && !b.escaped)
        return a.size == b.size && std::memcmp(a.text, b.text, a.size) == 0;
    return a.hash(end) == b.hash(end) && sameKey(a.text, b.text, end);
}

// Keys of an object whose value was a non-empty container; an object's first few are compared
// in a short list, which ordinary replies never outgrow, the rest through the table.
constexpr std::size_t kListedKeys = 8;

struct Frame {
    bool isObject = false;
    bool nonEmpty = false;
    bool inTable = false;        // the object's keys moved from the list to the table
    std::uint32_t serial = 0;    // of an object, for the table
    std::size_t firstRecord = 0; // the object's keys in the list start here
    Key memberKey;               // the key this container is the value of, if any
};

bool listed(const std::vector<Key>& records, std::size_t first, const Key& key, const char* end) {
    for (std::size_t i = first; i < records.size(); ++i)
        if (same(records[i], key, end))
            return true;
    return false;
}

} // namespace

bool repeatsContainerKey(const QByteArray& body) {
    const char* p = body.constData();
    const char* const end = p + body.size();
    std::vector<Frame> frames;
    frames.reserve(32);
    std::vector<Key> records;
    KeyTable table(p, end);
    std::uint32_t objects = 0;
    bool expectKey = false;
    Key lastKey;

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
            child.firstRecord = records.size();
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
            records.resize(done.firstRecord);
            expectKey = false;
            // An empty container holds no memory, so a later value for its key loses nothing.
            if (!done.nonEmpty || !done.memberKey.text || frames.empty() || !frames.back().isObject)
                continue;
            Frame& parent = frames.back();
            const Key& key = done.memberKey;
            if (parent.inTable) {
                if (!table.insert(parent.serial, key.hash(end), key.text))
                    return true;
                continue;
            }
            if (listed(records, parent.firstRecord, key, end))
                return true;
            records.push_back(key);
            if (records.size() - parent.firstRecord > kListedKeys) {
                for (std::size_t i = parent.firstRecord; i < records.size(); ++i)
                    table.insert(parent.serial, records[i].hash(end), records[i].text);
                records.resize(parent.firstRecord);
                parent.inTable = true;
            }
            continue;
        }
        case ',':
            expectKey = !frames.empty() && frames.back().isObject;
            continue;
        case '"': {
            Key key;
            key.text = p;
            const char* const quote = skipString(p, end, key.escaped);
            key.size = static_cast<std::size_t>(quote - key.text);
            p = quote == end ? end : quote + 1;
            if (frames.empty())
                continue;
            Frame& top = frames.back();
            top.nonEmpty = true;
            if (!top.isObject || !expectKey)
                continue;
            expectKey = false;
            lastKey = key;
            if (top.inTable) {
                if (table.contains(top.serial, key.hash(end), key.text))
                    return true;
            } else if (records.size() > top.firstRecord &&
                       listed(records, top.firstRecord, key, end)) {
                return true;
            }
            continue;
        }
        default: // a number, a literal or a stray byte: nothing in it matters
            if (!frames.empty())
                frames.back().nonEmpty = true;
            while (p < end && !isDelimiter(*p))
                ++p;
            continue;
        }
    }
    return false;
}

std::optional<QJsonDocument> parseReplyJson(const QByteArray& body) {
    if (body.isEmpty() || repeatsContainerKey(body))
        return std::nullopt;
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return doc;
}
