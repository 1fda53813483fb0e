// Readers of the service's replies: lenient JSON reads, the decoding of one chat entry, the
// gift catalogue and its lookup, and the room, join and poll replies. No network is involved.

#include "client/GiftCatalogue.h"
#include "client/JsonRead.h"
#include "client/MsgsInfo.h"
#include "client/ServiceReplies.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTest>
#include <QVector>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <numeric>

Q_DECLARE_METATYPE(ItemInfo)

namespace {

// One JSON value of any type from its text; undefined when the text is not JSON. The text
// is wrapped in an array because a document's top level must be an array or an object.
QJsonValue parseValue(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text + "]", &error);
    if (error.error != QJsonParseError::NoError || doc.array().size() != 1)
        return QJsonValue(QJsonValue::Undefined);
    return doc.array().at(0);
}

// Every field, exactly, so that a failed comparison shows both records in full.
QString describe(const MsgsInfo& m) {
    return QStringLiteral("type=[%1] content=[%2] itemType=[%3] itemTitle=[%4] number=%5 "
                          "username=[%6] grade=%7 moneyCost=%8")
        .arg(m.type, m.content, m.itemType, m.itemTitle)
        .arg(m.number)
        .arg(m.username)
        .arg(m.grade)
        .arg(QString::number(m.moneyCost, 'g', 17));
}

QStringList describe(const QList<ItemInfo>& items) {
    QStringList out;
    for (const ItemInfo& item : items)
        out << QStringLiteral("name=[%1] title=[%2] moneyCost=%3")
                   .arg(item.name, item.title, QString::number(item.moneyCost, 'g', 17));
    return out;
}

ItemInfo item(const QString& name, const QString& title, double cost) {
    ItemInfo i;
    i.name = name;
    i.title = title;
    i.moneyCost = cost;
    return i;
}

MsgsInfo record(const QString& type, const QString& username, qint32 grade) {
    MsgsInfo m;
    m.type = type;
    m.username = username;
    m.grade = grade;
    return m;
}

MsgsInfo chat(const QString& type, const QString& content, const QString& username, qint32 grade) {
    MsgsInfo m = record(type, username, grade);
    m.content = content;
    return m;
}

MsgsInfo gift(const QString& type, const QString& itemType, const QString& title, qint32 number,
              double cost, const QString& username, qint32 grade) {
    MsgsInfo m = record(type, username, grade);
    m.itemType = itemType;
    m.itemTitle = title;
    m.number = number;
    m.moneyCost = cost;
    return m;
}

const QString kFlowerTitle = QStringLiteral("鲜花");
const QString kNamelessTitle = QStringLiteral("神秘礼物");

// A priced flower, so that a found entry differs from "not found" in both outputs, and an
// entry without a name, which an empty item key matches.
QList<ItemInfo> decodeCatalogue() {
    return {item(QStringLiteral("flower"), kFlowerTitle, 1.5),
            item(QString(), kNamelessTitle, 2.0)};
}

} // namespace

class TestDecoding : public QObject {
    Q_OBJECT

private slots:
    void readJsonInt_data();
    void readJsonInt();
    void jsonToInt32NonFinite_data();
    void jsonToInt32NonFinite();
    void readJsonString_data();
    void readJsonString();
    void decodeMessageEntry_data();
    void decodeMessageEntry();
    void decodeKeepsArrayOrder();
    void longTextsAreCut();
    void parseCatalogue_data();
    void parseCatalogue();
    void findItem_data();
    void findItem();
    void indexedLookupFolding_data();
    void indexedLookupFolding();
    void indexedLookupEveryCharacter_data();
    void indexedLookupEveryCharacter();
    void parseObjectBody_data();
    void parseObjectBody();
    void readRoomInfo_data();
    void readRoomInfo();
    void readGroup_data();
    void readGroup();
    void readPoll_data();
    void readPoll();
    void clampNextSeconds_data();
    void clampNextSeconds();
};

// ---- ReadJsonInt / ReadJsonString -------------------------------------------------------

void TestDecoding::readJsonInt_data() {
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<qint32>("expected");

    // `out` starts at 77 and the default is -1, so "left alone" and "default" differ.
    QTest::newRow("absent key leaves out unchanged") << QByteArray(R"({"other": 5})") << 77;
    QTest::newRow("key differs in case: absent") << QByteArray(R"({"K": 5})") << 77;
    QTest::newRow("whole number") << QByteArray(R"({"k": 12})") << 12;
    QTest::newRow("zero") << QByteArray(R"({"k": 0})") << 0;
    QTest::newRow("negative whole number") << QByteArray(R"({"k": -7})") << -7;
    QTest::newRow("whole value written with a fraction part") << QByteArray(R"({"k": 12.0})") << 12;
    QTest::newRow("whole value in exponent form") << QByteArray(R"({"k": 1e3})") << 1000;
    QTest::newRow("2^31-1 accepted") << QByteArray(R"({"k": 2147483647})") << INT_MAX;
    QTest::newRow("-2^31 accepted") << QByteArray(R"({"k": -2147483648})") << INT_MIN;
    QTest::newRow("2^31 out of range") << QByteArray(R"({"k": 2147483648})") << -1;
    QTest::newRow("-2^31-1 out of range") << QByteArray(R"({"k": -2147483649})") << -1;
    QTest::newRow("2^32 does not wrap to 0") << QByteArray(R"({"k": 4294967296})") << -1;
    QTest::newRow("1e300") << QByteArray(R"({"k": 1e300})") << -1;
    QTest::newRow("-1e300") << QByteArray(R"({"k": -1e300})") << -1;
    QTest::newRow("fraction 12.5") << QByteArray(R"({"k": 12.5})") << -1;
    QTest::newRow("negative fraction -0.5") << QByteArray(R"({"k": -0.5})") << -1;
    QTest::newRow("string of digits") << QByteArray(R"({"k": "12"})") << -1;
    QTest::newRow("bool true") << QByteArray(R"({"k": true})") << -1;
    QTest::newRow("bool false") << QByteArray(R"({"k": false})") << -1;
    QTest::newRow("null") << QByteArray(R"({"k": null})") << -1;
    QTest::newRow("object") << QByteArray(R"({"k": {"v": 1}})") << -1;
    QTest::newRow("array") << QByteArray(R"({"k": [1]})") << -1;
}

