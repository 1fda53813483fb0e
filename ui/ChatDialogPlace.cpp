// The window's place among the connected screens: chosen at start, kept at shutdown, and
// brought back when the screens change under it.

#include "ui/ChatDialog.h"

#include "platform/Platform.h"

#include <QGuiApplication>
#include <QScreen>

geometry::Screens CChatDialog::connectedScreens() {
    geometry::Screens screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const geometry::ScreenArea area{screen->name(), screen->geometry(),
                                        screen->availableGeometry()};
        if (screen == primary)
            screens.prepend(area);
        else
            screens.append(area);
    }
    return screens;
}

WindowPlace CChatDialog::currentPlace() const {
    const geometry::Screens screens = connectedScreens();
    WindowPlace place;
    place.saved = true;
    place.topLeft = platform::current().windowPlace(this);
    if (const geometry::ScreenArea* under =
            geometry::screenUnder(QRect(place.topLeft, size()), screens)) {
        place.screen = under->name;
        place.screenGeometry = under->geometry;
    }
    return place;
}

void CChatDialog::keepOnScreens() {
    // A drag under way ends where the user lets go; the next tick judges that place.
    if (mousePressed)
        return;
    platform::Platform& desktop = platform::current();
    const QRect now(desktop.windowPlace(this), size());
    const QRect kept = geometry::keptOnScreens(now, connectedScreens());
    if (kept.size() != now.size())
        resize(kept.size());
    if (kept.topLeft() != now.topLeft())
        desktop.placeWindow(this, kept.topLeft());
}
