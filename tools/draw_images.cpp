// Draws the overlay's small button and combo-box images.
//
// The icons are a dozen pixels wide, so straight shapes are hand-placed pixels,
// whole-pixel rectangles or strokes whose edges fall on pixel boundaries:
// antialiasing then only softens real curves instead of smearing straight
// edges over two pixels.
//
// Usage: kibchat-draw-images <images-dir>   (writes <dir>/buttons and <dir>/custom)

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTextStream>
#include <QTransform>

#include <functional>
#include <initializer_list>
#include <utility>

namespace {

// Everything is shown on a black, semi-transparent window.
const QColor kGrey(160, 160, 160);
const QColor kLight(200, 200, 200);
const QColor kGold(222, 205, 106);
const QColor kRed(240, 60, 60);
const QColor kGreen(110, 200, 110);
// The combo-box arrows sit on a light grey panel instead.
const QColor kArrowNormal(100, 100, 100);
const QColor kArrowHot(227, 127, 10);

using Painter = std::function<void(QPainter&)>;

// `scale` 2 draws the same picture at twice the pixels, for screens scaled to 150 % and more.
QImage render(int width, int height, const Painter& draw, int scale = 1) {
    QImage image(width * scale, height * scale, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);
    draw(painter);
    painter.end();
    return image;
}

QPen strokePen(const QColor& color, qreal width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// Paints a hand-made pixel pattern: '#' is full colour, '+' a faint edge pixel that stands in
// for antialiasing on diagonals without blurring the core line.
void drawPixels(QPainter& p, const QColor& color, std::initializer_list<const char*> rows) {
    QColor faint = color;
    faint.setAlphaF(0.4);
    int y = 0;
    for (const char* row : rows) {
        for (int x = 0; row[x] != '\0'; ++x) {
            if (row[x] == '#') {
                p.fillRect(x, y, 1, 1, color);
            } else if (row[x] == '+') {
                p.fillRect(x, y, 1, 1, faint);
            }
        }
        ++y;
    }
}

// A lamp: a pixel ring (an antialiased 1 px circle smears over two pixels) around a
// filled core, with a 1 px gap so the two read separately.
void drawLamp(QPainter& p, const QColor& ring, const QColor& core) {
    drawPixels(p, ring,
               {
                   "....####....",
                   "..##....##..",
                   ".#........#.",
                   ".#........#.",
                   "#..........#",
                   "#..........#",
                   "#..........#",
                   "#..........#",
                   ".#........#.",
                   ".#........#.",
                   "..##....##..",
                   "....####....",
               });
    p.setBrush(core);
    p.drawEllipse(QRectF(2.5, 2.5, 7.0, 7.0));
}

void drawViewers(QPainter& p) {
    p.setBrush(kGrey);
    p.drawEllipse(QRectF(3.5, 0.5, 5.0, 5.0));
    // Shoulders: top half of an ellipse, cut flat at the bottom edge.
    QPainterPath shoulders;
    shoulders.moveTo(1.0, 12.0);
    shoulders.arcTo(QRectF(1.0, 7.0, 10.0, 10.0), 180.0, -180.0);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
}

// The padlock body is 8x6 with a 2x2 keyhole punched out so it stays a lock,
// not a plain box, against the black window.
void drawLockBody(QPainter& p) {
    p.fillRect(2, 5, 8, 6, kLight);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillRect(5, 7, 2, 2, Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void drawLocked(QPainter& p) {
    drawLockBody(p);
    // Shackle: 2 px legs on columns 3-4 and 7-8 entering the body.
    QPainterPath shackle;
    shackle.moveTo(4.0, 5.0);
    shackle.lineTo(4.0, 4.0);
    shackle.arcTo(QRectF(4.0, 2.0, 4.0, 4.0), 180.0, -180.0);
    shackle.lineTo(8.0, 5.0);
    p.setPen(strokePen(kLight, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shackle);
}

void drawUnlocked(QPainter& p) {
    drawLockBody(p);
    // Same shackle lifted by two rows; only the right leg still reaches the body.
    QPainterPath shackle;
    shackle.moveTo(4.0, 3.0);
    shackle.arcTo(QRectF(4.0, 0.0, 4.0, 4.0), 180.0, -180.0);
    shackle.lineTo(8.0, 5.0);
    p.setPen(strokePen(kGreen, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shackle);
}

void drawCross(QPainter& p, const QColor& color) {
    drawPixels(p, color,
               {
                   "............",
                   "............",
                   "..#+....+#..",
                   "..+#+..+#+..",
                   "...+#++#+...",
                   "....+##+....",
                   "....+##+....",
                   "...+#++#+...",
                   "..+#+..+#+..",
                   "..#+....+#..",
                   "............",
                   "............",
               });
}

// 10 px has no centre pixel, so the bars are 2 px thick on rows/columns 4-5.
void drawPlus(QPainter& p, const QColor& color) {
    p.fillRect(1, 4, 8, 2, color);
    p.fillRect(4, 1, 2, 8, color);
}

void drawMinus(QPainter& p, const QColor& color) {
    p.fillRect(1, 4, 8, 2, color);
}

void drawGear(QPainter& p, const QColor& color) {
    const QPointF centre(6.0, 6.0);
    QPainterPath gear;
    gear.addEllipse(centre, 3.8, 3.8);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.0, -6.0, 2.0, 3.0));
        QTransform t;
        t.translate(centre.x(), centre.y());
        t.rotate(45.0 * i);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(centre, 2.0, 2.0);
    gear = gear.subtracted(hole);
    p.setBrush(color);
    p.drawPath(gear);
}

// 9x11: shaft, arrow head and the bar it points at.
void drawDownload(QPainter& p, const QColor& color) {
    drawPixels(p, color,
               {
                   "....#....",
                   "....#....",
                   "....#....",
                   "....#....",
                   ".#######.",
                   "..#####..",
                   "...###...",
                   "....#....",
                   ".........",
                   "#########",
                   "#########",
               });
}

// 9x5 staircase triangle: exact 45-degree edges need no antialiasing.
void drawArrow(QPainter& p, const QColor& color) {
    drawPixels(p, color,
               {
                   "#########",
                   ".#######.",
                   "..#####..",
                   "...###...",
                   "....#....",
               });
}

struct Picture {
    const char* name;
    int width;
    int height;
    Painter draw;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: " << argv[0] << " <images-dir>\n";
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const char* sub : {"buttons", "custom"}) {
        if (!root.mkpath(QString::fromLatin1(sub))) {
            err << "cannot create " << root.filePath(QString::fromLatin1(sub)) << "\n";
            return 1;
        }
    }

    const Picture pictures[] = {
        {"buttons/icon_unlive.png", 12, 12,
         [](QPainter& p) { drawLamp(p, QColor(120, 120, 120), QColor(80, 80, 80)); }},
        {"buttons/icon_live.png", 12, 12,
         [](QPainter& p) { drawLamp(p, QColor(255, 210, 210), kRed); }},
        {"buttons/icon_numberOnline.png", 12, 12, drawViewers},
        {"buttons/icon_locked.png", 12, 12, drawLocked},
        {"buttons/icon_notLock.png", 12, 12, drawUnlocked},
        {"buttons/icon_close.png", 12, 12, [](QPainter& p) { drawCross(p, kGrey); }},
        {"buttons/icon_close_Hover.png", 12, 12, [](QPainter& p) { drawCross(p, kRed); }},
        {"buttons/icon_add.png", 10, 10, [](QPainter& p) { drawPlus(p, kGrey); }},
        {"buttons/icon_add_hover.png", 10, 10, [](QPainter& p) { drawPlus(p, kGold); }},
        {"buttons/icon_sub.png", 10, 10, [](QPainter& p) { drawMinus(p, kGrey); }},
        {"buttons/icon_sub_hover.png", 10, 10, [](QPainter& p) { drawMinus(p, kGold); }},
        {"buttons/icon_setting.png", 12, 12, [](QPainter& p) { drawGear(p, kGrey); }},
        {"buttons/icon_setting_hover.png", 12, 12, [](QPainter& p) { drawGear(p, kGold); }},
        // The widget looks the normal download image up as "upLoad"; keep that name.
        {"buttons/icon_upLoad.png", 9, 11, [](QPainter& p) { drawDownload(p, kGrey); }},
        {"buttons/icon_downLoad_hover.png", 9, 11, [](QPainter& p) { drawDownload(p, kGold); }},
        {"custom/arrow-normal.png", 9, 5, [](QPainter& p) { drawArrow(p, kArrowNormal); }},
        {"custom/arrow-hover.png", 9, 5, [](QPainter& p) { drawArrow(p, kArrowHot); }},
        {"custom/arrow-active.png", 9, 5, [](QPainter& p) { drawArrow(p, kArrowHot); }},
    };

    int failures = 0;
    for (const Picture& picture : pictures) {
        const QString name = QString::fromLatin1(picture.name);
        // Qt picks "name@2x.png" by itself wherever the screen's scale is above 1.
        const QString doubled = QString(name).insert(name.lastIndexOf(QLatin1Char('.')), "@2x");
        for (const auto& [file, scale] : {std::pair(name, 1), std::pair(doubled, 2)}) {
            const QString path = root.filePath(file);
            if (!render(picture.width, picture.height, picture.draw, scale).save(path, "PNG")) {
                err << "cannot write " << path << "\n";
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
