// Window rules that need no window: the start size and place, the place kept among the
// screens, the opacity steps, and the edge zones and geometry of resizing by mouse.

#include "ui/WindowGeometry.h"

#include <QTest>

Q_DECLARE_METATYPE(WindowPlace)

class TestWindowGeometry : public QObject {
    Q_OBJECT

private slots:
    void startSize_data();
    void startSize();
    void startGeometry();
    void placeAtStart_data();
    void placeAtStart();
    void keptOnScreens_data();
    void keptOnScreens();
    void opacityClamp_data();
    void opacityClamp();
    void resizeZone_data();
    void resizeZone();
    void resizeGeometry_data();
    void resizeGeometry();
};

void TestWindowGeometry::startSize_data() {
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

void TestWindowGeometry::startSize() {
    QFETCH(QSize, stored);
    QFETCH(QSize, expected);
    QCOMPARE(geometry::validatedStartSize(stored, QSize(1920, 1080)), expected);
}

void TestWindowGeometry::startGeometry() {
    QCOMPARE(geometry::startGeometry(QSize(277, 312), QRect(0, 0, 1920, 1080)),
             QRect(1593, 100, 277, 312));
    // A window as wide as the screen starts 50 pixels beyond its left edge.
    QCOMPARE(geometry::startGeometry(QSize(1920, 400), QRect(0, 0, 1920, 1080)),
             QRect(-50, 100, 1920, 400));
    // A primary screen right of another one.
    QCOMPARE(geometry::startGeometry(QSize(277, 312), QRect(1280, 0, 1920, 1080)),
             QRect(2873, 100, 277, 312));
}

namespace {

// Desktops by name, primary first; a 40-pixel task bar at the bottom of the primary.
geometry::Screens layout(const QString& name) {
    const geometry::ScreenArea primary{"DP-1", QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)};
    const auto screen = [](const QRect& r) { return geometry::ScreenArea{"HDMI-1", r, r}; };
    if (name == "one")
        return {primary};
    if (name == "two")
        return {primary, screen(QRect(1920, 0, 2560, 1440))};
    if (name == "left")
        return {primary, screen(QRect(-1920, 0, 1920, 1080))};
    if (name == "moved")
        return {primary, screen(QRect(-2560, 0, 2560, 1440))};
    if (name == "small")
        return {{"DP-1", QRect(0, 0, 1280, 720), QRect(0, 0, 1280, 720)}};
    return {};
}

WindowPlace savedAt(QPoint topLeft, const QString& screen, const QRect& screenGeometry) {
    WindowPlace place;
    place.saved = true;
    place.topLeft = topLeft;
    place.screen = screen;
    place.screenGeometry = screenGeometry;
    return place;
}

} // namespace

