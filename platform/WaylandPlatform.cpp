// Wayland backend. With the layer shell every window of the process is a layer surface on the
// overlay layer (above fullscreen windows), anchored to the output's top-left corner with its
// place as margins; click-through is an input region that lies wholly outside the surface;
// the keyboard is never taken while locked. Wayland has no window opacity, so the overlay's is
// painted: the window is drawn translucent and its content through an opacity effect.
// Without the layer shell the windows are ordinary ones and only the input region applies.
//
// Places: Qt keeps every layer surface at its origin (0, 0) and counts pointer positions from
// there, whatever the margins. So the overlay's place is a base (its margins when no button is
// held) plus the widget's position, which is brought back to (0, 0) whenever no button is held.
// While a button is held the base stays: sway counts the pointer positions of a press from
// where the surface was at the press, however it moves meanwhile. The other windows are
// placed from the overlay's place.

#include "platform/DisplayBackend.h"
#include "platform/Platform.h"
#include "platform/ShortcutPortal.h"

#include <LayerShellQt/Window>

#include <QDBusConnection>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <QWindow>

#include <climits>
#include <functional>
#include <memory>
#include <utility>

namespace platform {

namespace {

using LayerWindow = LayerShellQt::Window;

// The scope names our surfaces carry, for a compositor's rules (sway: `layer_effects`, KWin).
const QString kOverlayScope = QStringLiteral("kibchat");
const QString kPopupScope = QStringLiteral("kibchat-popup");
// Marks a QWindow whose layer surface settings are ours.
const char* const kConfiguredProperty = "_kibchat_layer_configured";
// Marks a window of ours other than the overlay.
const char* const kOtherProperty = "_kibchat_other_window";

// A region that lies wholly outside the surface: no point of the surface takes input.
QRegion outsideRegion() {
    return QRegion(-1, -1, 1, 1);
}

QMargins marginsAt(const QPoint& place) {
    return QMargins(place.x(), place.y(), 0, 0);
}

// Where another window of ours opens on the output: where Qt put it, unless it would cover the
// overlay. Compositors differ in which of two surfaces of one layer they draw on top (sway 1.7
// draws the newer one beneath), so such a window goes beside the overlay: left, right, below
// or above, the first side with room, at the height Qt chose as far as the output allows.
QPoint besideOverlay(const QRect& window, const QRect& overlay, const QSize& output) {
    if (!window.intersects(overlay))
        return window.topLeft();
    const int y = qBound(0, window.y(), qMax(0, output.height() - window.height()));
    const int x = qBound(0, window.x(), qMax(0, output.width() - window.width()));
    if (overlay.left() - window.width() >= 0)
        return QPoint(overlay.left() - window.width(), y);
    if (overlay.right() + 1 + window.width() <= output.width())
        return QPoint(overlay.right() + 1, y);
    if (overlay.bottom() + 1 + window.height() <= output.height())
        return QPoint(x, overlay.bottom() + 1);
    if (overlay.top() - window.height() >= 0)
        return QPoint(x, overlay.top() - window.height());
    return window.topLeft();
}

// Gives a window's layer surface our settings; read by the surface when the window is shown.
void configureLayer(QWindow* window, bool overlay, const QPoint& place) {
    LayerWindow* layer = LayerWindow::get(window);
    if (!layer)
        return;
    layer->setLayer(LayerWindow::LayerOverlay);
    layer->setAnchors(LayerWindow::Anchors(LayerWindow::AnchorTop) | LayerWindow::AnchorLeft);
    layer->setExclusiveZone(-1);
    layer->setMargins(marginsAt(place));
    layer->setScope(overlay ? kOverlayScope : kPopupScope);
    if (window->screen())
        layer->setDesiredOutput(window->screen());
    // The overlay starts locked. The other windows are opened by a click on the unlocked
    // overlay: a modal box (the download confirmation) takes the keys until it closes, as it
    // blocks the overlay anyway; the combo boxes' lists take them on demand.
    LayerWindow::KeyboardInteractivity keyboard = LayerWindow::KeyboardInteractivityNone;
    if (!overlay)
        keyboard = window->modality() != Qt::NonModal ? LayerWindow::KeyboardInteractivityExclusive
                                                      : LayerWindow::KeyboardInteractivityOnDemand;
    layer->setKeyboardInteractivity(keyboard);
    window->setProperty(kConfiguredProperty, true);
}

// Per-window state of the overlay itself, a child of its widget so that it dies with it.
class OverlayState final : public QObject {
public:
    OverlayState(QWidget* widget, bool layerShell)
        : QObject(widget), widget_(widget), layerShell_(layerShell) {
        setObjectName(QStringLiteral("kibchat-wayland-window-state"));
    }

    static OverlayState* find(const QWidget* widget) {
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
        base_ = widget_->pos() - outputOrigin();
        if (layerShell_)
            widget_->move(0, 0);
        widget_->winId();
        window_ = widget_->windowHandle();
        if (!window_)
            return;
        if (layerShell_)
            configureLayer(window_, true, base_);
        window_->installEventFilter(this);
        QObject::connect(window_, &QWindow::opacityChanged, this,
                         [this](qreal level) { paintOpacity(level); });
        paintOpacity(widget_->windowOpacity());
    }

