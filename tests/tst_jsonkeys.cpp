// The check for repeated keys whose earlier value Qt's JSON parser would leak, held against what
// the parser really leaks, and the readers of service replies that refuse such bodies.

#include "client/GiftCatalogue.h"
#include "client/JsonKeyCheck.h"
#include "client/ServiceReplies.h"

#include <QJsonDocument>
#include <QTest>

#if defined(__SANITIZE_ADDRESS__)
#define KIBCHAT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIBCHAT_ASAN 1
#endif
#endif

// ThreadSanitizer has an allocator of its own too, which malloc's statistics do not see.
#if defined(__SANITIZE_THREAD__)
#define KIBCHAT_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KIBCHAT_SANITIZER_HEAP 1
#endif
#endif
#if defined(KIBCHAT_ASAN)
#define KIBCHAT_SANITIZER_HEAP 1
#include <sanitizer/lsan_interface.h>
#endif

#if defined(KIBCHAT_SANITIZER_HEAP)
#include <cstddef>
// Both compilers' sanitizer runtimes have it; gcc ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#endif

namespace {

QByteArray nested(int depth, const QByteArray& inner) {
    return QByteArray(depth, '[') + inner + QByteArray(depth, ']');
}

// An object of `count` distinct keys whose values are non-empty arrays, then `tail`.
QByteArray manyContainerKeys(int count, const QByteArray& tail) {
    QByteArray body = "{";
    for (int i = 0; i < count; ++i)
        body += "\"k" + QByteArray::number(i) + "\":[1],";
    return body + tail + "}";
}

bool parses(const QByteArray& body) {
    QJsonParseError error{};
    QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError;
}

// Hides what is allocated meanwhile from LeakSanitizer, when `on`: for leaks shown on purpose.
class LeakCheckPause {
public:
    explicit LeakCheckPause(bool on) : m_on(on) {
#if defined(KIBCHAT_ASAN)
        if (m_on)
            __lsan_disable();
#endif
    }
    ~LeakCheckPause() {
#if defined(KIBCHAT_ASAN)
        if (m_on)
            __lsan_enable();
#endif
    }
    LeakCheckPause(const LeakCheckPause&) = delete;
    LeakCheckPause& operator=(const LeakCheckPause&) = delete;

private:
    bool m_on;
};

qint64 allocatedBytes() {
#if defined(KIBCHAT_SANITIZER_HEAP)
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
    return static_cast<qint64>(mallinfo2().uordblks);
#else
    return -1;
#endif
}

// Bytes per parse that stay allocated after QJsonDocument::fromJson of `body` and the end of
// the document. When `expectLeak` is set the allocations are hidden from LeakSanitizer: the
// leak is shown on purpose, and any other is still reported at exit.
double leakedPerParse(const QByteArray& body, bool expectLeak) {
    const LeakCheckPause pause(expectLeak);
#if defined(KIBCHAT_SANITIZER_HEAP)
    const int rounds = 4; // exact counts; every allocation is slow here
#else
    const int rounds = 64; // the allocator's per-thread caches count as allocated
#endif
    for (int i = 0; i < 2; ++i) // anything allocated once, on first use, is not a leak
        parses(body);
    const qint64 before = allocatedBytes();
    for (int i = 0; i < rounds; ++i)
        parses(body);
    const qint64 after = allocatedBytes();
    return static_cast<double>(after - before) / rounds;
}

// Qt leaks at least 80 bytes per lost array or object; allocator noise stays far below.
constexpr double kLeakBytes = 40.0;

} // namespace

class TestJsonKeys : public QObject {
    Q_OBJECT

private slots:
    void repeats_data();
    void repeats();
    void parserLeaksExactlyWhenRepeated_data() { repeats_data(); }
    void parserLeaksExactlyWhenRepeated();
    void invalidInput_data();
    void invalidInput();
    void readersRefuseRepeats_data();
    void readersRefuseRepeats();
    void scalarRepeatKeepsLastValue();
};

