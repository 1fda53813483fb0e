#include "platform/ShortcutPortal.h"

#include "platform/Keysyms.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPair>
#include <QStringList>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// One shortcut as the portal passes it: its id and its properties.
using Shortcut = QPair<QString, QVariantMap>;
using Shortcuts = QList<Shortcut>;

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<Shortcut>();
        qDBusRegisterMetaType<Shortcuts>();
        return true;
    }();
    Q_UNUSED(registered)
}

// The request object the portal answers on: it is named after our bus name and a token of
// ours, so that its answer can be listened for before the call is made.
QString requestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

QString newToken() {
    static int serial = 0;
    return QStringLiteral("kibchat_%1").arg(++serial);
}

} // namespace

const char* const ShortcutPortal::kShortcutId = "toggle-lock";
const char* const ShortcutPortal::kDescription = "锁定/解锁 KibChat 窗口";

QString portalTrigger(const KeyChord& chord) {
    if (!chord.isValid())
        return QString();
    const QString key = keysymName(chord.key);
    if (key.isEmpty())
        return QString();
    QStringList parts;
    if (chord.modifiers & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (chord.modifiers & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (chord.modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (chord.modifiers & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    parts << key;
    return parts.join(QLatin1Char('+'));
}

bool ShortcutPortal::isOffered(const QDBusConnection& bus, int timeoutMs) {
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt() >= 1;
}

ShortcutPortal::ShortcutPortal(const QDBusConnection& bus, const KeyChord& chord,
                               KeyChordCallback callback, QObject* parent)
    : QObject(parent), bus_(bus), trigger_(portalTrigger(chord)), callback_(callback) {
    registerTypes();
    // A portal that goes away takes its sessions with it.
    auto* watcher =
        new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { lose(); });
    if (trigger_.isEmpty() || !bus_.isConnected()) {
        QMetaObject::invokeMethod(
            this, [this] { lose(); }, Qt::QueuedConnection);
        return;
    }
    const QString sessionToken = newToken();
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), sessionToken}},
            SLOT(onSessionCreated(uint, QVariantMap)));
}

ShortcutPortal::~ShortcutPortal() {
    stop();
}

void ShortcutPortal::stop() {
    lost_ = true;
    boundKeyText_.clear();
    if (!session_.isEmpty())
        bus_.send(QDBusMessage::createMethodCall(kService, session_, kSessionInterface,
                                                 QStringLiteral("Close")));
    session_.clear();
}

void ShortcutPortal::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                             const char* slot) {
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    const QString expected = requestPath(bus_, token);
    bus_.connect(kService, expected, kRequestInterface, QStringLiteral("Response"), this, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    arguments << options;
    call.setArguments(arguments);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, expected, slot](QDBusPendingCallWatcher* watcher) {
                watcher->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                if (reply.isError()) {
                    bus_.disconnect(kService, expected, kRequestInterface,
                                    QStringLiteral("Response"), this, slot);
                    lose();
                    return;
                }
                // Portals older than the handle token answer on a path of their own.
                const QString path = reply.value().path();
                if (path != expected) {
                    bus_.disconnect(kService, expected, kRequestInterface,
                                    QStringLiteral("Response"), this, slot);
                    bus_.connect(kService, path, kRequestInterface, QStringLiteral("Response"),
                                 this, slot);
                }
            });
}

void ShortcutPortal::onSessionCreated(uint response, const QVariantMap& results) {
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    // Some portals send the handle as an object path, the documented type is a string.
    session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                    : handle.toString();
    if (lost_) { // stopped meanwhile: the session is not wanted any more
        stop();
        return;
    }
    if (response != 0 || session_.isEmpty()) {
        lose();
        return;
    }
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                 SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("Deactivated"), this,
                 SLOT(onDeactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ShortcutsChanged"), this,
                 SLOT(onShortcutsChanged(QDBusMessage)));
    bus_.connect(kService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                 SLOT(onSessionClosed()));
    const Shortcuts shortcuts{{QString::fromLatin1(kShortcutId),
                               {{QStringLiteral("description"), QString::fromUtf8(kDescription)},
                                {QStringLiteral("preferred_trigger"), trigger_}}}};
    request(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString()},
        {}, SLOT(onShortcutsBound(uint, QVariantMap)));
}

void ShortcutPortal::onShortcutsBound(uint response, const QVariantMap& results) {
    if (lost_)
        return;
    if (response != 0) {
        lose();
        return;
    }
    takeShortcuts(results.value(QStringLiteral("shortcuts")));
}

void ShortcutPortal::onShortcutsChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() >= 2 && arguments.at(0).value<QDBusObjectPath>().path() == session_)
        takeShortcuts(arguments.at(1));
}

// The shortcuts the desktop bound: ours with the key it bound, or no key at all.
void ShortcutPortal::takeShortcuts(const QVariant& shortcuts) {
    if (lost_)
        return;
    Shortcuts list;
    if (shortcuts.canConvert<QDBusArgument>())
        shortcuts.value<QDBusArgument>() >> list;
    QString text;
    for (const Shortcut& shortcut : qAsConst(list)) {
        if (shortcut.first == QLatin1String(kShortcutId))
            text = shortcut.second.value(QStringLiteral("trigger_description")).toString();
    }
    if (text.trimmed().isEmpty()) {
        lose();
        return;
    }
    boundKeyText_ = text.trimmed();
    callback_(KeyChordEvent::Bound);
}

void ShortcutPortal::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                 const QVariantMap&) {
    if (!lost_ && session.path() == session_ && id == QLatin1String(kShortcutId))
        callback_(KeyChordEvent::Press);
}

void ShortcutPortal::onDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                   const QVariantMap&) {
    if (!lost_ && session.path() == session_ && id == QLatin1String(kShortcutId))
        callback_(KeyChordEvent::Release);
}

void ShortcutPortal::onSessionClosed() {
    lose();
}

void ShortcutPortal::lose() {
    if (lost_)
        return;
    lost_ = true;
    boundKeyText_.clear();
    callback_(KeyChordEvent::Lost);
}

} // namespace platform
