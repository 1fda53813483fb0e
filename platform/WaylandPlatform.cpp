// Wayland backend. With the layer shell every window of the process is a layer surface on the
// overlay layer (above fullscreen windows), anchored to the output's top-left corner with its
// place as margins; click-through is an input region that lies wholly outside the surface;
// the keyboard is never taken while locked. Wayland has no window opacity, so the overlay's is
// painted: the window is drawn translucent and its content through an opacity effect.
// Without the layer shell the windows are ordinary ones and only the input region applies.

#include "platform/DisplayBackend.h"
#include "platform/Platform.h"

#include <LayerShellQt/Window>

#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <QWindow>

#include <memory>

namespace platform {

namespace {

using LayerWindow = LayerShellQt::Window;

// The scope names our surfaces carry, for a compositor's rules (sway: `layer_effects`, KWin).
const QString kOverlayScope = QStringLiteral("kibchat");
const QString kPopupScope = QStringLiteral("kibchat-popup");
// Marks a QWindow whose layer surface settings are ours.
const char* const kConfiguredProperty = "_kibchat_layer_configured";

// A region that lies wholly outside the surface: no point of the surface takes input.
QRegion outsideRegion() {
    return QRegion(-1, -1, 1, 1);
}

QMargins marginsFor(const QWindow* window) {
    const QScreen* screen = window->screen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    const QPoint at = window->position() - origin;
    return QMargins(at.x(), at.y(), 0, 0);
}

// Gives a window's layer surface our settings; read by the surface when the window is shown.
void configureLayer(QWindow* window, bool overlay) {
    LayerWindow* layer = LayerWindow::get(window);
    if (!layer)
        return;
    layer->setLayer(LayerWindow::LayerOverlay);
    layer->setAnchors(LayerWindow::Anchors(LayerWindow::AnchorTop) | LayerWindow::AnchorLeft);
    layer->setExclusiveZone(-1);
    layer->setMargins(marginsFor(window));
    layer->setScope(overlay ? kOverlayScope : kPopupScope);
    if (window->screen())
        layer->setDesiredOutput(window->screen());
    // The overlay starts locked; the other windows (the confirmation box, the combo boxes'
    // lists) are opened by a click on the unlocked overlay and may need keys.
    layer->setKeyboardInteractivity(overlay ? LayerWindow::KeyboardInteractivityNone
                                            : LayerWindow::KeyboardInteractivityOnDemand);
    window->setProperty(kConfiguredProperty, true);
}

// Per-window state of the overlay itself, a child of its widget so that it dies with it.
class OverlayState final : public QObject {
public:
    OverlayState(QWidget* widget, bool layerShell)
        : QObject(widget), widget_(widget), layerShell_(layerShell) {
        setObjectName(QStringLiteral("kibchat-wayland-window-state"));
    }

    static OverlayState* find(QWidget* widget) {
        for (QObject* child : widget->children())
            if (auto* state = dynamic_cast<OverlayState*>(child))
                return state;
        return nullptr;
    }

    // Before the native window exists: what must be known when it is made.
    void prepare() {
        if (prepared_)
            return;
        prepared_ = true;
        // An alpha channel for the painted opacity. Translucency leaves the window's own
        // background unpainted: it is painted here, and the opacity effect thins it.
        widget_->setAttribute(Qt::WA_TranslucentBackground);
        widget_->installEventFilter(this);
        widget_->winId();
        window_ = widget_->windowHandle();
        if (!window_)
            return;
        if (layerShell_)
            configureLayer(window_, true);
        window_->installEventFilter(this);
        QObject::connect(window_, &QWindow::opacityChanged, this,
                         [this](qreal level) { paintOpacity(level); });
        paintOpacity(widget_->windowOpacity());
    }

    qint32 style() const { return style_; }

    void setStyle(qint32 style) {
        style_ = style;
        applyInput();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_.data() && event->type() == QEvent::Expose && window_->isExposed())
            applyInput(true);
        if (watched == widget_ && event->type() == QEvent::Paint) {
            // Runs inside the paint event, before the widget's own painting.
            QStyleOption option;
            option.initFrom(widget_);
            QPainter painter(widget_);
            widget_->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, widget_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // The input region and the keyboard. A new surface (each show) starts with the whole
    // surface as its input region: FORCE sets ours again even when Qt believes it is set.
    void applyInput(bool force = false) {
        if (!window_ || !window_->isExposed())
            return; // set on the first expose
        const bool locked = isClickThrough(style_);
        if (force)
            window_->setMask(locked ? QRegion() : outsideRegion());
        window_->setMask(locked ? outsideRegion() : QRegion());
        if (layerShell_) {
            if (LayerWindow* layer = LayerWindow::get(window_))
                layer->setKeyboardInteractivity(locked
                                                    ? LayerWindow::KeyboardInteractivityNone
                                                    : LayerWindow::KeyboardInteractivityOnDemand);
        }
        widget_->update(); // the changes take effect with the surface's next commit
    }

    void paintOpacity(qreal level) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget_->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(widget_);
            widget_->setGraphicsEffect(effect);
        }
        effect->setOpacity(level);
    }