void TestDecoding::readJsonInt() {
    QFETCH(QByteArray, object);
    QFETCH(qint32, expected);
    const QJsonValue parsed = parseValue(object);
    QVERIFY2(parsed.isObject(), "test JSON must be an object");
    qint32 out = 77;
    ReadJsonInt(parsed.toObject(), QStringLiteral("k"), -1, out);
    QCOMPARE(out, expected);
}

// Values that JSON text cannot carry but a QJsonValue can: never cast to an integer.
void TestDecoding::jsonToInt32NonFinite_data() {
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("NaN") << QJsonValue(std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("+infinity") << QJsonValue(std::numeric_limits<double>::infinity());
    QTest::newRow("-infinity") << QJsonValue(-std::numeric_limits<double>::infinity());
    QTest::newRow("undefined") << QJsonValue(QJsonValue::Undefined);
}

void TestDecoding::jsonToInt32NonFinite() {
    QFETCH(QJsonValue, value);
    QCOMPARE(jsonToInt32(value, -3), -3);
}

void TestDecoding::readJsonString_data() {
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QString>("expected");

    // `out` starts as "old" and the default is "dflt".
    QTest::newRow("absent key leaves out unchanged")
        << QByteArray(R"({"other": "x"})") << QStringLiteral("old");
    QTest::newRow("key differs in case: absent")
        << QByteArray(R"({"K": "x"})") << QStringLiteral("old");
    QTest::newRow("string") << QByteArray(R"({"k": "abc"})") << QStringLiteral("abc");
    QTest::newRow("empty string replaces") << QByteArray(R"({"k": ""})") << QString();
    QTest::newRow("string of digits stays text")
        << QByteArray(R"({"k": "12"})") << QStringLiteral("12");
    QTest::newRow("non-ASCII text") << QByteArray(R"({"k": "你好"})") << QStringLiteral("你好");
    QTest::newRow("escaped text") << QByteArray(R"({"k": "a\"b\u00e4"})")
                                  << QStringLiteral("a\"bä");
    QTest::newRow("number") << QByteArray(R"({"k": 42})") << QStringLiteral("dflt");
    QTest::newRow("fraction") << QByteArray(R"({"k": 12.5})") << QStringLiteral("dflt");
    QTest::newRow("bool") << QByteArray(R"({"k": true})") << QStringLiteral("dflt");
    QTest::newRow("null") << QByteArray(R"({"k": null})") << QStringLiteral("dflt");
    QTest::newRow("object") << QByteArray(R"({"k": {"v": "x"}})") << QStringLiteral("dflt");
    QTest::newRow("array") << QByteArray(R"({"k": ["x"]})") << QStringLiteral("dflt");
}

void TestDecoding::readJsonString() {
    QFETCH(QByteArray, object);
    QFETCH(QString, expected);
    const QJsonValue parsed = parseValue(object);
    QVERIFY2(parsed.isObject(), "test JSON must be an object");
    QString out = QStringLiteral("old");
    ReadJsonString(parsed.toObject(), QStringLiteral("k"), QStringLiteral("dflt"), out);
    QCOMPARE(out, expected);
}

// ---- decodeMessageEntry -----------------------------------------------------------------