    // The overlay's place on its output: the origin of every window's coordinates.
    QPoint place() const { return base_ + (layerShell_ ? widget_->pos() : QPoint()); }
    QPoint globalPlace() const { return outputOrigin() + place(); }
    // Where the overlay covers its output.
    QRect rect() const { return QRect(place(), widget_->size()); }

    // Puts the overlay at `global` as if dragged there.
    void moveTo(const QPoint& global) {
        base_ = global - outputOrigin();
        if (!widget_->pos().isNull())
            widget_->move(0, 0); // the margins follow
        followMove();
    }

    void setClickThrough(bool on) {
        clickThrough_ = on;
        applyInput();
    }

    // Another window of ours opened or closed. sway gives the keys to the oldest layer surface
    // that takes them, so the overlay lets go of them while one is open.
    void otherWindowShown(bool shown) {
        openWindows_ = qMax(0, openWindows_ + (shown ? 1 : -1));
        applyInput();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_.data() && event->type() == QEvent::Expose) {
            if (!window_->isExposed())
                inputSet_ = false; // the surface goes; the next one starts afresh
            else if (!inputSet_)
                applyInput();
        }
        if (watched == widget_ && event->type() == QEvent::Move && layerShell_ &&
            !event->spontaneous())
            followMove();
        // layer-shell-qt asks for a surface's size only when it makes the surface, and each
        // configure from the compositor repeats that first size; the surface itself takes the
        // size of what is drawn. So Qt is kept from shrinking the widget back to it.
        if (watched == window_.data() && event->type() == QEvent::Resize && layerShell_ &&
            event->spontaneous() && static_cast<QResizeEvent*>(event)->size() != widget_->size())
            return true;
        if (watched == window_.data() && event->type() == QEvent::MouseButtonRelease && layerShell_)
            QMetaObject::invokeMethod(
                this, [this] { followMove(); }, Qt::QueuedConnection);
        // The opacity effect draws the bounding rectangle of what changed, but only what changed
        // is cleared first: the pixels between would be thickened. So the whole window is
        // marked changed just before Qt repaints it.
        if (watched == widget_ && event->type() == QEvent::UpdateRequest)
            widget_->update();
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
    QPoint outputOrigin() const {
        const QScreen* screen = widget_->screen();
        return screen ? screen->geometry().topLeft() : QPoint();
    }

    // The input region and the keyboard. A new surface (each show) starts with the whole
    // surface as its input region, which Qt does not know: the first expose of each sets ours
    // again. Only changes are sent: each one costs a commit, and a changed keyboard mode a
    // configure from the compositor, which Qt answers with another expose.
    void applyInput() {
        if (!window_ || !window_->isExposed())
            return; // set on the first expose
        const bool locked = clickThrough_;
        if (!inputSet_) {
            window_->setMask(locked ? QRegion() : outsideRegion());
            inputSet_ = true;
        }
        window_->setMask(locked ? outsideRegion() : QRegion());
        const auto keyboard = locked || openWindows_ > 0
                                  ? LayerWindow::KeyboardInteractivityNone
                                  : LayerWindow::KeyboardInteractivityOnDemand;
        LayerWindow* layer = layerShell_ ? LayerWindow::get(window_) : nullptr;
        if (layer && layer->keyboardInteractivity() != keyboard) {
            layer->setKeyboardInteractivity(keyboard);
            widget_->update(); // takes effect with the surface's next commit
        }
    }

