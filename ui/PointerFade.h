#pragma once

#include <QObject>

class QTimer;
class QWidget;

// Fades a click-through window while the pointer rests over it, so that what lies beneath can
// be read. Such a window gets no hover events: the pointer is polled instead, and only while
// the fade is active. Nothing but the window's opacity is touched.
class PointerFade : public QObject {
    Q_OBJECT

public:
    static constexpr double kFadedOpacity = 0.1;
    static constexpr int kPollIntervalMs = 100;

    explicit PointerFade(QWidget* window);

    // On while the window is locked and the option is chosen; turning it off brings the
    // window's opacity back at once.
    void setActive(bool active);
    bool isActive() const;
    bool isFaded() const { return faded; }

private:
    void poll();
    void setFaded(bool on);

    QWidget* window;
    QTimer* pollTimer;
    bool faded = false;
    double restoreOpacity = 1.0;
};