void TestDecoding::decodeMessageEntry_data() {
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QList<ItemInfo>>("catalogue");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<MsgsInfo>("expected");

    const QList<ItemInfo> cat = decodeCatalogue();
    const QString chatWord = QStringLiteral("chat");
    const QString giftWord = QStringLiteral("gift");
    const QString name = QStringLiteral("阿明");

    // Kinds.
    QTest::newRow("chat")
        << QByteArray(
               R"({"type":"chat","msg":{"content":"你好","user":{"username":"阿明","grade":12}}})")
        << cat << true << chat(chatWord, QStringLiteral("你好"), name, 12);
    QTest::newRow("Chat capitalised is decoded as chat, case kept")
        << QByteArray(R"({"type":"Chat","msg":{"content":"hi","user":{"username":"a","grade":1}}})")
        << cat << true
        << chat(QStringLiteral("Chat"), QStringLiteral("hi"), QStringLiteral("a"), 1);
    QTest::newRow("CHAT in capitals")
        << QByteArray(R"({"type":"CHAT","msg":{"content":"hi","user":{"username":"a"}}})") << cat
        << true << chat(QStringLiteral("CHAT"), QStringLiteral("hi"), QStringLiteral("a"), 0);
    QTest::newRow("gift, catalogue name differs in case")
        << QByteArray(
               R"({"type":"gift","msg":{"itemType":"FLOWER","number":3,"user":{"username":"阿明","grade":5}}})")
        << cat << true << gift(giftWord, QStringLiteral("FLOWER"), kFlowerTitle, 3, 1.5, name, 5);
    QTest::newRow("Gift capitalised")
        << QByteArray(R"({"type":"Gift","msg":{"itemType":"flower","number":1,"user":{}}})") << cat
        << true
        << gift(QStringLiteral("Gift"), QStringLiteral("flower"), kFlowerTitle, 1, 1.5, {}, 0);
    QTest::newRow("other kind reads only user")
        << QByteArray(
               R"({"type":"enter","msg":{"content":"c","itemType":"flower","number":2,"user":{"username":"a","grade":3}}})")
        << cat << true << record(QStringLiteral("enter"), QStringLiteral("a"), 3);
    QTest::newRow("no type: queued, only the user read")
        << QByteArray(R"({"msg":{"content":"c","user":{"username":"a","grade":3}}})") << cat << true
        << record(QString(), QStringLiteral("a"), 3);
    QTest::newRow("type not a string: empty type")
        << QByteArray(R"({"type":1,"msg":{"content":"c","user":{"username":"a"}}})") << cat << true
        << record(QString(), QStringLiteral("a"), 0);
    QTest::newRow("type with a trailing space is another kind")
        << QByteArray(R"({"type":"chat ","msg":{"content":"c","user":{"username":"a"}}})") << cat
        << true << record(QStringLiteral("chat "), QStringLiteral("a"), 0);
    QTest::newRow("empty user object: empty name, grade 0")
        << QByteArray(R"({"type":"chat","msg":{"content":"c","user":{}}})") << cat << true
        << chat(chatWord, QStringLiteral("c"), QString(), 0);

    // Dropped entries.
    const MsgsInfo none;
    QTest::newRow("entry is a number") << QByteArray("5") << cat << false << none;
    QTest::newRow("entry is a string") << QByteArray(R"("chat")") << cat << false << none;
    QTest::newRow("entry is an array")
        << QByteArray(R"([{"type":"chat","msg":{"content":"c","user":{}}}])") << cat << false
        << none;
    QTest::newRow("entry is null") << QByteArray("null") << cat << false << none;
    QTest::newRow("msg absent") << QByteArray(R"({"type":"chat","user":{"username":"a"}})") << cat
                                << false << none;
    QTest::newRow("msg is a string")
        << QByteArray(R"({"type":"chat","msg":"hello"})") << cat << false << none;
    QTest::newRow("msg is an array")
        << QByteArray(R"({"type":"chat","msg":[{"content":"c","user":{}}]})") << cat << false
        << none;
    QTest::newRow("msg is null") << QByteArray(R"({"type":"chat","msg":null})") << cat << false
                                 << none;
    QTest::newRow("user absent") << QByteArray(R"({"type":"chat","msg":{"content":"c"}})") << cat
                                 << false << none;
    QTest::newRow("user beside msg, not inside")
        << QByteArray(R"({"type":"chat","msg":{"content":"c"},"user":{"username":"a"}})") << cat
        << false << none;
    QTest::newRow("user is a string")
        << QByteArray(R"({"type":"chat","msg":{"content":"c","user":"a"}})") << cat << false
        << none;
    QTest::newRow("user is an array")
        << QByteArray(R"({"type":"chat","msg":{"content":"c","user":[{"username":"a"}]}})") << cat
        << false << none;
    QTest::newRow("user is null") << QByteArray(
                                         R"({"type":"chat","msg":{"content":"c","user":null}})")
                                  << cat << false << none;
    QTest::newRow("gift without user")
        << QByteArray(R"({"type":"gift","msg":{"itemType":"flower","number":3}})") << cat << false
        << none;

    // Fields of the wrong type.
    QTest::newRow("content is the number 42")
        << QByteArray(R"({"type":"chat","msg":{"content":42,"user":{"username":"a","grade":2}}})")
        << cat << true << chat(chatWord, QString(), QStringLiteral("a"), 2);
    QTest::newRow("grade 12.5")
        << QByteArray(
               R"({"type":"chat","msg":{"content":"c","user":{"username":"a","grade":12.5}}})")
        << cat << true << chat(chatWord, QStringLiteral("c"), QStringLiteral("a"), 0);
    QTest::newRow("grade as the string 12")
        << QByteArray(
               R"({"type":"chat","msg":{"content":"c","user":{"username":"a","grade":"12"}}})")
        << cat << true << chat(chatWord, QStringLiteral("c"), QStringLiteral("a"), 0);
    QTest::newRow("username is a number")
        << QByteArray(R"({"type":"chat","msg":{"content":"c","user":{"username":7,"grade":1}}})")
        << cat << true << chat(chatWord, QStringLiteral("c"), QString(), 1);
    QTest::newRow("gift number as a string")
        << QByteArray(R"({"type":"gift","msg":{"itemType":"flower","number":"3","user":{}}})")
        << cat << true << gift(giftWord, QStringLiteral("flower"), kFlowerTitle, 0, 1.5, {}, 0);
    QTest::newRow("gift number 2^31 out of range")
        << QByteArray(
               R"({"type":"gift","msg":{"itemType":"flower","number":2147483648,"user":{}}})")
        << cat << true << gift(giftWord, QStringLiteral("flower"), kFlowerTitle, 0, 1.5, {}, 0);

    // Keys that belong to the other kind are not read.
    QTest::newRow("gift carrying content leaves content empty")
        << QByteArray(
               R"({"type":"gift","msg":{"content":"c","itemType":"flower","number":2,"user":{"username":"a"}}})")
        << cat << true
        << gift(giftWord, QStringLiteral("flower"), kFlowerTitle, 2, 1.5, QStringLiteral("a"), 0);
    QTest::newRow("chat carrying itemType and number leaves them empty")
        << QByteArray(
               R"({"type":"chat","msg":{"content":"c","itemType":"flower","number":2,"user":{"username":"a"}}})")
        << cat << true << chat(chatWord, QStringLiteral("c"), QStringLiteral("a"), 0);

    // Catalogue lookups.
    QTest::newRow("gift not in the catalogue: empty title, cost 0")
        << QByteArray(R"({"type":"gift","msg":{"itemType":"rocket","number":1,"user":{}}})") << cat
        << true << gift(giftWord, QStringLiteral("rocket"), QString(), 1, 0.0, {}, 0);
    QTest::newRow("gift with an empty catalogue")
        << QByteArray(R"({"type":"gift","msg":{"itemType":"flower","number":1,"user":{}}})")
        << QList<ItemInfo>() << true
        << gift(giftWord, QStringLiteral("flower"), QString(), 1, 0.0, {}, 0);
    QTest::newRow("empty itemType matches the entry without a name")
        << QByteArray(R"({"type":"gift","msg":{"itemType":"","number":1,"user":{}}})") << cat
        << true << gift(giftWord, QString(), kNamelessTitle, 1, 2.0, {}, 0);
    QTest::newRow("itemType absent is empty and matches the entry without a name")
        << QByteArray(R"({"type":"gift","msg":{"number":1,"user":{}}})") << cat << true
        << gift(giftWord, QString(), kNamelessTitle, 1, 2.0, {}, 0);
    QTest::newRow("empty itemType, no entry without a name")
        << QByteArray(R"({"type":"gift","msg":{"itemType":"","number":1,"user":{}}})")
        << QList<ItemInfo>{item(QStringLiteral("flower"), kFlowerTitle, 1.5)} << true
        << gift(giftWord, QString(), QString(), 1, 0.0, {}, 0);
}

