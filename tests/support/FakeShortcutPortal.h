#pragma once

// A stand-in for the desktop's global-shortcut portal on a private bus: it answers as a desktop
// would, keeps what it was asked, and fires the shortcut on demand.

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QString>

class FakeShortcutPortal final : public QDBusVirtualObject {
public:
    // Takes the portal's name and object on `bus`; false in registered() when it cannot.
    explicit FakeShortcutPortal(const QDBusConnection& bus);
    ~FakeShortcutPortal() override;
    bool registered() const { return registered_; }

    // How it answers: the responses to the session and to the binding (0 accepted, 1 cancelled
    // by the user, 2 failed), and the key it binds ("" the one asked for, "-" none).
    uint sessionResponse = 0;
    uint bindResponse = 0;
    QString bindsAs;

    // What it was asked.
    QString preferredTrigger;
    QString description;
    QString session; // the last session's handle
    int closedSessions = 0;

    // The shortcut `id` pressed (down) or released in `inSession` (empty: the last session).
    void fire(bool down, const QString& id, const QString& inSession = QString());
    // The user bound the shortcut to another key in the desktop's settings.
    void rebind(const QString& trigger);
    // The desktop ended the session.
    void closeSession();
    // The portal process went away.
    void quit();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void respond(const QString& request, uint response, const QVariantMap& results);
    QVariant shortcuts(const QString& trigger) const;

    QDBusConnection bus_;
    bool registered_ = false;
};
