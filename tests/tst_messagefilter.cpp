// Which records the streamer's filter choices keep off the screen.

#include "client/MessageFilter.h"

#include <QTest>

namespace {

MsgsInfo chat(const QString& user, const QString& text) {
    MsgsInfo m;
    m.type = QStringLiteral("chat");
    m.username = user;
    m.content = text;
    return m;
}

MsgsInfo gift(const QString& user, double price, int count) {
    MsgsInfo m;
    m.type = QStringLiteral("gift");
    m.username = user;
    m.itemType = QStringLiteral("car");
    m.moneyCost = price;
    m.number = count;
    return m;
}

FilterChoices names(QStringList list) {
    FilterChoices c;
    c.blockedUsers = std::move(list);
    return c;
}

FilterChoices words(QStringList list) {
    FilterChoices c;
    c.blockedWords = std::move(list);
    return c;
}

FilterChoices minValue(double value, bool hideFree = false) {
    FilterChoices c;
    c.minGiftValue = value;
    c.hideFreeGifts = hideFree;
    return c;
}

} // namespace

class TestMessageFilter : public QObject {
    Q_OBJECT

private slots:
    void shows_data();
    void shows();
};

void TestMessageFilter::shows_data() {
    QTest::addColumn<MsgsInfo>("record");
    QTest::addColumn<FilterChoices>("choices");
    QTest::addColumn<bool>("shown");

    FilterChoices giftsOnly;
    giftsOnly.giftsOnly = true;
    FilterChoices hideFree;
    hideFree.hideFreeGifts = true;

    QTest::newRow("nothing chosen") << chat("bot", "spam") << FilterChoices{} << true;
    QTest::newRow("name, other case") << chat("SpamBot", "hi") << names({"spambot"}) << false;
    QTest::newRow("name, Chinese") << chat("夜行者", "hi") << names({"糖糖", "夜行者"}) << false;
    QTest::newRow("name is exact, not a part")
        << chat("spambot2", "hi") << names({"spambot"}) << true;
    QTest::newRow("name with blanks in the list") << chat("bot", "hi") << names({" bot "}) << false;
    QTest::newRow("name keeps a gift") << gift("bot", 10, 1) << names({"bot"}) << true;
    QTest::newRow("word inside, other case")
        << chat("a", "Buy CHEAP gold") << words({"cheap"}) << false;
    QTest::newRow("word, Chinese inside")
        << chat("a", "快来加微信领奖") << words({"微信"}) << false;
    QTest::newRow("word sharing a start with another")
        << chat("a", "abd") << words({"abc", "bd"}) << false;
    QTest::newRow("word inside a longer one's start")
        << chat("a", "abcy") << words({"abcx", "bc"}) << false;
    QTest::newRow("word after a near miss") << chat("a", "abce") << words({"abcd", "bce"}) << false;
    QTest::newRow("word at the very end") << chat("a", "xxab") << words({"zz", "ab"}) << false;
    QTest::newRow("word longer than the text") << chat("a", "ab") << words({"abc"}) << true;
    QTest::newRow("empty word blocks nothing") << chat("a", "hi") << words({"", "  "}) << true;
    QTest::newRow("words leave gifts alone") << gift("a", 1, 1) << words({"a"}) << true;
    QTest::newRow("value below the minimum") << gift("a", 2.5, 3) << minValue(8) << false;
    QTest::newRow("value at the minimum") << gift("a", 2.5, 4) << minValue(10) << true;
    QTest::newRow("count makes the value") << gift("a", 1, 10) << minValue(10) << true;
    QTest::newRow("free gift under a minimum") << gift("a", 0, 99) << minValue(1) << false;
    QTest::newRow("free gift hidden") << gift("a", 0, 1) << hideFree << false;
    QTest::newRow("paid gift kept when free hidden") << gift("a", 0.1, 1) << hideFree << true;
    QTest::newRow("minimum leaves chat alone") << chat("a", "hi") << minValue(100) << true;
    QTest::newRow("gifts only hides chat") << chat("a", "hi") << giftsOnly << false;
    QTest::newRow("gifts only keeps gifts") << gift("a", 0, 1) << giftsOnly << true;
    MsgsInfo upper = gift("a", 0, 1);
    upper.type = QStringLiteral("GIFT");
    QTest::newRow("kind in capitals is a gift") << upper << hideFree << false;
}

void TestMessageFilter::shows() {
    QFETCH(MsgsInfo, record);
    QFETCH(FilterChoices, choices);
    QFETCH(bool, shown);
    QCOMPARE(MessageFilter(choices).shows(record), shown);
}

QTEST_APPLESS_MAIN(TestMessageFilter)
#include "tst_messagefilter.moc"