void TestJsonKeys::repeats_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("repeats");

    // No key repeated
    QTest::newRow("flat object") << QByteArray(R"({"a":[1],"b":{"c":1},"d":"x"})") << false;
    QTest::newRow("empty object") << QByteArray("{}") << false;
    QTest::newRow("top-level array") << QByteArray(R"([1,"a",{"a":[1]},[{"a":{"b":2}}]])") << false;
    QTest::newRow("keys differing in case") << QByteArray(R"({"a":[1],"A":1})") << false;
    QTest::newRow("key with trailing space") << QByteArray(R"({"a":[1],"a ":1})") << false;
    QTest::newRow("nul escape is a character") << QByteArray(R"({"\u0000":[1],"":1})") << false;
    QTest::newRow("different escaped bytes")
        << QByteArray("{\"\\\xc3\":[1],\"\\\x80\":1,\"\\u00c3\":2,\"\\ufffd\":3}") << false;

    // Scalars repeated: the parser keeps the last value and frees the others
    QTest::newRow("numbers") << QByteArray(R"({"a":1,"a":2})") << false;
    QTest::newRow("strings") << QByteArray(R"({"a":"x","a":"y","a":null})") << false;
    QTest::newRow("scalar then array") << QByteArray(R"({"a":1,"a":[1,2]})") << false;
    QTest::newRow("scalar then object") << QByteArray(R"({"a":true,"a":{"b":1}})") << false;

    // Empty containers hold no memory of their own
    QTest::newRow("empty array first") << QByteArray(R"({"a":[],"a":1})") << false;
    QTest::newRow("empty object first") << QByteArray(R"({"a":{ },"a":[1]})") << false;
    QTest::newRow("empty array spaced") << QByteArray("{\"a\":[ \n\t],\"a\":{}}") << false;

    // A non-empty array or object, then the same key
    QTest::newRow("array then number") << QByteArray(R"({"a":[1],"a":2})") << true;
    QTest::newRow("object then string") << QByteArray(R"({"a":{"b":1},"a":"s"})") << true;
    QTest::newRow("array then array") << QByteArray(R"({"a":[1],"a":[2]})") << true;
    QTest::newRow("array of empties") << QByteArray(R"({"a":[[]],"a":1})") << true;
    QTest::newRow("other key between") << QByteArray(R"({"a":[1],"b":1,"a":2})") << true;
    QTest::newRow("container in the middle") << QByteArray(R"({"a":1,"a":[1],"a":2})") << true;
    QTest::newRow("spaces around") << QByteArray("{ \"a\" :\n[ 1 ] ,\r\n \"a\"\t: 1 }") << true;
    QTest::newRow("two keys interleaved")
        << QByteArray(R"({"a":[1],"b":{"c":0},"a":1,"b":2})") << true;
    QTest::newRow("nested object") << QByteArray(R"({"x":{"y":{"a":[1],"a":1}}})") << true;
    QTest::newRow("object in array") << QByteArray(R"([1,{"a":{"b":[]},"a":1}])") << true;
    QTest::newRow("poll entry") << QByteArray(R"({"next":2,"msgs":[{"type":"chat",)"
                                              R"("msg":{"user":{"username":"u"},"content":"hi",)"
                                              R"("user":null}}]})")
                                << true;
    QTest::newRow("empty key") << QByteArray(R"({"":[1],"":1})") << true;

    // The same key in different objects is no repeat
    QTest::newRow("sibling objects") << QByteArray(R"({"p":{"a":[1]},"q":{"a":[1]}})") << false;
    QTest::newRow("parent and child")
        << QByteArray(R"({"a":{"a":[1],"b":1},"b":{"a":1}})") << false;
    QTest::newRow("array of objects")
        << QByteArray(R"([{"a":[1]},{"a":[1]},{"a":{"b":1}}])") << false;
    QTest::newRow("array of objects, one repeats")
        << QByteArray(R"([{"a":[1]},{"a":[1],"b":0,"a":0}])") << true;

    // Keys are compared after unescaping
    QTest::newRow("escaped letter") << QByteArray(R"({"a":[1],"\u0061":1})") << true;
    QTest::newRow("hex digits in either case")
        << QByteArray(R"({"\u00E9":[1],"\u00e9":1})") << true;
    QTest::newRow("raw and escaped latin")
        << QByteArray("{\"\xc3\xa9\":{\"x\":1},\"\\u00e9\":1}") << true;
    QTest::newRow("raw and escaped cjk")
        << QByteArray("{\"\xe7\xa4\xbc\":[1],\"\\u793c\":1}") << true;
    QTest::newRow("surrogate pair and raw")
        << QByteArray("{\"\\ud83d\\ude00\":[1],\"\xf0\x9f\x98\x80\":1}") << true;
    QTest::newRow("surrogate pair and other")
        << QByteArray(R"({"\ud83d\ude00":[1],"\ud83d":1})") << false;
    QTest::newRow("lone surrogate") << QByteArray(R"({"\ud800":[1],"\ud800":1})") << true;
    QTest::newRow("quote escaped two ways") << QByteArray(R"({"\"":[1],"\u0022":1})") << true;
    QTest::newRow("slash escaped") << QByteArray(R"({"\/":[1],"/":1})") << true;
    QTest::newRow("unknown escape") << QByteArray(R"({"\q":[1],"q":1})") << true;
    QTest::newRow("escaped high byte")
        << QByteArray("{\"\\\xc3\":[1],\"\\ud7bf\\udfc3\":1}") << true;
    QTest::newRow("control escapes")
        << QByteArray(R"({"\b\f\n\r\t":[1],"\u0008\u000c\u000a\u000d\u0009":1})") << true;
    QTest::newRow("backslash then quote") << QByteArray(R"({"x\\":[1],"x\u005c":1})") << true;

    // Strings that look like structure
    QTest::newRow("braces in values")
        << QByteArray(R"({"a":"{\"a\":[1],","b":"}],{","a":1})") << false;
    QTest::newRow("braces in keys") << QByteArray(R"({"{":[1],"}":[1],"[\"":1,"{ ":1})") << false;
    QTest::newRow("escaped quotes and colons")
        << QByteArray(R"({"a\":[1],\"a":[1],"a\\":"\"a\":1","a\":[1],\"a":0})") << true;
    QTest::newRow("colons and commas in keys") << QByteArray(R"({"a:b,":[1],"a:b,":1})") << true;
    QTest::newRow("backslash run before quote") << QByteArray(R"({"a\\\\":[1],"a\\\\":1})") << true;

    // Deep nesting, up to the parser's own limit of 1024
    QTest::newRow("deep arrays") << nested(1024, "1") << false;
    QTest::newRow("deep objects") << QByteArray(R"({"a":)").repeated(1023) + "1" +
                                         QByteArray(1023, '}')
                                  << false;
    QTest::newRow("repeat at the deepest level") << nested(1022, R"({"a":[1],"a":1})") << true;
    QTest::newRow("repeat after deep values")
        << QByteArray(R"({"a":)") + nested(1000, "1") + R"(,"a":1})" << true;

    // Many keys (the table of keys grows)
    QTest::newRow("many keys") << manyContainerKeys(5000, R"("z":1)") << false;
    QTest::newRow("many keys, first repeated") << manyContainerKeys(5000, R"("k0":1)") << true;
    QTest::newRow("many keys, last repeated") << manyContainerKeys(5000, R"("k4999":1)") << true;
}