void TestDecoding::decodeMessageEntry() {
    QFETCH(QByteArray, entry);
    QFETCH(QList<ItemInfo>, catalogue);
    QFETCH(bool, queued);
    QFETCH(MsgsInfo, expected);
    const QJsonValue value = parseValue(entry);
    QVERIFY2(!value.isUndefined(), "test JSON does not parse");

    const std::optional<MsgsInfo> decoded = ::decodeMessageEntry(value, GiftCatalogue(catalogue));
    QCOMPARE(decoded.has_value(), queued);
    if (decoded)
        QCOMPARE(describe(*decoded), describe(expected));
}

// Decoding one element at a time over a "msgs" array keeps the array's order and drops the
// elements that are not objects.
void TestDecoding::decodeKeepsArrayOrder() {
    const QJsonValue msgs = parseValue(R"([
        {"type":"chat","msg":{"content":"1","user":{"username":"a"}}},
        7,
        {"type":"chat","msg":{"content":"2","user":{"username":"b"}}},
        "x",
        {"type":"chat","msg":{"content":"3","user":{"username":"c"}}}])");
    QVERIFY(msgs.isArray());
    QStringList order;
    for (const QJsonValue& entry : msgs.toArray()) {
        if (const auto decoded = ::decodeMessageEntry(entry, {}))
            order << decoded->content + decoded->username;
    }
    QCOMPARE(order, QStringList({"1a", "2b", "3c"}));
}

// ---- parseCatalogue / FindItem ----------------------------------------------------------

void TestDecoding::longTextsAreCut() {
    const auto entry = [](const QString& text) {
        return QJsonObject{
            {"type", "chat"},
            {"msg", QJsonObject{{"content", text}, {"user", QJsonObject{{"username", text}}}}}};
    };
    const QString exact(kMaxTextLength, QLatin1Char('a'));
    QCOMPARE(::decodeMessageEntry(entry(exact), {})->content, exact);
    const auto cut = ::decodeMessageEntry(entry(exact + QStringLiteral("bc")), {});
    QCOMPARE(cut->content, exact);
    QCOMPARE(cut->username, exact);
    // A character outside the basic plane straddling the limit goes whole.
    const QString straddling = QString(kMaxTextLength - 1, QLatin1Char('a')) + QStringLiteral("😀");
    QCOMPARE(::decodeMessageEntry(entry(straddling), {})->content,
             QString(kMaxTextLength - 1, QLatin1Char('a')));
}

void TestDecoding::parseCatalogue_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("hasValue");
    QTest::addColumn<QList<ItemInfo>>("expected");

    // Nothing: the catalogue held so far stays.
    QTest::newRow("empty body") << QByteArray() << false << QList<ItemInfo>();
    QTest::newRow("whitespace only") << QByteArray("  \n") << false << QList<ItemInfo>();
    QTest::newRow("invalid JSON") << QByteArray(R"([{"name":"a")") << false << QList<ItemInfo>();
    QTest::newRow("garbage after the array")
        << QByteArray(R"([{"name":"a"}] x)") << false << QList<ItemInfo>();
    QTest::newRow("object instead of array")
        << QByteArray(R"({"name":"a","title":"A"})") << false << QList<ItemInfo>();
    QTest::newRow("empty array") << QByteArray("[]") << false << QList<ItemInfo>();

    // A list, possibly empty: the catalogue is replaced.
    QTest::newRow("all numbers: empty list")
        << QByteArray("[1, 2, 3]") << true << QList<ItemInfo>();
    QTest::newRow("no objects at all: empty list")
        << QByteArray(R"(["a", null, true, [{"name":"x"}]])") << true << QList<ItemInfo>();
    QTest::newRow("full entry") << QByteArray(R"([{"name":"rose","title":"玫瑰","moneyCost":10}])")
                                << true
                                << QList<ItemInfo>{item("rose", QStringLiteral("玫瑰"), 10.0)};
    QTest::newRow("non-objects skipped, order kept")
        << QByteArray(R"([1, {"name":"a","title":"A","moneyCost":0.5}, "x", {"name":"b"}])") << true
        << QList<ItemInfo>{item("a", "A", 0.5), item("b", {}, 0.0)};
    QTest::newRow("element without name") << QByteArray(R"([{"title":"T","moneyCost":3}])") << true
                                          << QList<ItemInfo>{item({}, "T", 3.0)};
    QTest::newRow("empty object still added")
        << QByteArray("[{}]") << true << QList<ItemInfo>{item({}, {}, 0.0)};
    QTest::newRow("moneyCost as a string of digits")
        << QByteArray(R"([{"name":"a","title":"A","moneyCost":"10"}])") << true
        << QList<ItemInfo>{item("a", "A", 0.0)};
    QTest::newRow("moneyCost as bool or null")
        << QByteArray(R"([{"name":"a","moneyCost":true},{"name":"b","moneyCost":null}])") << true
        << QList<ItemInfo>{item("a", {}, 0.0), item("b", {}, 0.0)};
    QTest::newRow("fractional moneyCost kept") << QByteArray(R"([{"name":"a","moneyCost":0.1}])")
                                               << true << QList<ItemInfo>{item("a", {}, 0.1)};
    QTest::newRow("name and title not strings")
        << QByteArray(R"([{"name":5,"title":{"t":1},"moneyCost":1}])") << true
        << QList<ItemInfo>{item({}, {}, 1.0)};
    QTest::newRow("other keys ignored")
        << QByteArray(R"([{"name":"a","title":"A","moneyCost":1,"id":9,"icon":"x.png"}])") << true
        << QList<ItemInfo>{item("a", "A", 1.0)};
    QTest::newRow("duplicate names kept in order")
        << QByteArray(
               R"([{"name":"rose","title":"first","moneyCost":1},{"name":"ROSE","title":"second","moneyCost":2},{"name":"rose","title":"third","moneyCost":3}])")
        << true
        << QList<ItemInfo>{item("rose", "first", 1.0), item("ROSE", "second", 2.0),
                           item("rose", "third", 3.0)};
}

