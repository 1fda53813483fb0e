// The composition of chat and gift lines from decoded records: pieces and colours.

#include "client/MsgsInfo.h"
#include "ui/MessageLine.h"

#include <QTest>

Q_DECLARE_METATYPE(QVector<LinePiece>)

class TestMessageLine : public QObject {
    Q_OBJECT

private slots:
    void messageLine_data();
    void messageLine();
};

namespace {

MsgsInfo record(const char* type, qint32 grade, const QString& user, const QString& content,
                const QString& itemType = {}, const QString& title = {}, qint32 number = 0,
                double cost = 0) {
    MsgsInfo m;
    m.type = QString::fromUtf8(type);
    m.grade = grade;
    m.username = user;
    m.content = content;
    m.itemType = itemType;
    m.itemTitle = title;
    m.number = number;
    m.moneyCost = cost;
    return m;
}

const QColor yellow(255, 255, 0), blue(64, 123, 201), white(255, 255, 255), gold(255, 215, 0),
    red(255, 0, 0);

} // namespace

void TestMessageLine::messageLine_data() {
    QTest::addColumn<MsgsInfo>("msg");
    QTest::addColumn<QVector<LinePiece>>("pieces");

    QTest::newRow("chat, badge above 10")
        << record("chat", 15, "A", "T")
        << QVector<LinePiece>{{"【LV15】", yellow}, {"A:", blue}, {"T", white}, {"\n", white}};
    QTest::newRow("chat, grade 10 has no badge")
        << record("chat", 10, "A", "T")
        << QVector<LinePiece>{{"A:", blue}, {"T", white}, {"\n", white}};
    QTest::newRow("chat, grade 11 has the badge")
        << record("chat", 11, "A", "T")
        << QVector<LinePiece>{{"【LV11】", yellow}, {"A:", blue}, {"T", white}, {"\n", white}};
    QTest::newRow("chat, negative grade, empty text")
        << record("chat", -20, "", "")
        << QVector<LinePiece>{{":", blue}, {"", white}, {"\n", white}};
    QTest::newRow("chat, markup stays text")
        << record("chat", 1, "<b>x</b>", "<a href=q>y</a>")
        << QVector<LinePiece>{{"<b>x</b>:", blue}, {"<a href=q>y</a>", white}, {"\n", white}};
    QTest::newRow("gift, flower, free") << record("gift", 12, "A", "", "flower", "R", 5, 0)
                                        << QVector<LinePiece>{{"【LV12】", yellow},
                                                              {"A", blue},
                                                              {" 送出了 ", white},
                                                              {"【R】 5朵", red},
                                                              {"\n", red}};
    QTest::newRow("gift, priced, other item")
        << record("gift", 1, "A", "", "car", "S", 1, 10)
        << QVector<LinePiece>{{"A", blue}, {" 送出了 ", white}, {"【S】 1个", gold}, {"\n", gold}};
    QTest::newRow("gift, FLOWER in capitals")
        << record("gift", 1, "A", "", "FLOWER", "R", 2, 0)
        << QVector<LinePiece>{{"A", blue}, {" 送出了 ", white}, {"【R】 2朵", red}, {"\n", red}};
    QTest::newRow("gift, unknown item, count 0, negative price")
        << record("gift", 1, "A", "", "", "", 0, -3)
        << QVector<LinePiece>{{"A", blue}, {" 送出了 ", white}, {"【】 0个", red}, {"\n", red}};
    QTest::newRow("gift, title with placeholders stays literal")
        << record("gift", 1, "A", "", "x", "%1%2%3", 7, 1)
        << QVector<LinePiece>{
               {"A", blue}, {" 送出了 ", white}, {"【%1%2%3】 7个", gold}, {"\n", gold}};

    // Service texts that hold right-to-left text or direction controls are isolated; their own
    // controls are balanced so that they cannot close the isolate or outlive it.
    const QString fsi(QChar(0x2068)), pdi(QChar(0x2069)), rlo(QChar(0x202E));
    QTest::newRow("chat, override in the name")
        << record("chat", 15, rlo + "evil", "hello world 123")
        << QVector<LinePiece>{{"【LV15】", yellow},
                              {fsi + rlo + "evil" + pdi + ":", blue},
                              {"hello world 123", white},
                              {"\n", white}};
    QTest::newRow("chat, Hebrew name, Arabic text")
        << record("chat", 1, "שלום", "مرحبا 12")
        << QVector<LinePiece>{
               {fsi + "שלום" + pdi + ":", blue}, {fsi + "مرحبا 12" + pdi, white}, {"\n", white}};
    QTest::newRow("chat, a closing isolate of its own is dropped")
        << record("chat", 1, pdi + rlo + "x", "T")
        << QVector<LinePiece>{{fsi + rlo + "x" + pdi + ":", blue}, {"T", white}, {"\n", white}};
    QTest::newRow("chat, an isolate left open is closed")
        << record("chat", 1, fsi + rlo + "x", "T")
        << QVector<LinePiece>{
               {fsi + fsi + rlo + "x" + pdi + pdi + ":", blue}, {"T", white}, {"\n", white}};
    QTest::newRow("chat, each paragraph isolated")
        << record("chat", 1, "A", "a\n" + rlo + "b")
        << QVector<LinePiece>{{"A:", blue},
                              {fsi + "a" + pdi + "\n" + fsi + rlo + "b" + pdi, white},
                              {"\n", white}};
    QTest::newRow("chat, right-to-left letter outside the BMP")
        << record("chat", 1, QString::fromUcs4(U"\U0001E900"), "T")
        << QVector<LinePiece>{{fsi + QString::fromUcs4(U"\U0001E900") + pdi + ":", blue},
                              {"T", white},
                              {"\n", white}};
    QTest::newRow("gift, embedding in the title and the name")
        << record("gift", 1, QChar(0x202B) + QString("A"), "", "car", QChar(0x202B) + QString("S"),
                  1, 10)
        << QVector<LinePiece>{{fsi + QChar(0x202B) + "A" + pdi, blue},
                              {" 送出了 ", white},
                              {"【" + fsi + QChar(0x202B) + "S" + pdi + "】 1个", gold},
                              {"\n", gold}};
    QTest::newRow("type differs in case") << record("Chat", 20, "A", "T") << QVector<LinePiece>{};
    QTest::newRow("other type") << record("enter", 20, "A", "T") << QVector<LinePiece>{};
}

void TestMessageLine::messageLine() {
    QFETCH(MsgsInfo, msg);
    QFETCH(QVector<LinePiece>, pieces);

    const QVector<LinePiece> actual = composeMessageLine(msg);
    QCOMPARE(actual.size(), pieces.size());
    for (int i = 0; i < pieces.size(); ++i) {
        QCOMPARE(actual.at(i).text, pieces.at(i).text);
        QCOMPARE(actual.at(i).color, pieces.at(i).color);
    }
}

QTEST_GUILESS_MAIN(TestMessageLine)
#include "tst_messageline.moc"
