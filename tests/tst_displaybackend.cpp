// Which Qt platform the overlay starts on, decided from the environment and what the
// compositor offers, before any Qt object exists.

#include "platform/DisplayBackend.h"

#include <QTest>

using platform::DisplayChoice;
using platform::DisplayEnvironment;
using platform::DisplayRoute;

Q_DECLARE_METATYPE(DisplayRoute)

class TestDisplayBackend : public QObject {
    Q_OBJECT

private slots:
    void choose_data();
    void choose();
};

void TestDisplayBackend::choose_data() {
    QTest::addColumn<QByteArray>("qpa");
    QTest::addColumn<QByteArray>("shell");
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<bool>("x");
    QTest::addColumn<bool>("layerShell");
    QTest::addColumn<bool>("plugin");
    QTest::addColumn<DisplayRoute>("route");
    QTest::addColumn<QByteArray>("setQpa");
    QTest::addColumn<QByteArray>("setShell");

    const QByteArray none;
    const QByteArray layer = platform::kLayerShellIntegration;
    QTest::newRow("X11 session: untouched")
        << none << none << false << true << false << false << DisplayRoute::Default << none << none;
    QTest::newRow("layer shell: native on it")
        << none << none << true << true << true << true << DisplayRoute::WaylandLayerShell
        << QByteArray("wayland") << layer;
    QTest::newRow("no layer shell (GNOME): XWayland")
        << none << none << true << true << false << true << DisplayRoute::XWayland
        << QByteArray("xcb") << none;
    QTest::newRow("layer shell but no plugin: XWayland")
        << none << none << true << true << true << false << DisplayRoute::XWayland
        << QByteArray("xcb") << none;
    QTest::newRow("neither layer shell nor XWayland: plain Wayland")
        << none << none << true << false << false << true << DisplayRoute::WaylandPlain
        << QByteArray("wayland") << none;
    QTest::newRow("user's xcb kept on a layer-shell desktop")
        << QByteArray("xcb") << none << true << true << true << true << DisplayRoute::Default
        << none << none;
    QTest::newRow("user's wayland gets the layer shell")
        << QByteArray("wayland") << none << true << true << true << true
        << DisplayRoute::WaylandLayerShell << none << layer;
    QTest::newRow("user's wayland without the layer shell kept plain")
        << QByteArray("wayland") << none << true << true << false << true
        << DisplayRoute::WaylandPlain << none << none;
    QTest::newRow("user's shell integration kept")
        << none << QByteArray("xdg-shell") << true << true << true << true
        << DisplayRoute::WaylandPlain << QByteArray("wayland") << none;
}

void TestDisplayBackend::choose() {
    QFETCH(QByteArray, qpa);
    QFETCH(QByteArray, shell);
    QFETCH(bool, wayland);
    QFETCH(bool, x);
    QFETCH(bool, layerShell);
    QFETCH(bool, plugin);
    DisplayEnvironment env;
    env.qpaPlatform = qpa;
    env.shellIntegration = shell;
    env.waylandDisplay = wayland;
    env.xDisplay = x;
    env.layerShell = layerShell;
    env.layerShellPlugin = plugin;
    const DisplayChoice choice = platform::chooseDisplay(env);
    QTEST(choice.route, "route");
    QTEST(choice.qpaPlatform, "setQpa");
    QTEST(choice.shellIntegration, "setShell");
}

QTEST_APPLESS_MAIN(TestDisplayBackend)
#include "tst_displaybackend.moc"