void TestDecoding::parseCatalogue() {
    QFETCH(QByteArray, body);
    QFETCH(bool, hasValue);
    QFETCH(QList<ItemInfo>, expected);
    const std::optional<QList<ItemInfo>> parsed = ::parseCatalogue(body);
    QCOMPARE(parsed.has_value(), hasValue);
    if (parsed)
        QCOMPARE(describe(*parsed), describe(expected));
}

void TestDecoding::findItem_data() {
    QTest::addColumn<QList<ItemInfo>>("catalogue");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("title");
    QTest::addColumn<double>("cost");

    const QList<ItemInfo> cat{item("rose", "first rose", 1.0), item("ROSE", "second rose", 2.0),
                              item("flower", "Flower", 0.0),
                              item(QStringLiteral("Äpfel"), "Apples", 4.0),
                              item(QStringLiteral("ΣΟΦΙΑ"), "Sofia", 5.0)};

    // Outputs start as "old" and 9.5, so every row also checks that they are overwritten.
    QTest::newRow("exact name") << cat << "flower"
                                << "Flower" << 0.0;
    QTest::newRow("first of equal names wins") << cat << "rose"
                                               << "first rose" << 1.0;
    QTest::newRow("first wins also when a later one matches the case exactly")
        << cat << "ROSE"
        << "first rose" << 1.0;
    QTest::newRow("mixed case") << cat << "FlOwEr"
                                << "Flower" << 0.0;
    QTest::newRow("non-ASCII: a umlaut vs A umlaut")
        << cat << QStringLiteral("äPFEL") << "Apples" << 4.0;
    QTest::newRow("non-ASCII: Greek small letters")
        << cat << QStringLiteral("σοφια") << "Sofia" << 5.0;
    QTest::newRow("no match overwrites outputs") << cat << "rocket"
                                                 << "" << 0.0;
    QTest::newRow("prefix is no match") << cat << "flow"
                                        << "" << 0.0;
    QTest::newRow("surrounding space is no match") << cat << " rose"
                                                   << "" << 0.0;
    QTest::newRow("empty key, no nameless entry") << cat << ""
                                                  << "" << 0.0;
    QTest::newRow("empty key matches the nameless entry")
        << (QList<ItemInfo>(cat) << item({}, "nameless", 6.0)) << ""
        << "nameless" << 6.0;
    QTest::newRow("empty catalogue overwrites outputs") << QList<ItemInfo>() << "rose"
                                                        << "" << 0.0;
}

void TestDecoding::findItem() {
    QFETCH(QList<ItemInfo>, catalogue);
    QFETCH(QString, key);
    QFETCH(QString, title);
    QFETCH(double, cost);
    QString outTitle = QStringLiteral("old");
    double outCost = 9.5;
    FindItem(catalogue, key, outTitle, outCost);
    QCOMPARE(outTitle, title);
    QCOMPARE(outCost, cost);

    QString indexedTitle = QStringLiteral("old");
    double indexedCost = 9.5;
    FindItem(GiftCatalogue(catalogue), key, indexedTitle, indexedCost);
    QCOMPARE(indexedTitle, title);
    QCOMPARE(indexedCost, cost);
}