void TestJsonKeys::repeats() {
    QFETCH(QByteArray, body);
    QFETCH(bool, repeats);
    {
        const LeakCheckPause pause(repeats);
        QVERIFY2(parses(body), "rows of this table are JSON");
    }
    QCOMPARE(repeatsContainerKey(body), repeats);
}

// The real proof: the parser leaks for exactly the bodies the check finds, so that every body
// it lets through is safe to parse and every body it stops would have leaked.
void TestJsonKeys::parserLeaksExactlyWhenRepeated() {
    QFETCH(QByteArray, body);
    if (allocatedBytes() < 0)
        QSKIP("no allocation count on this platform");
    const bool found = repeatsContainerKey(body);
    const double leaked = leakedPerParse(body, found);
    if (found)
        QVERIFY2(leaked >= kLeakBytes, qPrintable(QString::number(leaked)));
    else
        QVERIFY2(leaked < kLeakBytes, qPrintable(QString::number(leaked)));
}

void TestJsonKeys::invalidInput_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("open brace") << QByteArray("{");
    QTest::newRow("key, no value") << QByteArray(R"({"a":)");
    QTest::newRow("open string") << QByteArray(R"({"a)");
    QTest::newRow("backslash at end") << QByteArray(R"({"a\)");
    QTest::newRow("short unicode escape") << QByteArray(R"({"\u00)");
    QTest::newRow("unclosed after repeat") << QByteArray(R"({"a":[1],"a":1)");
    QTest::newRow("garbage after repeat") << QByteArray(R"({"a":[1],"a":1} x)");
    QTest::newRow("repeat then unclosed array") << QByteArray(R"([{"a":[1],"a":1},)");
    QTest::newRow("closers only") << QByteArray("]}]}");
    QTest::newRow("missing colon") << QByteArray(R"({"a"[1],"a":1})");
    QTest::newRow("truncated utf-8") << QByteArray("{\"\xf0\x9f");
    QTest::newRow("bad utf-8") << QByteArray("{\"\xff\xc0\x80\":[1],\"\":1}");
    QTest::newRow("nul bytes") << QByteArray("{\"a\":[1],\0\"a\":1}", 16);
    QTest::newRow("too deep") << nested(1025, R"({"a":[1],"a":1})");
    QTest::newRow("far too deep") << QByteArray(200000, '[');
    QTest::newRow("deep objects, unclosed") << QByteArray(R"({"a":)").repeated(50000);
}