    // The widget was moved (dragged, or resized at its left edge): the margins follow.
    void followMove() {
        if (!window_)
            return;
        const QMargins margins = marginsAt(place());
        LayerWindow* layer = LayerWindow::get(window_);
        if (layer && layer->margins() != margins) {
            layer->setMargins(margins);
            // The margins take effect with the surface's next commit: at once.
            widget_->repaint();
        }
        if (QGuiApplication::mouseButtons() == Qt::NoButton && !widget_->pos().isNull()) {
            base_ = place();
            // Moving the widget moves its window with the size the window had last, which
            // lags behind a resize until the compositor has answered it: give the size too.
            window_->setGeometry(QRect(QPoint(), widget_->size()));
            widget_->move(0, 0);
        }
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
    bool clickThrough_ = false;
    QPoint base_;
    bool inputSet_ = false;
    int openWindows_ = 0; // our other windows on screen // the current surface has our input region
};

// Watches every window of the process: a window shown on its own (a message box, a list that
// drops down) gets our layer settings instead of layer-shell-qt's defaults (all four edges,
// the top layer, the keyboard taken), and a place beside the overlay.
class WindowWatcher final : public QObject {
public:
    // OVERLAY tells where the overlay is on the output; OTHER_SHOWN is told when another window
    // of ours opens or closes.
    WindowWatcher(bool layerShell, std::function<QRect()> overlay,
                  std::function<void(bool)> otherShown)
        : layerShell_(layerShell), overlay_(std::move(overlay)),
          otherShown_(std::move(otherShown)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (layerShell_ && (type == QEvent::Show || type == QEvent::Hide) &&
            watched->isWindowType()) {
            auto* window = static_cast<QWindow*>(watched);
            if (window->property(kOtherProperty).toBool() ||
                !window->property(kConfiguredProperty).toBool()) {
                if (type == QEvent::Show) {
                    // Qt counts the window's position from the overlay's corner.
                    const QRect overlay = overlay_();
                    const QRect asked(overlay.topLeft() + window->position(), window->size());
                    const QSize output = window->screen() ? window->screen()->geometry().size()
                                                          : QSize(INT_MAX, INT_MAX);
                    configureLayer(window, false, besideOverlay(asked, overlay, output));
                    window->setProperty(kOtherProperty, true);
                }
                otherShown_(type == QEvent::Show);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const bool layerShell_;
    const std::function<QRect()> overlay_;
    const std::function<void(bool)> otherShown_;
};

class WaylandPlatform final : public Platform {
public:
    explicit WaylandPlatform(bool layerShell)
        : layerShell_(layerShell),
          watcher_(
              layerShell, [this] { return overlayRect(); },
              [this](bool shown) {
                  if (overlay_)
                      OverlayState::find(overlay_)->otherWindowShown(shown);
              }) {
        qApp->installEventFilter(&watcher_);
    }
    ~WaylandPlatform() override {
        if (qApp)
            qApp->removeEventFilter(&watcher_);
    }

    const char* name() const override { return layerShell_ ? "wayland-layer-shell" : "wayland"; }

    void setClickThrough(QWidget* window, bool on) override { ensure(window)->setClickThrough(on); }

    // The overlay layer lies above every window of the desktop already; only a hidden window
    // needs showing.
    void raiseTopmost(QWidget* window) override {
        ensure(window);
        if (!window->isVisible())
            window->show();
    }

    // On Wayland the desktop owns the keys: no program sees the keys typed into another. Where
    // the desktop has the shortcut portal it binds the key for us; elsewhere its own shortcut
    // runs `kibchat --toggle-lock` instead.
    bool canWatchKeyChord(const KeyChord& chord) const override {
        return !portalTrigger(chord).isEmpty() && portalOffered();
    }
    HookHandle watchKeyChord(const KeyChord& chord, KeyChordCallback callback) override {
        if (!canWatchKeyChord(chord))
            return nullptr;
        // The application owns it, so that one still open at the end goes with it.
        return new ShortcutPortal(QDBusConnection::sessionBus(), chord, callback, qApp);
    }
    // Also called from the watcher's own report of a lost key: it goes once that is over.
    void unwatchKeyChord(HookHandle hook) override {
        if (auto* portal = static_cast<ShortcutPortal*>(hook)) {
            portal->stop();
            portal->deleteLater();
        }
    }
    QPoint windowPlace(const QWidget* window) const override {
        const OverlayState* state = layerShell_ ? OverlayState::find(window) : nullptr;
        return state ? state->globalPlace() : Platform::windowPlace(window);
    }
    void placeWindow(QWidget* window, const QPoint& place) override {
        OverlayState* state = layerShell_ ? OverlayState::find(window) : nullptr;
        if (state)
            state->moveTo(place);
        else
            Platform::placeWindow(window, place);
    }

    QString boundKeyText(HookHandle hook) const override {
        return hook ? static_cast<ShortcutPortal*>(hook)->boundKeyText() : QString();
    }

    void setCursor(QWidget* window, SystemCursor cursor) override {
        static const Qt::CursorShape shapes[] = {Qt::ArrowCursor, Qt::SizeHorCursor,
                                                 Qt::SizeVerCursor, Qt::SizeFDiagCursor,
                                                 Qt::SizeBDiagCursor};
        window->setCursor(shapes[static_cast<int>(cursor)]);
    }

private:
    // Asked once: a session's portal does not come and go with our key choices.
    bool portalOffered() const {
        if (portalOffered_ < 0)
            portalOffered_ =
                ShortcutPortal::isOffered(QDBusConnection::sessionBus(), kPortalTimeoutMs) ? 1 : 0;
        return portalOffered_ == 1;
    }

    QRect overlayRect() const { return overlay_ ? OverlayState::find(overlay_)->rect() : QRect(); }

    OverlayState* ensure(QWidget* window) {
        OverlayState* state = OverlayState::find(window);
        if (!state) {
            state = new OverlayState(window, layerShell_);
            overlay_ = window;
        }
        state->prepare();
        return state;
    }

    // A portal started on demand by the bus answers within this; a slower one counts as none.
    static constexpr int kPortalTimeoutMs = 1500;

    const bool layerShell_;
    WindowWatcher watcher_;
    QPointer<QWidget> overlay_;
    mutable int portalOffered_ = -1; // unknown
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