// The index must find what QString::compare(..., Qt::CaseInsensitive) finds, which folds each
// character on its own (simple case folding), unlike lower-casing and unlike full folding.
// Every name has its own title and price, so a row also tells which entry was found.
void TestDecoding::indexedLookupFolding_data() {
    QTest::addColumn<QList<ItemInfo>>("catalogue");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("title");

    const QChar loneHigh(0xD801);
    const QChar loneLow(0xDC00);
    const QStringList names{
        QStringLiteral("rose"),
        QStringLiteral("ROSE"),
        QStringLiteral("LILY"),
        QStringLiteral("lily"),
        QStringLiteral("Äpfel"),
        QStringLiteral("ΣΟΦΟΣ"),
        QStringLiteral("σοφος"), // folds as the one before: final sigma folds to sigma
        QStringLiteral("straße"),
        QStringLiteral("istanbul"),
        QStringLiteral("ısparta"),              // dotless i
        QStringLiteral("\u13E3\u13B3\u13A9"),   // Cherokee capitals: the small ones fold to them
        QStringLiteral("\U00010400\U00010401"), // Deseret capitals, outside the basic plane
        QStringLiteral("kelvin"),
        QStringLiteral("µ-gift"), // micro sign
        QStringLiteral("\u01C6"), // dz digraph, small
        QStringLiteral("sun"),
        QStringLiteral("\uFB00"), // ff ligature
        QStringLiteral("\u0390"), // iota with dialytika and tonos
        QString(loneHigh) + QLatin1Char('S'),
        QLatin1Char('x') + QString(loneLow),
        QString(),
    };
    QList<ItemInfo> cat;
    for (int i = 0; i < names.size(); ++i)
        cat << item(names.at(i), QStringLiteral("#%1 %2").arg(i).arg(names.at(i)), i);
    const auto titleOf = [&](int i) { return cat.at(i).title; };
    const QString none;

    QTest::newRow("ASCII, other case") << cat << QStringLiteral("Rose") << titleOf(0);
    QTest::newRow("names differing only in case: first wins")
        << cat << QStringLiteral("rOsE") << titleOf(0);
    QTest::newRow("first wins over a later one in the key's exact case")
        << cat << QStringLiteral("lily") << titleOf(2);
    QTest::newRow("Latin-1: a umlaut for A umlaut") << cat << QStringLiteral("äpfel") << titleOf(4);
    QTest::newRow("Latin-1: capitals") << cat << QStringLiteral("ÄPFEL") << titleOf(4);
    QTest::newRow("Greek: small sigma for capital") << cat << QStringLiteral("σοφοσ") << titleOf(5);
    QTest::newRow("Greek: final sigma, first of two names that fold alike")
        << cat << QStringLiteral("σοφος") << titleOf(5);
    QTest::newRow("Greek: final sigma in capitals") << cat << QStringLiteral("ΣΟΦΟς") << titleOf(5);
    QTest::newRow("German: capital sharp s folds to sharp s")
        << cat << QStringLiteral("STRA\u1E9EE") << titleOf(7);
    QTest::newRow("German: sharp s is not SS") << cat << QStringLiteral("STRASSE") << none;
    QTest::newRow("German: sharp s is not ss") << cat << QStringLiteral("strasse") << none;
    QTest::newRow("Turkish: I for i") << cat << QStringLiteral("ISTANBUL") << titleOf(8);
    QTest::newRow("Turkish: dotted capital I is not i")
        << cat << QStringLiteral("\u0130STANBUL") << none;
    QTest::newRow("Turkish: dotless i is not i") << cat << QStringLiteral("ıstanbul") << none;
    QTest::newRow("Turkish: I is not dotless i") << cat << QStringLiteral("ISPARTA") << none;
    QTest::newRow("Turkish: dotless i for itself")
        << cat << QStringLiteral("ıSPARTA") << titleOf(9);
    QTest::newRow("Cherokee: small letters, which fold to capitals")
        << cat << QStringLiteral("\uABB3\uAB83\uAB79") << titleOf(10);
    QTest::newRow("Deseret: small letters for capitals")
        << cat << QStringLiteral("\U00010428\U00010429") << titleOf(11);
    QTest::newRow("Deseret: mixed case")
        << cat << QStringLiteral("\U00010400\U00010429") << titleOf(11);
    QTest::newRow("Deseret: a capital and a small letter are not the same letter")
        << cat << QStringLiteral("\U00010428\U00010428") << none;
    QTest::newRow("Kelvin sign folds to k") << cat << QStringLiteral("\u212AELVIN") << titleOf(12);
    QTest::newRow("capital mu for micro sign")
        << cat << QStringLiteral("\u039C-GIFT") << titleOf(13);
    QTest::newRow("small mu for micro sign") << cat << QStringLiteral("\u03BC-gift") << titleOf(13);
    QTest::newRow("titlecase digraph Dz") << cat << QStringLiteral("\u01C5") << titleOf(14);
    QTest::newRow("capital digraph DZ") << cat << QStringLiteral("\u01C4") << titleOf(14);
    QTest::newRow("long s folds to s") << cat << QStringLiteral("\u017FUN") << titleOf(15);
    QTest::newRow("ligature is not its letters") << cat << QStringLiteral("FF") << none;
    QTest::newRow("Greek: the same letter encoded twice is not joined by simple folding")
        << cat << QStringLiteral("\u1FD3") << none;
    QTest::newRow("after a lone high surrogate, letters still fold")
        << cat << QString(loneHigh) + QLatin1Char('s') << titleOf(18);
    QTest::newRow("lone low surrogate, letter in other case")
        << cat << QLatin1Char('X') + QString(loneLow) << titleOf(19);
    QTest::newRow("lone low surrogate is not folded as half of a pair")
        << cat << QLatin1Char('x') + QString(QChar(0xDC28)) << none;
    QTest::newRow("empty key: the nameless entry") << cat << QStringLiteral("") << titleOf(20);
    QTest::newRow("null key: the nameless entry") << cat << QString() << titleOf(20);
    QTest::newRow("name absent") << cat << QStringLiteral("rocket") << none;
    QTest::newRow("longer than a name") << cat << QStringLiteral("roses") << none;
    QTest::newRow("shorter than a name") << cat << QStringLiteral("ros") << none;
}

void TestDecoding::indexedLookupFolding() {
    QFETCH(QList<ItemInfo>, catalogue);
    QFETCH(QString, key);
    QFETCH(QString, title);

    QString linearTitle = QStringLiteral("old");
    double linearCost = -1.0;
    FindItem(catalogue, key, linearTitle, linearCost);
    QCOMPARE(linearTitle, title);

    const GiftCatalogue indexed(catalogue);
    QString indexedTitle = QStringLiteral("old");
    double indexedCost = -1.0;
    FindItem(indexed, key, indexedTitle, indexedCost);
    QCOMPARE(indexedTitle, linearTitle);
    QCOMPARE(indexedCost, linearCost);
    const ItemInfo* found = indexed.find(key);
    QCOMPARE(found ? found->title : QString(), linearTitle);
}

// Every character against Qt's own comparison: the names, each a character after `prefix`, that
// compare equal to another one ignoring case go into one catalogue, in code point order, and
// each is looked up in it both ways. All other names match nothing in it. A lone high surrogate
// before the character is where QString::toCaseFolded() stops agreeing with the comparison.
void TestDecoding::indexedLookupEveryCharacter_data() {
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("last");
    QTest::addColumn<QString>("prefix");
    // A character of one plane never equals one of another: they differ in UTF-16 length.
    const QString loneHigh(QChar(0xD801));
    QTest::newRow("basic plane, lone surrogates included") << 0x0u << 0xFFFFu << QString();
    QTest::newRow("basic plane after a lone high surrogate") << 0x0u << 0xFFFFu << loneHigh;
    QTest::newRow("supplementary planes") << 0x10000u << 0x10FFFFu << QString();
    QTest::newRow("supplementary planes after a lone high surrogate")
        << 0x10000u << 0x10FFFFu << loneHigh;
}

void TestDecoding::indexedLookupEveryCharacter() {
    QFETCH(uint, first);
    QFETCH(uint, last);
    QFETCH(QString, prefix);

    QVector<QString> names;
    names.reserve(static_cast<int>(last - first + 1));
    for (uint c = first; c <= last; ++c)
        names << prefix + (QChar::requiresSurrogates(c) ? QString(QChar(QChar::highSurrogate(c))) +
                                                              QChar(QChar::lowSurrogate(c))
                                                        : QString(QChar(static_cast<ushort>(c))));

    // Equal names end up side by side.
    QVector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return names.at(a).compare(names.at(b), Qt::CaseInsensitive) < 0;
    });
    QVector<bool> partnered(names.size(), false);
    for (int i = 1; i < order.size(); ++i) {
        const int a = order.at(i - 1);
        const int b = order.at(i);
        if (names.at(a).compare(names.at(b), Qt::CaseInsensitive) == 0)
            partnered[a] = partnered[b] = true;
    }

    QList<ItemInfo> catalogue;
    for (int i = 0; i < names.size(); ++i) {
        if (partnered.at(i))
            catalogue << item(names.at(i), QString::number(first + i, 16), i);
    }
    QVERIFY2(catalogue.size() > 1, "no names that differ only in case");
    const GiftCatalogue indexed(catalogue);

    QStringList mismatches;
    for (int i = 0; i < names.size() && mismatches.size() < 20; ++i) {
        const QString& key = names.at(i);
        QString linearTitle;
        double linearCost = 0.0;
        if (partnered.at(i))
            FindItem(catalogue, key, linearTitle, linearCost);
        QString indexedTitle;
        double indexedCost = 0.0;
        FindItem(indexed, key, indexedTitle, indexedCost);
        if (indexedTitle != linearTitle || indexedCost != linearCost)
            mismatches << QStringLiteral("U+%1: [%2] instead of [%3]")
                              .arg(QString::number(first + i, 16), indexedTitle, linearTitle);
    }
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QStringLiteral("; "))));
}