// Text that is not JSON may get either answer, as long as nothing it lets through leaks and the
// readers refuse it.
void TestJsonKeys::invalidInput() {
    QFETCH(QByteArray, body);
    const bool repeats = repeatsContainerKey(body);
    QVERIFY(!parseObjectBody(body));
    QVERIFY(!parseCatalogue(body));
    if (allocatedBytes() < 0)
        QSKIP("no allocation count on this platform");
    if (!repeats)
        QVERIFY2(leakedPerParse(body, false) < kLeakBytes, "let through and leaked");
}

void TestJsonKeys::readersRefuseRepeats_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("usable");
    QTest::newRow("poll, scalar repeat")
        << QByteArray(R"({"next":2,"next":3,"msgs":[{"type":"chat"}]})") << true;
    QTest::newRow("poll, msgs twice")
        << QByteArray(R"({"msgs":[{"type":"chat"}],"msgs":[]})") << false;
    QTest::newRow("poll, entry repeats msg")
        << QByteArray(R"({"msgs":[{"msg":{"user":{}},"msg":{"user":{}}}]})") << false;
    QTest::newRow("catalogue, scalar repeat")
        << QByteArray(R"([{"name":"rose","name":"Rose","moneyCost":1}])") << true;
    QTest::newRow("catalogue, object repeat")
        << QByteArray(R"([{"name":"rose","x":{"y":1},"x":0}])") << false;
}

void TestJsonKeys::readersRefuseRepeats() {
    QFETCH(QByteArray, body);
    QFETCH(bool, usable);
    if (body.startsWith('{'))
        QCOMPARE(parseObjectBody(body).has_value(), usable);
    else
        QCOMPARE(parseCatalogue(body).has_value(), usable);
}

// A repeated scalar is still read as the parser reads it: the last value wins.
void TestJsonKeys::scalarRepeatKeepsLastValue() {
    const auto object = parseObjectBody(R"({"next":2,"from":7,"next":5,"msgs":[]})");
    QVERIFY(object);
    const PollReply poll = readPoll(*object);
    QCOMPARE(poll.next, std::optional<qint32>(5));
    QCOMPARE(poll.from, std::optional<qint32>(7));
    const auto items = parseCatalogue(R"([{"name":"a","title":"t","title":"u"}])");
    QVERIFY(items && items->size() == 1);
    QCOMPARE(items->at(0).title, QStringLiteral("u"));
}

int main(int argc, char** argv) {
#if !defined(KIBCHAT_SANITIZER_HEAP) && defined(__GLIBC__)
    // glibc's per-thread cache keeps freed blocks counted as allocated, enough to look like a
    // leak; the count is exact only without it, which takes a fresh start.
    static const char kNoCache[] = "glibc.malloc.tcache_count=0";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (!tunables || !std::strstr(tunables, kNoCache)) {
        const QByteArray value =
            tunables ? QByteArray(tunables) + ':' + kNoCache : QByteArray(kNoCache);
        setenv("GLIBC_TUNABLES", value.constData(), 1);
        execv("/proc/self/exe", argv);
        return 1;
    }
#endif
    QCoreApplication app(argc, argv);
    TestJsonKeys test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_jsonkeys.moc"
