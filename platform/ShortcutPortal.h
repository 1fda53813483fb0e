#pragma once

// The lock key bound through the desktop's global-shortcut portal
// (org.freedesktop.portal.GlobalShortcuts), where the desktop owns the keys (Wayland). The
// desktop, not the program, decides which key triggers the shortcut: it may bind the key asked
// for, another one the user picks, or none, and it may answer only after asking the user.

#include "platform/Platform.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace platform {

// The chord in the portal's trigger words ("CTRL+SHIFT+F10", "LOGO+a"); empty where the chord
// cannot be said in them.
QString portalTrigger(const KeyChord& chord);

class ShortcutPortal final : public QObject {
    Q_OBJECT
public:
    // The shortcut's id and its description in the desktop's shortcut settings.
    static const char* const kShortcutId;
    static const char* const kDescription;

    // Whether the bus has the portal with global shortcuts. Blocks for one round trip at most
    // `timeoutMs` long.
    static bool isOffered(const QDBusConnection& bus, int timeoutMs);

    // Opens a session and asks for the chord as the shortcut's trigger. Activations arrive as
    // Press and Release; Bound once the desktop says which key it bound (boundKeyText()), again
    // whenever the user changes it; Lost when the desktop refuses, binds no key, closes the
    // session or goes away: nothing more arrives after it.
    ShortcutPortal(const QDBusConnection& bus, const KeyChord& chord, KeyChordCallback callback,
                   QObject* parent = nullptr);
    ~ShortcutPortal() override;
    // Closes the session, so that the desktop stops routing the key here; nothing more is
    // reported.
    void stop();

    // The desktop's own words for the bound key; empty until Bound.
    QString boundKeyText() const { return boundKeyText_; }

private slots:
    void onSessionCreated(uint response, const QVariantMap& results);
    void onShortcutsBound(uint response, const QVariantMap& results);
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);
    void onDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                       const QVariantMap& options);
    void onShortcutsChanged(const QDBusMessage& message);
    void onSessionClosed();

private:
    // Calls a portal method whose answer comes as a Response signal on a request object, and
    // routes that answer to `slot`.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 const char* slot);
    void takeShortcuts(const QVariant& shortcuts);
    void lose();

    QDBusConnection bus_;
    const QString trigger_;
    const KeyChordCallback callback_;
    QString session_;
    QString boundKeyText_;
    bool lost_ = false; // or stopped: nothing more is reported
};

} // namespace platform
