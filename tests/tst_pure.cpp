// Rules that need no window: start geometry and opacity, and the composition of chat lines.

#include "client/GiftCatalogue.h"
#include "client/MsgsInfo.h"
#include "client/ServiceReplies.h"
#include "ui/MessageLine.h"
#include "ui/WindowGeometry.h"

#include <QJsonObject>
#include <QTest>

Q_DECLARE_METATYPE(QVector<LinePiece>)

class TestPure : public QObject {
    Q_OBJECT

private slots:
    void startSize_data();
    void startSize();
    void startGeometry();
    void opacityClamp_data();
    void opacityClamp();
    void resizeZone_data();
    void resizeZone();
    void resizeGeometry_data();
    void resizeGeometry();
    void longTextsAreCut();
    void messageLine_data();
    void messageLine();
};

void TestPure::startSize_data() {
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("expected");

    const QSize def(277, 312);
    QTest::newRow("default") << def << def;
    QTest::newRow("width one below resets both") << QSize(276, 500) << def;
    QTest::newRow("height 311 kept: the user can resize to it")
        << QSize(400, 311) << QSize(400, 311);
    QTest::newRow("minimum height kept") << QSize(277, 212) << QSize(277, 212);
    QTest::newRow("height one below the minimum resets both") << QSize(400, 211) << def;
    QTest::newRow("width of the screen accepted") << QSize(1920, 400) << QSize(1920, 400);
    QTest::newRow("wider than the screen") << QSize(1921, 400) << def;
    QTest::newRow("height of the screen accepted") << QSize(300, 1080) << QSize(300, 1080);
    QTest::newRow("taller than the screen") << QSize(300, 1081) << def;
    QTest::newRow("zeros from bad text") << QSize(0, 0) << def;
    QTest::newRow("negative") << QSize(-300, 400) << def;
}

void TestPure::startSize() {
    QFETCH(QSize, stored);
    QFETCH(QSize, expected);
    QCOMPARE(geometry::validatedStartSize(stored, QSize(1920, 1080)), expected);
}

void TestPure::startGeometry() {
    QCOMPARE(geometry::startGeometry(QSize(277, 312), QSize(1920, 1080)),
             QRect(1593, 100, 277, 312));
    // A window as wide as the screen starts 50 pixels beyond its left edge.
    QCOMPARE(geometry::startGeometry(QSize(1920, 400), QSize(1920, 1080)),
             QRect(-50, 100, 1920, 400));
}

void TestPure::opacityClamp_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << 0 << 1;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("6") << 6 << 6;
    QTest::newRow("9") << 9 << 9;
    QTest::newRow("15") << 15 << 9;
    QTest::newRow("negative") << -4 << 1;
}

void TestPure::opacityClamp() {
    QFETCH(int, level);
    QFETCH(int, expected);
    QCOMPARE(geometry::clampOpacityLevel(level), expected);
}

void TestPure::resizeZone_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("direction");

    // A 277 x 312 window: W - 4 = 273, W - 6 = 271, H - 4 = 308, H - 5 = 307, H - 6 = 306.
    QTest::newRow("first column") << QPoint(0, 100) << int(ResizeNone);
    QTest::newRow("left edge, outer") << QPoint(1, 100) << int(ResizeLeft);
    QTest::newRow("left edge, inner") << QPoint(4, 100) << int(ResizeLeft);
    QTest::newRow("inside the margin") << QPoint(5, 100) << int(ResizeNone);
    QTest::newRow("left, title rows") << QPoint(1, 22) << int(ResizeNone);
    QTest::newRow("left, first row below the title") << QPoint(1, 23) << int(ResizeLeft);
    QTest::newRow("left, lowest side row") << QPoint(1, 306) << int(ResizeLeft);
    QTest::newRow("row H-5 belongs to nothing") << QPoint(1, 307) << int(ResizeNone);
    QTest::newRow("bottom-left corner") << QPoint(1, 308) << int(ResizeBottomLeft);
    QTest::newRow("bottom-left, last row") << QPoint(4, 311) << int(ResizeBottomLeft);
    QTest::newRow("column 5 along the bottom") << QPoint(5, 311) << int(ResizeNone);
    QTest::newRow("bottom edge, left end") << QPoint(6, 308) << int(ResizeBottom);
    QTest::newRow("bottom edge, right end") << QPoint(271, 311) << int(ResizeBottom);
    QTest::newRow("between bottom and corner") << QPoint(272, 311) << int(ResizeNone);
    QTest::newRow("bottom-right corner") << QPoint(273, 308) << int(ResizeBottomRight);
    QTest::newRow("bottom-right, last pixel") << QPoint(276, 311) << int(ResizeBottomRight);
    QTest::newRow("right edge") << QPoint(273, 100) << int(ResizeRight);
    QTest::newRow("right, title rows") << QPoint(276, 22) << int(ResizeNone);
    QTest::newRow("right, row H-5") << QPoint(276, 307) << int(ResizeNone);
    QTest::newRow("top edge") << QPoint(100, 0) << int(ResizeNone);
    QTest::newRow("top-left corner") << QPoint(1, 1) << int(ResizeNone);
    QTest::newRow("middle") << QPoint(138, 150) << int(ResizeNone);
}

