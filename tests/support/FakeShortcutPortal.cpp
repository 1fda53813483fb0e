#include "support/FakeShortcutPortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>
#include <QPair>
#include <QTimer>

namespace {
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kShortcutId = QStringLiteral("toggle-lock");
using Shortcut = QPair<QString, QVariantMap>;
using Shortcuts = QList<Shortcut>;

QString handlePath(const QDBusMessage& call, const QString& kind, const QString& token) {
    QString sender = call.service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QLatin1Char('/') + kind + QLatin1Char('/') + sender + QLatin1Char('/') + token;
}
} // namespace

FakeShortcutPortal::FakeShortcutPortal(const QDBusConnection& bus) : bus_(bus) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<Shortcuts>();
    registered_ = bus_.registerVirtualObject(kPath, this, QDBusConnection::SubPath) &&
                  bus_.registerService(kService);
}

FakeShortcutPortal::~FakeShortcutPortal() {
    quit();
}

void FakeShortcutPortal::quit() {
    bus_.unregisterService(kService);
    bus_.unregisterObject(kPath, QDBusConnection::UnregisterTree);
}

QString FakeShortcutPortal::introspect(const QString&) const {
    return QString();
}

QVariant FakeShortcutPortal::shortcuts(const QString& trigger) const {
    return QVariant::fromValue(Shortcuts{{kShortcutId,
                                          {{QStringLiteral("description"), description},
                                           {QStringLiteral("trigger_description"), trigger}}}});
}

void FakeShortcutPortal::respond(const QString& request, uint response,
                                 const QVariantMap& results) {
    // After the method's own reply, as a portal answers.
    QTimer::singleShot(0, [bus = bus_, request, response, results]() mutable {
        QDBusMessage signal = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << response << results;
        bus.send(signal);
    });
}

bool FakeShortcutPortal::handleMessage(const QDBusMessage& message,
                                       const QDBusConnection& connection) {
    const QList<QVariant> args = message.arguments();
    const QString member = message.member();
    if (message.path() != kPath) {
        if (member != QLatin1String("Close"))
            return false;
        ++closedSessions;
        connection.send(message.createReply());
        return true;
    }
    if (member == QLatin1String("Get") && args.size() == 2 && args[0].toString() == kInterface &&
        args[1].toString() == QLatin1String("version")) {
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
        return true;
    }
    if (member == QLatin1String("CreateSession") && args.size() == 1) {
        const auto options = qdbus_cast<QVariantMap>(args[0]);
        const QString request = handlePath(message, QStringLiteral("request"),
                                           options[QStringLiteral("handle_token")].toString());
        session = handlePath(message, QStringLiteral("session"),
                             options[QStringLiteral("session_handle_token")].toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        respond(request, sessionResponse, {{QStringLiteral("session_handle"), session}});
        return true;
    }
    if (member == QLatin1String("BindShortcuts") && args.size() == 4) {
        const auto asked = qdbus_cast<Shortcuts>(args[1]);
        const auto options = qdbus_cast<QVariantMap>(args[3]);
        for (const Shortcut& shortcut : asked) {
            if (shortcut.first == kShortcutId) {
                preferredTrigger = shortcut.second[QStringLiteral("preferred_trigger")].toString();
                description = shortcut.second[QStringLiteral("description")].toString();
            }
        }
        const QString request = handlePath(message, QStringLiteral("request"),
                                           options[QStringLiteral("handle_token")].toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        const QString bound = bindsAs.isEmpty()               ? preferredTrigger
                              : bindsAs == QLatin1String("-") ? QString()
                                                              : bindsAs;
        respond(request, bindResponse, {{QStringLiteral("shortcuts"), shortcuts(bound)}});
        return true;
    }
    connection.send(message.createErrorReply(
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
    return true;
}

void FakeShortcutPortal::fire(bool down, const QString& id, const QString& inSession) {
    QDBusMessage signal = QDBusMessage::createSignal(
        kPath, kInterface, down ? QStringLiteral("Activated") : QStringLiteral("Deactivated"));
    signal << QVariant::fromValue(QDBusObjectPath(inSession.isEmpty() ? session : inSession)) << id
           << qulonglong(QDateTime::currentMSecsSinceEpoch()) << QVariantMap();
    bus_.send(signal);
}

void FakeShortcutPortal::rebind(const QString& trigger) {
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("ShortcutsChanged"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcuts(trigger);
    bus_.send(signal);
}

void FakeShortcutPortal::closeSession() {
    QDBusMessage signal = QDBusMessage::createSignal(
        session, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Closed"));
    signal << QVariantMap();
    bus_.send(signal);
}