void TestWindowGeometry::placeAtStart_data() {
    QTest::addColumn<QString>("screens");
    QTest::addColumn<WindowPlace>("saved");
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QRect>("expected");

    const QSize def(277, 312);
    const QRect dp1(0, 0, 1920, 1080);
    const QRect hdmi(1920, 0, 2560, 1440);
    const QRect defaultPlace(1593, 100, 277, 312);
    QTest::newRow("no saved place") << "one" << WindowPlace() << def << defaultPlace;
    QTest::newRow("same screen") << "one" << savedAt({400, 300}, "DP-1", dp1) << def
                                 << QRect(400, 300, 277, 312);
    QTest::newRow("second screen")
        << "two" << savedAt({2500, 200}, "HDMI-1", hdmi) << def << QRect(2500, 200, 277, 312);
    QTest::newRow("second screen gone")
        << "one" << savedAt({2500, 200}, "HDMI-1", hdmi) << def << defaultPlace;
    QTest::newRow("smaller resolution")
        << "small" << savedAt({1593, 100}, "DP-1", dp1) << def << QRect(953, 100, 277, 312);
    QTest::newRow("smaller resolution, the place still on it")
        << "small" << savedAt({100, 100}, "DP-1", dp1) << def << QRect(100, 100, 277, 312);
    QTest::newRow("other scale: 3840 wide at 100 %, now 200 %")
        << "one" << savedAt({3513, 100}, "DP-1", QRect(0, 0, 3840, 2160)) << def << defaultPlace;
    QTest::newRow("monitor left of the primary")
        << "left" << savedAt({-1500, 200}, "HDMI-1", QRect(-1920, 0, 1920, 1080)) << def
        << QRect(-1500, 200, 277, 312);
    QTest::newRow("monitor moved to the other side: the place goes with it")
        << "moved" << savedAt({2500, 200}, "HDMI-1", hdmi) << def << QRect(-1980, 200, 277, 312);
    QTest::newRow("across two screens")
        << "two" << savedAt({1800, 100}, "DP-1", dp1) << def << QRect(1800, 100, 277, 312);
    QTest::newRow("half off the right edge")
        << "one" << savedAt({1783, 100}, "DP-1", dp1) << def << defaultPlace;
    QTest::newRow("title strip partly off the right edge")
        << "one" << savedAt({1700, 100}, "DP-1", dp1) << def << defaultPlace;
    QTest::newRow("title strip above the top")
        << "one" << savedAt({400, -1}, "DP-1", dp1) << def << defaultPlace;
    QTest::newRow("most of it under the task bar")
        << "one" << savedAt({400, 900}, "DP-1", dp1) << def << defaultPlace;
    QTest::newRow("bottom part under the task bar")
        << "one" << savedAt({400, 800}, "DP-1", dp1) << def << QRect(400, 800, 277, 312);
    QTest::newRow("size the second screen takes")
        << "two" << savedAt({2000, 100}, "HDMI-1", hdmi) << QSize(2400, 1300)
        << QRect(2000, 100, 2400, 1300);
    QTest::newRow("size no screen takes, from a bad file")
        << "two" << savedAt({100, 100}, "DP-1", dp1) << QSize(2147483647, 2147483647)
        << QRect(100, 100, 277, 312);
    QTest::newRow("size too large for the screen it lands on")
        << "one" << savedAt({100, 100}, "DP-1", dp1) << QSize(2400, 1300)
        << QRect(100, 100, 277, 312);
}

void TestWindowGeometry::placeAtStart() {
    QFETCH(QString, screens);
    QFETCH(WindowPlace, saved);
    QFETCH(QSize, stored);
    QFETCH(QRect, expected);
    QCOMPARE(geometry::placeAtStart(stored, saved, layout(screens)), expected);
}

void TestWindowGeometry::keptOnScreens_data() {
    QTest::addColumn<QString>("screens");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("on the screen")
        << "one" << QRect(400, 300, 277, 312) << QRect(400, 300, 277, 312);
    QTest::newRow("its screen unplugged")
        << "one" << QRect(2500, 200, 300, 400) << QRect(1570, 100, 300, 400);
    QTest::newRow("its screen shrunk below the window's size")
        << "small" << QRect(300, 100, 1500, 900) << QRect(953, 100, 277, 312);
    // The default place of a window as wide as the screen pokes out on the left: judged
    // again at every tick, the window must stay there rather than jump.
    QTest::newRow("as wide as the screen, at its default place")
        << "one" << QRect(-50, 100, 1920, 400) << QRect(-50, 100, 1920, 400);
}

void TestWindowGeometry::keptOnScreens() {
    QFETCH(QString, screens);
    QFETCH(QRect, window);
    QFETCH(QRect, expected);
    QCOMPARE(geometry::keptOnScreens(window, layout(screens)), expected);
}

void TestWindowGeometry::opacityClamp_data() {
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << 0 << 1;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("6") << 6 << 6;
    QTest::newRow("9") << 9 << 9;
    QTest::newRow("15") << 15 << 9;
    QTest::newRow("negative") << -4 << 1;
}

void TestWindowGeometry::opacityClamp() {
    QFETCH(int, level);
    QFETCH(int, expected);
    QCOMPARE(geometry::clampOpacityLevel(level), expected);
}

void TestWindowGeometry::resizeZone_data() {
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

void TestWindowGeometry::resizeZone() {
    QFETCH(QPoint, pos);
    QFETCH(int, direction);
    QCOMPARE(int(geometry::resizeZoneAt(pos, QSize(277, 312))), direction);
}

void TestWindowGeometry::resizeGeometry_data() {
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

void TestWindowGeometry::resizeGeometry() {
    QFETCH(int, direction);
    QFETCH(QPoint, mouse);
    QFETCH(QRect, expected);
    QCOMPARE(geometry::resizedGeometry(static_cast<ResizeDirection>(direction),
                                       QRect(1000, 100, 277, 312), mouse),
             expected);
}

QTEST_GUILESS_MAIN(TestWindowGeometry)
#include "tst_windowgeometry.moc"