// ---- Room, join and poll replies --------------------------------------------------------

void TestDecoding::parseObjectBody_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("hasValue");
    QTest::addColumn<QJsonObject>("expected");

    QTest::newRow("empty body") << QByteArray() << false << QJsonObject();
    QTest::newRow("not JSON") << QByteArray("<html>502</html>") << false << QJsonObject();
    QTest::newRow("truncated object") << QByteArray(R"({"a": 1)") << false << QJsonObject();
    QTest::newRow("garbage after the object")
        << QByteArray(R"({"a": 1} x)") << false << QJsonObject();
    QTest::newRow("array") << QByteArray(R"([{"a": 1}])") << false << QJsonObject();
    QTest::newRow("empty array") << QByteArray("[]") << false << QJsonObject();
    QTest::newRow("bare string") << QByteArray(R"("a")") << false << QJsonObject();
    QTest::newRow("bare null") << QByteArray("null") << false << QJsonObject();
    QTest::newRow("empty object") << QByteArray("{}") << true << QJsonObject();
    QTest::newRow("object with keys")
        << QByteArray(R"( {"a": 1, "b": "x"} )") << true
        << QJsonObject{{QStringLiteral("a"), 1}, {QStringLiteral("b"), QStringLiteral("x")}};
}

void TestDecoding::parseObjectBody() {
    QFETCH(QByteArray, body);
    QFETCH(bool, hasValue);
    QFETCH(QJsonObject, expected);
    const std::optional<QJsonObject> parsed = ::parseObjectBody(body);
    QCOMPARE(parsed.has_value(), hasValue);
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void TestDecoding::readRoomInfo_data() {
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<bool>("hasId");
    QTest::addColumn<qint32>("id");
    QTest::addColumn<bool>("hasCount");
    QTest::addColumn<qint32>("count");
    QTest::addColumn<bool>("live");

    QTest::newRow("full reply")
        << QByteArray(R"({"BaseRoomInfo":{"Id":1234},"OnlineCount":5,"IsBroadcasting":true})")
        << true << 1234 << true << 5 << true;
    QTest::newRow("other keys ignored")
        << QByteArray(R"({"BaseRoomInfo":{"Id":8,"Name":"x"},"OnlineCount":1,"Extra":[1]})") << true
        << 8 << true << 1 << false;
    QTest::newRow("Id 0, count 5, no IsBroadcasting")
        << QByteArray(R"({"BaseRoomInfo":{"Id":0},"OnlineCount":5})") << false << 0 << true << 5
        << false;
    QTest::newRow("negative Id is usable")
        << QByteArray(R"({"BaseRoomInfo":{"Id":-7}})") << true << -7 << false << 0 << false;
    QTest::newRow("Id as a string")
        << QByteArray(R"({"BaseRoomInfo":{"Id":"1234"}})") << false << 0 << false << 0 << false;
    QTest::newRow("Id fractional")
        << QByteArray(R"({"BaseRoomInfo":{"Id":12.5}})") << false << 0 << false << 0 << false;
    QTest::newRow("Id 2^31") << QByteArray(R"({"BaseRoomInfo":{"Id":2147483648}})") << false << 0
                             << false << 0 << false;
    QTest::newRow("Id absent") << QByteArray(R"({"BaseRoomInfo":{}})") << false << 0 << false << 0
                               << false;
    QTest::newRow("Id at the top level, not inside")
        << QByteArray(R"({"Id":1234})") << false << 0 << false << 0 << false;
    QTest::newRow("BaseRoomInfo is an array")
        << QByteArray(R"({"BaseRoomInfo":[{"Id":1234}]})") << false << 0 << false << 0 << false;
    QTest::newRow("BaseRoomInfo is a string")
        << QByteArray(R"({"BaseRoomInfo":"1234"})") << false << 0 << false << 0 << false;
    QTest::newRow("BaseRoomInfo is null")
        << QByteArray(R"({"BaseRoomInfo":null})") << false << 0 << false << 0 << false;
    QTest::newRow("OnlineCount absent: no count")
        << QByteArray(R"({"BaseRoomInfo":{"Id":3},"IsBroadcasting":true})") << true << 3 << false
        << 0 << true;
    QTest::newRow("OnlineCount zero is a count")
        << QByteArray(R"({"OnlineCount":0})") << false << 0 << true << 0 << false;
    QTest::newRow("OnlineCount as a string: count 0")
        << QByteArray(R"({"OnlineCount":"5"})") << false << 0 << true << 0 << false;
    QTest::newRow("OnlineCount null: count 0")
        << QByteArray(R"({"OnlineCount":null})") << false << 0 << true << 0 << false;
    QTest::newRow("IsBroadcasting false")
        << QByteArray(R"({"IsBroadcasting":false})") << false << 0 << false << 0 << false;
    QTest::newRow("IsBroadcasting as number 1")
        << QByteArray(R"({"IsBroadcasting":1})") << false << 0 << false << 0 << false;
    QTest::newRow("IsBroadcasting as string")
        << QByteArray(R"({"IsBroadcasting":"true"})") << false << 0 << false << 0 << false;
    QTest::newRow("IsBroadcasting null")
        << QByteArray(R"({"IsBroadcasting":null})") << false << 0 << false << 0 << false;
    QTest::newRow("empty object") << QByteArray("{}") << false << 0 << false << 0 << false;
}

void TestDecoding::readRoomInfo() {
    QFETCH(QByteArray, object);
    QFETCH(bool, hasId);
    QFETCH(qint32, id);
    QFETCH(bool, hasCount);
    QFETCH(qint32, count);
    QFETCH(bool, live);
    const QJsonValue parsed = parseValue(object);
    QVERIFY2(parsed.isObject(), "test JSON must be an object");

    const RoomInfoReply reply = ::readRoomInfo(parsed.toObject());
    QCOMPARE(reply.roomId.has_value(), hasId);
    if (hasId)
        QCOMPARE(*reply.roomId, id);
    QCOMPARE(reply.onlineCount.has_value(), hasCount);
    if (hasCount)
        QCOMPARE(*reply.onlineCount, count);
    QCOMPARE(reply.isLive, live);
}

void TestDecoding::readGroup_data() {
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QString>("expected");
    QTest::newRow("string") << QByteArray(R"({"group":"g-42"})") << QStringLiteral("g-42");
    QTest::newRow("non-ASCII string")
        << QByteArray(R"({"group":"房间"})") << QStringLiteral("房间");
    QTest::newRow("absent") << QByteArray(R"({"groups":"g"})") << QString();
    QTest::newRow("empty string") << QByteArray(R"({"group":""})") << QString();
    QTest::newRow("number") << QByteArray(R"({"group":42})") << QString();
    QTest::newRow("null") << QByteArray(R"({"group":null})") << QString();
    QTest::newRow("object") << QByteArray(R"({"group":{"id":"g"}})") << QString();
    QTest::newRow("array") << QByteArray(R"({"group":["g"]})") << QString();
}

void TestDecoding::readGroup() {
    QFETCH(QByteArray, object);
    QFETCH(QString, expected);
    const QJsonValue parsed = parseValue(object);
    QVERIFY2(parsed.isObject(), "test JSON must be an object");
    QCOMPARE(::readGroup(parsed.toObject()), expected);
}

void TestDecoding::readPoll_data() {
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<bool>("hasNext");
    QTest::addColumn<qint32>("next");
    QTest::addColumn<bool>("hasFrom");
    QTest::addColumn<qint32>("from");
    QTest::addColumn<QJsonArray>("msgs");

    const QJsonArray none;
    QTest::newRow("full reply")
        << QByteArray(R"({"next":2,"from":120,"msgs":[{"type":"chat"},{"type":"gift"}]})") << true
        << 2 << true << 120
        << QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("chat")}},
                      QJsonObject{{QStringLiteral("type"), QStringLiteral("gift")}}};
    QTest::newRow("next and from absent")
        << QByteArray(R"({"msgs":[]})") << false << 0 << false << 0 << none;
    QTest::newRow("only next") << QByteArray(R"({"next":3})") << true << 3 << false << 0 << none;
    QTest::newRow("only from") << QByteArray(R"({"from":9})") << false << 0 << true << 9 << none;
    QTest::newRow("from as a string: 0")
        << QByteArray(R"({"next":1,"from":"120"})") << true << 1 << true << 0 << none;
    QTest::newRow("next as a string: 0")
        << QByteArray(R"({"next":"2"})") << true << 0 << false << 0 << none;
    QTest::newRow("next fractional: 0")
        << QByteArray(R"({"next":2.5})") << true << 0 << false << 0 << none;
    QTest::newRow("next negative is read as given")
        << QByteArray(R"({"next":-3})") << true << -3 << false << 0 << none;
    QTest::newRow("from null: 0") << QByteArray(R"({"from":null})") << false << 0 << true << 0
                                  << none;
    QTest::newRow("from 2^31: 0") << QByteArray(R"({"from":2147483648})") << false << 0 << true << 0
                                  << none;
    QTest::newRow("msgs an object: empty, next and from still read")
        << QByteArray(R"({"next":2,"from":5,"msgs":{"type":"chat"}})") << true << 2 << true << 5
        << none;
    QTest::newRow("msgs a string")
        << QByteArray(R"({"msgs":"[]"})") << false << 0 << false << 0 << none;
    QTest::newRow("msgs null") << QByteArray(R"({"msgs":null})") << false << 0 << false << 0
                               << none;
    QTest::newRow("msgs of non-objects kept for the decoder")
        << QByteArray(R"({"msgs":[1,"x",null]})") << false << 0 << false << 0
        << QJsonArray{1, QStringLiteral("x"), QJsonValue()};
    QTest::newRow("empty object") << QByteArray("{}") << false << 0 << false << 0 << none;
}

