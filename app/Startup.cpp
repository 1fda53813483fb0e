#include "app/Startup.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QWidget>

namespace {

class CloseRefuser : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void enableHighDpiScaling() {
    // Icons take their @2x pictures on scaled screens instead of blowing up the 1x ones; this
    // also serves a scale set from outside with QT_SCALE_FACTOR.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // 125 % and 150 % stay themselves instead of rounding to 1x and 2x.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    if (platform::desktopSetsScale())
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
}

void prepareApplication(QApplication& app) {
    app.setQuitOnLastWindowClosed(false);
    // Nothing here draws with OpenGL. Without this, every top-level widget asks for a surface
    // that could also take GL, and on X11 that loads and starts the GL driver stack before the
    // window first paints: the largest single start-up cost.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    // The style sheets name a Windows font; map it to an installed CJK family for one
    // consistent look instead of per-glyph fallback.
    const QStringList candidates = {
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Noto Sans SC"), QStringLiteral("Source Han Sans SC")};
    const QStringList installed = QFontDatabase().families();
    QStringList available;
    for (const QString& family : candidates)
        if (installed.contains(family))
            available << family;
    if (!available.isEmpty())
        QFont::insertSubstitutions(QStringLiteral("微软雅黑"), available);
}

void keepOpenUntilQuit(QWidget& window) {
    window.installEventFilter(new CloseRefuser(&window));
}