void TestPure::resizeZone() {
    QFETCH(QPoint, pos);
    QFETCH(int, direction);
    QCOMPARE(int(geometry::resizeZoneAt(pos, QSize(277, 312))), direction);
}

void TestPure::resizeGeometry_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<QPoint>("mouse");
    QTest::addColumn<QRect>("expected");

    // The window: left 1000, top 100, right 1276, bottom 411.
    QTest::newRow("none") << int(ResizeNone) << QPoint(0, 0) << QRect(1000, 100, 277, 312);
    QTest::newRow("left outwards")
        << int(ResizeLeft) << QPoint(900, 200) << QRect(900, 100, 377, 312);
    QTest::newRow("left to 278 from the right edge")
        << int(ResizeLeft) << QPoint(998, 200) << QRect(998, 100, 279, 312);
    QTest::newRow("left stops at 277 from the right edge")
        << int(ResizeLeft) << QPoint(999, 200) << QRect(1000, 100, 277, 312);
    QTest::newRow("left dragged far in")
        << int(ResizeLeft) << QPoint(1200, 200) << QRect(1000, 100, 277, 312);
    QTest::newRow("right outwards")
        << int(ResizeRight) << QPoint(1400, 0) << QRect(1000, 100, 400, 312);
    QTest::newRow("right stops at the minimum")
        << int(ResizeRight) << QPoint(1100, 0) << QRect(1000, 100, 277, 312);
    QTest::newRow("bottom outwards")
        << int(ResizeBottom) << QPoint(0, 600) << QRect(1000, 100, 277, 500);
    QTest::newRow("bottom stops at 212")
        << int(ResizeBottom) << QPoint(0, 150) << QRect(1000, 100, 277, 212);
    QTest::newRow("bottom-right") << int(ResizeBottomRight) << QPoint(1400, 600)
                                  << QRect(1000, 100, 400, 500);
    QTest::newRow("bottom-right inwards")
        << int(ResizeBottomRight) << QPoint(1010, 110) << QRect(1000, 100, 277, 212);
    QTest::newRow("bottom-left outwards")
        << int(ResizeBottomLeft) << QPoint(900, 600) << QRect(900, 100, 377, 500);
    QTest::newRow("bottom-left slides the window")
        << int(ResizeBottomLeft) << QPoint(1100, 600) << QRect(1100, 100, 277, 500);
}

void TestPure::resizeGeometry() {
    QFETCH(int, direction);
    QFETCH(QPoint, mouse);
    QFETCH(QRect, expected);
    QCOMPARE(geometry::resizedGeometry(static_cast<ResizeDirection>(direction),
                                       QRect(1000, 100, 277, 312), mouse),
             expected);
}

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

void TestPure::longTextsAreCut() {
    const auto entry = [](const QString& text) {
        return QJsonObject{
            {"type", "chat"},
            {"msg", QJsonObject{{"content", text}, {"user", QJsonObject{{"username", text}}}}}};
    };
    const QString exact(kMaxTextLength, QLatin1Char('a'));
    QCOMPARE(decodeMessageEntry(entry(exact), {})->content, exact);
    const auto cut = decodeMessageEntry(entry(exact + QStringLiteral("bc")), {});
    QCOMPARE(cut->content, exact);
    QCOMPARE(cut->username, exact);
    // A character outside the basic plane straddling the limit goes whole.
    const QString straddling = QString(kMaxTextLength - 1, QLatin1Char('a')) + QStringLiteral("😀");
    QCOMPARE(decodeMessageEntry(entry(straddling), {})->content,
             QString(kMaxTextLength - 1, QLatin1Char('a')));
}

void TestPure::messageLine_data() {
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
    QTest::newRow("type differs in case") << record("Chat", 20, "A", "T") << QVector<LinePiece>{};
    QTest::newRow("other type") << record("enter", 20, "A", "T") << QVector<LinePiece>{};
}

void TestPure::messageLine() {
    QFETCH(MsgsInfo, msg);
    QFETCH(QVector<LinePiece>, pieces);

    const QVector<LinePiece> actual = composeMessageLine(msg);
    QCOMPARE(actual.size(), pieces.size());
    for (int i = 0; i < pieces.size(); ++i) {
        QCOMPARE(actual.at(i).text, pieces.at(i).text);
        QCOMPARE(actual.at(i).color, pieces.at(i).color);
    }
}

QTEST_GUILESS_MAIN(TestPure)
#include "tst_pure.moc"
