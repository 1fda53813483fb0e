// A plain decorated window for the desktop tests: it reports on stdout every mouse press and
// key press/release it receives, so a script can tell what reached the window beneath the
// overlay. One line per event, flushed at once:
//   ready <x11-window-id>      once the window is shown
//   press <x> <y>              mouse press, window-local coordinates
//   key <name> down|up         key press / release (" repeat" appended for auto-repeat)
// Usage: kibchat-probe [--probe-title T] [--probe-rect X Y W H] [--probe-on-top]
//                      [--probe-colour NAME]    (background; green unless given)
// (Qt itself takes -geometry and -title, with one dash or two: hence the prefix.)

#include <QApplication>
#include <QColor>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <cstdio>

namespace {

void emitLine(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout); // a script reads the file while the probe runs
}

QString keyName(const QKeyEvent* event) {
    const int key = event->key();
    switch (key) {
    case Qt::Key_Alt:
        return QStringLiteral("Alt");
    case Qt::Key_Meta:
        return QStringLiteral("Meta");
    case Qt::Key_Control:
        return QStringLiteral("Control");
    case Qt::Key_Shift:
        return QStringLiteral("Shift");
    default:
        break;
    }
    const QString name = QKeySequence(key).toString(QKeySequence::PortableText);
    return name.isEmpty() ? QStringLiteral("0x%1").arg(key, 0, 16) : name;
}

class ProbeWindow : public QWidget {
protected:
    void mousePressEvent(QMouseEvent* event) override {
        emitLine(QStringLiteral("press %1 %2").arg(event->x()).arg(event->y()));
    }
    void keyPressEvent(QKeyEvent* event) override { reportKey(event, "down"); }
    void keyReleaseEvent(QKeyEvent* event) override { reportKey(event, "up"); }

private:
    static void reportKey(const QKeyEvent* event, const char* direction) {
        emitLine(QStringLiteral("key %1 %2%3")
                     .arg(keyName(event), QLatin1String(direction),
                          event->isAutoRepeat() ? QStringLiteral(" repeat") : QString()));
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QString title = QStringLiteral("kibchat-probe");
    QRect geometry(100, 100, 400, 300);
    bool onTop = false;
    QColor colour(0, 255, 0);
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--probe-title") && i + 1 < args.size()) {
            title = args[++i];
        } else if (args[i] == QLatin1String("--probe-rect") && i + 4 < args.size()) {
            geometry = QRect(args[i + 1].toInt(), args[i + 2].toInt(), args[i + 3].toInt(),
                             args[i + 4].toInt());
            i += 4;
        } else if (args[i] == QLatin1String("--probe-on-top")) {
            onTop = true; // competes with the overlay for the top of the stays-on-top band
        } else if (args[i] == QLatin1String("--probe-colour") && i + 1 < args.size()) {
            colour = QColor(args[++i]);
        } else {
            std::fprintf(stderr, "usage: kibchat-probe [--probe-title T] [--probe-rect X Y W H] "
                                 "[--probe-on-top] [--probe-colour NAME]\n");
            return 2;
        }
    }

    ProbeWindow window;
    if (onTop)
        window.setWindowFlags(window.windowFlags() | Qt::WindowStaysOnTopHint);
    window.setWindowTitle(title);
    // A flat, known colour, so a screenshot shows where the probe is visible.
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, colour);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.setFocusPolicy(Qt::StrongFocus);
    window.setGeometry(geometry);
    window.show();
    window.activateWindow();
    emitLine(QStringLiteral("ready %1").arg(window.winId()));
    return app.exec();
}
