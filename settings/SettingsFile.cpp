#include "settings/SettingsFile.h"

#include <QFile>
#include <QSettings>

namespace {

int readInt(const QSettings& settings, const char* key, int current) {
    // No success test: text that is not a whole decimal number reads as 0.
    return settings.value(QLatin1String(key), current).toString().toInt();
}

QString readString(const QSettings& settings, const char* key, const QString& current) {
    return settings.value(QLatin1String(key), current).toString();
}

QString withoutTrailingSlash(QString url) {
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

// An empty variable (as left by `VAR= kibchat`) means unset, not "no address".
void overrideFrom(const QProcessEnvironment& env, const char* name, QString& value) {
    const QString set = env.value(QLatin1String(name));
    if (!set.isEmpty())
        value = set;
}

// No desktop reaches a million pixels from its origin.
constexpr int kPlaceBound = 1000000;

void writeWindowPlace(QSettings& settings, const WindowPlace& place) {
    settings.setValue(QStringLiteral("Window/x"), place.topLeft.x());
    settings.setValue(QStringLiteral("Window/y"), place.topLeft.y());
    settings.setValue(QStringLiteral("Window/screen"), place.screen);
    settings.setValue(QStringLiteral("Window/screenX"), place.screenGeometry.x());
    settings.setValue(QStringLiteral("Window/screenY"), place.screenGeometry.y());
    settings.setValue(QStringLiteral("Window/screenWidth"), place.screenGeometry.width());
    settings.setValue(QStringLiteral("Window/screenHeight"), place.screenGeometry.height());
}

// Writes through one of the savers below into the file at path, on disk when it returns.
template <typename Save> void saveToFile(const QString& path, Save save) {
    QSettings settings(path, QSettings::IniFormat);
    save(settings);
    settings.sync();
}

} // namespace

bool settingsTextToBool(const QString& text) {
    return !(text.isEmpty() || text == QLatin1String("0") ||
             text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
}

DisplaySettings loadDisplaySettings(const QString& path, const DisplaySettings& defaults,
                                    HotKeySettings* hotKey) {
    DisplaySettings s = defaults;
    if (!QFile::exists(path))
        return s;
    QSettings settings(path, QSettings::IniFormat);
    s.roomName = readString(settings, "Config/roomName", s.roomName);
    s.bold = settingsTextToBool(
        settings.value(QStringLiteral("Config/bBold"), s.bold ? "true" : "false").toString());
    s.alpha = readInt(settings, "Config/Alpha", s.alpha);
    s.fontFamily = readString(settings, "Config/fontFamily", s.fontFamily);
    s.fontSize =
        qBound(kMinFontSize, readInt(settings, "Config/fontSize", s.fontSize), kMaxFontSize);
    s.lineHeight = qBound(kMinLineHeight, readInt(settings, "Config/lineHeight", s.lineHeight),
                          kMaxLineHeight);
    s.width = readInt(settings, "Config/appWidth", s.width);
    s.height = readInt(settings, "Config/appHeight", s.height);
    if (hotKey) {
        // Unquoted, "Ctrl+A, B" reads as a list: keep it whole, so that it is noticed as two
        // chords rather than taken for an empty key.
        const QVariant lockKey = settings.value(QStringLiteral("HotKey/lockKey"), hotKey->lockKey);
        hotKey->lockKey = lockKey.type() == QVariant::StringList
                              ? lockKey.toStringList().join(QLatin1String(", "))
                              : lockKey.toString();
        hotKey->holdToInteract = settingsTextToBool(
            settings.value(QStringLiteral("HotKey/holdToInteract"), hotKey->holdToInteract)
                .toString());
    }
    return s;
}

WindowPlace loadWindowPlace(const QString& path) {
    WindowPlace place;
    if (!QFile::exists(path))
        return place;
    QSettings settings(path, QSettings::IniFormat);
    bool hasX = false;
    bool hasY = false;
    const int x = settings.value(QStringLiteral("Window/x")).toString().toInt(&hasX);
    const int y = settings.value(QStringLiteral("Window/y")).toString().toInt(&hasY);
    // A place half written, hand-edited into text or far beyond any desktop is no place: the
    // default one serves. The bound also keeps the geometry's sums clear of overflow.
    const auto plausible = [](int v) { return v > -kPlaceBound && v < kPlaceBound; };
    place.saved = hasX && hasY && plausible(x) && plausible(y);
    place.topLeft = QPoint(x, y);
    place.screen = readString(settings, "Window/screen", QString());
    const int sx = readInt(settings, "Window/screenX", 0);
    const int sy = readInt(settings, "Window/screenY", 0);
    const int sw = readInt(settings, "Window/screenWidth", 0);
    const int sh = readInt(settings, "Window/screenHeight", 0);
    if (plausible(sx) && plausible(sy) && plausible(sw) && plausible(sh))
        place.screenGeometry = QRect(sx, sy, sw, sh);
    return place;
}

void saveDisplaySettings(QSettings& settings, const DisplaySettings& s,
                         const HotKeySettings* hotKey) {
    settings.setValue(QStringLiteral("Config/roomName"), s.roomName);
    settings.setValue(QStringLiteral("Config/bBold"), s.bold);
    settings.setValue(QStringLiteral("Config/Alpha"), s.alpha);
    settings.setValue(QStringLiteral("Config/fontFamily"), s.fontFamily);
    settings.setValue(QStringLiteral("Config/fontSize"), s.fontSize);
    settings.setValue(QStringLiteral("Config/lineHeight"), s.lineHeight);
    settings.setValue(QStringLiteral("Config/appWidth"), s.width);
    settings.setValue(QStringLiteral("Config/appHeight"), s.height);
    if (hotKey) {
        settings.setValue(QStringLiteral("HotKey/lockKey"), hotKey->lockKey);
        settings.setValue(QStringLiteral("HotKey/holdToInteract"), hotKey->holdToInteract);
    }
}

void saveDisplaySettings(const QString& path, const DisplaySettings& s,
                         const HotKeySettings* hotKey) {
    saveToFile(path, [&](QSettings& settings) { saveDisplaySettings(settings, s, hotKey); });
}

namespace {

bool readBool(const QSettings& settings, const char* key) {
    return settingsTextToBool(settings.value(QLatin1String(key)).toString());
}

// The section's keys have no other meaning than filtering, so a value that does not read as a
// non-negative number turns the minimum off rather than hiding every gift.
double readMinimum(const QSettings& settings, const char* key) {
    bool ok = false;
    const double value = settings.value(QLatin1String(key)).toString().toDouble(&ok);
    return ok && value > 0.0 && qIsFinite(value) ? value : 0.0;
}

} // namespace

FilterChoices loadFilterChoices(const QString& path) {
    FilterChoices c;
    if (!QFile::exists(path))
        return c;
    QSettings settings(path, QSettings::IniFormat);
    // Written with escapes like the rest of the file; read as UTF-8 as well, so that Chinese
    // typed into the file by hand counts. Escaped text reads the same either way.
    settings.setIniCodec("UTF-8");
    c.blockedUsers = settings.value(QStringLiteral("Filter/blockedUsers")).toStringList();
    c.blockedWords = settings.value(QStringLiteral("Filter/blockedWords")).toStringList();
    c.minGiftValue = readMinimum(settings, "Filter/minGiftValue");
    c.hideFreeGifts = readBool(settings, "Filter/hideFreeGifts");
    c.giftsOnly = readBool(settings, "Filter/giftsOnly");
    return c;
}

void saveFilterChoices(QSettings& settings, const FilterChoices& c) {
    settings.setValue(QStringLiteral("Filter/blockedUsers"), c.blockedUsers);
    settings.setValue(QStringLiteral("Filter/blockedWords"), c.blockedWords);
    settings.setValue(QStringLiteral("Filter/minGiftValue"), c.minGiftValue);
    settings.setValue(QStringLiteral("Filter/hideFreeGifts"), c.hideFreeGifts);
    settings.setValue(QStringLiteral("Filter/giftsOnly"), c.giftsOnly);
}

void saveFilterChoices(const QString& path, const FilterChoices& c) {
    saveToFile(path, [&c](QSettings& settings) { saveFilterChoices(settings, c); });
}

WindowOptions loadWindowOptions(const QString& path) {
    WindowOptions o;
    if (!QFile::exists(path))
        return o;
    QSettings settings(path, QSettings::IniFormat);
    o.hideFromCapture = readBool(settings, "Window/hideFromCapture");
    o.fadeUnderPointer = readBool(settings, "Window/fadeUnderPointer");
    return o;
}

void saveWindowOptions(QSettings& settings, const WindowOptions& o) {
    settings.setValue(QStringLiteral("Window/hideFromCapture"), o.hideFromCapture);
    settings.setValue(QStringLiteral("Window/fadeUnderPointer"), o.fadeUnderPointer);
}

void saveWindowOptions(const QString& path, const WindowOptions& o) {
    saveToFile(path, [&o](QSettings& settings) { saveWindowOptions(settings, o); });
}

ServiceEndpoints loadServiceEndpoints(const QString& path, const QProcessEnvironment& env) {
    ServiceEndpoints endpoints;
    if (QFile::exists(path)) {
        QSettings settings(path, QSettings::IniFormat);
        endpoints.roomInfoUrl = readString(settings, "Service/roomInfoUrl", endpoints.roomInfoUrl);
        endpoints.chatUrl = readString(settings, "Service/chatUrl", endpoints.chatUrl);
        endpoints.downloadHost =
            readString(settings, "Service/downloadHost", endpoints.downloadHost);
    }
    overrideFrom(env, "KIBCHAT_ROOMINFO_URL", endpoints.roomInfoUrl);
    overrideFrom(env, "KIBCHAT_CHAT_URL", endpoints.chatUrl);
    overrideFrom(env, "KIBCHAT_DOWNLOAD_HOST", endpoints.downloadHost);
    endpoints.roomInfoUrl = withoutTrailingSlash(endpoints.roomInfoUrl);
    endpoints.chatUrl = withoutTrailingSlash(endpoints.chatUrl);
    return endpoints;
}

void saveWindowPlace(QSettings& file, const WindowPlace& place) {
    if (place.saved)
        writeWindowPlace(file, place);
}