    QWidget* const widget_;
    QPointer<QWindow> window_;
    const bool layerShell_;
    bool prepared_ = false;
    qint32 style_ = 0;
};

// Watches every window of the process: a window shown on its own (a message box, a list that
// drops down) gets our layer settings instead of layer-shell-qt's defaults (all four edges,
// the top layer, the keyboard taken), and a moved window's margins follow its place.
class WindowWatcher final : public QObject {
public:
    explicit WindowWatcher(bool layerShell) : layerShell_(layerShell) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type != QEvent::Show && type != QEvent::Move) || !watched->isWindowType())
            return QObject::eventFilter(watched, event);
        auto* window = static_cast<QWindow*>(watched);
        const bool configured = window->property(kConfiguredProperty).toBool();
        if (type == QEvent::Show && layerShell_ && !configured)
            configureLayer(window, false);
        else if (type == QEvent::Move && configured)
            return followMove(window, static_cast<QMoveEvent*>(event)->pos());
        return QObject::eventFilter(watched, event);
    }

private:
    static QWidget* widgetOf(const QWindow* window) {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->windowHandle() == window)
                return widget;
        return nullptr;
    }

    // A layer surface never moves on its own, yet Qt puts it back at the origin whenever the
    // compositor configures it (on every resize): such a move is undone before the widget
    // sees it, since Qt's idea of the place is what mouse positions are counted from. A move
    // the program asked for has already reached the widget and becomes the margins. Returns
    // whether the event is to be dropped.
    static bool followMove(QWindow* window, const QPoint& to) {
        const QWidget* widget = widgetOf(window);
        if (widget && widget->geometry().topLeft() != to) {
            window->setPosition(widget->geometry().topLeft());
            return true;
        }
        LayerWindow* layer = LayerWindow::get(window);
        const QMargins margins = marginsFor(window);
        if (layer && layer->margins() != margins) {
            layer->setMargins(margins);
            window->requestUpdate(); // the margins take effect with the next commit
        }
        return false;
    }

    const bool layerShell_;
};

class WaylandPlatform final : public Platform {
public:
    explicit WaylandPlatform(bool layerShell) : layerShell_(layerShell), watcher_(layerShell) {
        qApp->installEventFilter(&watcher_);
    }
    ~WaylandPlatform() override {
        if (qApp)
            qApp->removeEventFilter(&watcher_);
    }

    const char* name() const override { return layerShell_ ? "wayland-layer-shell" : "wayland"; }

    qint32 windowExStyle(QWidget* window) override {
        const OverlayState* state = OverlayState::find(window);
        return state ? state->style() : 0;
    }

    void setWindowExStyle(QWidget* window, qint32 exStyle) override {
        ensure(window)->setStyle(exStyle);
    }

    // The overlay layer lies above every window of the desktop already; only a hidden window
    // needs showing.
    void raiseTopmost(QWidget* window) override {
        ensure(window);
        if (!window->isVisible())
            window->show();
    }

    // On Wayland the desktop owns the keys: no program sees the keys typed into another.
    HookHandle installHotKeyHook(HotKeyCallback) override { return nullptr; }
    void removeHotKeyHook(HookHandle) override {}

    void setCursor(QWidget* window, SystemCursor cursor) override {
        static const Qt::CursorShape shapes[] = {Qt::ArrowCursor, Qt::SizeHorCursor,
                                                 Qt::SizeVerCursor, Qt::SizeFDiagCursor,
                                                 Qt::SizeBDiagCursor};
        window->setCursor(shapes[static_cast<int>(cursor)]);
    }

private:
    OverlayState* ensure(QWidget* window) {
        OverlayState* state = OverlayState::find(window);
        if (!state)
            state = new OverlayState(window, layerShell_);
        state->prepare();
        return state;
    }

    const bool layerShell_;
    WindowWatcher watcher_;
};

} // namespace

std::unique_ptr<Platform> createWaylandPlatform() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return nullptr;
    // Whether the layer shell is in use is what Qt's shell integration ended up with, not
    // what was asked for: without it the compositor's globals decide.
    const bool layerShell = currentDisplayRoute() == DisplayRoute::WaylandLayerShell ||
                            (currentDisplayRoute() == DisplayRoute::Default &&
                             compositorOffers("zwlr_layer_shell_v1") &&
                             qgetenv("QT_WAYLAND_SHELL_INTEGRATION").contains("layer-shell"));
    return std::unique_ptr<Platform>(new WaylandPlatform(layerShell));
}

} // namespace platform