void TestDecoding::readPoll() {
    QFETCH(QByteArray, object);
    QFETCH(bool, hasNext);
    QFETCH(qint32, next);
    QFETCH(bool, hasFrom);
    QFETCH(qint32, from);
    QFETCH(QJsonArray, msgs);
    const QJsonValue parsed = parseValue(object);
    QVERIFY2(parsed.isObject(), "test JSON must be an object");

    const PollReply reply = ::readPoll(parsed.toObject());
    QCOMPARE(reply.next.has_value(), hasNext);
    if (hasNext)
        QCOMPARE(*reply.next, next);
    QCOMPARE(reply.from.has_value(), hasFrom);
    if (hasFrom)
        QCOMPARE(*reply.from, from);
    QCOMPARE(reply.msgs, msgs);
}

void TestDecoding::clampNextSeconds_data() {
    QTest::addColumn<qint32>("next");
    QTest::addColumn<qint32>("expected");
    // A negative delay means "at once"; anything above half a minute waits half a minute.
    QTest::newRow("INT_MIN") << INT_MIN << 0;
    QTest::newRow("-5") << -5 << 0;
    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("2") << 2 << 2;
    QTest::newRow("29") << 29 << 29;
    QTest::newRow("30") << 30 << 30;
    QTest::newRow("31") << 31 << 30;
    QTest::newRow("3600") << 3600 << 30;
    QTest::newRow("INT_MAX") << INT_MAX << 30;
}

void TestDecoding::clampNextSeconds() {
    QFETCH(qint32, next);
    QFETCH(qint32, expected);
    QCOMPARE(::clampNextSeconds(next), expected);
}

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
