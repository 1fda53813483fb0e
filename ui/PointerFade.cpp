#include "ui/PointerFade.h"

#include <QCursor>
#include <QTimer>
#include <QWidget>

PointerFade::PointerFade(QWidget* window) : QObject(window), window(window) {
    pollTimer = new QTimer(this);
    pollTimer->setInterval(kPollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &PointerFade::poll);
}

void PointerFade::setActive(bool active) {
    if (active == isActive())
        return;
    if (active) {
        pollTimer->start();
        poll();
    } else {
        pollTimer->stop();
        setFaded(false);
    }
}

bool PointerFade::isActive() const {
    return pollTimer->isActive();
}

void PointerFade::poll() {
    setFaded(window->isVisible() && window->frameGeometry().contains(QCursor::pos()));
}

void PointerFade::setFaded(bool on) {
    if (on == faded)
        return;
    faded = on;
    if (on) {
        restoreOpacity = window->windowOpacity();
        window->setWindowOpacity(kFadedOpacity);
    } else {
        window->setWindowOpacity(restoreOpacity);
    }
}
