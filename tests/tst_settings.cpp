// The settings file: reading the section "Config" over defaults (and the sections "Window"
// and "Filter"), writing its eight keys without losing anything else, and the service
// addresses from file and environment.
// Every test works on a file of its own in a fresh temporary folder.

#include "settings/SettingsFile.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(DisplaySettings)

// What one section's reader makes of the file at the path, described in full.
using Reader = std::function<QString(const QString& path)>;
Q_DECLARE_METATYPE(Reader)

namespace {

QString describe(const FilterChoices& c) {
    return QStringLiteral("users=[%1] words=[%2] min=%3 free=%4 giftsOnly=%5")
        .arg(c.blockedUsers.join(QLatin1Char('|')), c.blockedWords.join(QLatin1Char('|')))
        .arg(c.minGiftValue)
        .arg(c.hideFreeGifts)
        .arg(c.giftsOnly);
}

FilterChoices filter(QStringList users, QStringList words, double min = 0, bool free = false,
                     bool giftsOnly = false) {
    FilterChoices c;
    c.blockedUsers = std::move(users);
    c.blockedWords = std::move(words);
    c.minGiftValue = min;
    c.hideFreeGifts = free;
    c.giftsOnly = giftsOnly;
    return c;
}

// Every field, so that a failed comparison shows both records in full.
QString describe(const DisplaySettings& s) {
    return QStringLiteral("roomName=[%1] bold=%2 alpha=%3 fontFamily=[%4] fontSize=%5 "
                          "lineHeight=%6 width=%7 height=%8")
        .arg(s.roomName)
        .arg(s.bold ? QStringLiteral("true") : QStringLiteral("false"))
        .arg(s.alpha)
        .arg(s.fontFamily)
        .arg(s.fontSize)
        .arg(s.lineHeight)
        .arg(s.width)
        .arg(s.height);
}

// The saved place as the tests compare it: whether there is one, where, and the screen then.
QString describe(const WindowPlace& p) {
    const QRect& screen = p.screenGeometry;
    return QStringLiteral("saved=%1 topLeft=%2,%3 screen=%4,%5 %6x%7")
        .arg(p.saved)
        .arg(p.topLeft.x())
        .arg(p.topLeft.y())
        .arg(screen.x())
        .arg(screen.y())
        .arg(screen.width())
        .arg(screen.height());
}

// Values that differ from the built-in defaults in every field, so that a key that is not
// read cannot pass for one that is. The fields in their order: room name, bold, alpha, font
// family, font size, line height, width, height.
DisplaySettings otherDefaults() {
    return {QStringLiteral("preset"), true, 3, QStringLiteral("PresetFont"), 21, 4, 555, 444};
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The "key=value" lines of one section as written in the file, sorted; the file is read as
// text so that the check does not go through the reader under test.
QStringList sectionLines(const QByteArray& file, const QString& section) {
    QStringList lines;
    bool inside = false;
    for (const QString& raw : QString::fromLatin1(file).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inside = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        if (inside && !line.isEmpty())
            lines << line;
    }
    lines.sort();
    return lines;
}

QStringList sectionNames(const QByteArray& file) {
    QStringList names;
    for (const QString& raw : QString::fromLatin1(file).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            names << line;
    }
    names.sort();
    return names;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void noFileGivesDefaults();
    void loadKeys_data();
    void loadKeys();
    void textToBool_data();
    void textToBool();
    void saveWritesAllKeys_data();
    void saveWritesAllKeys();
    void saveKeepsOtherKeysAndSections();
    void saveEscapesNonAscii();
    void roundTrip_data();
    void roundTrip();
    void serviceEndpoints_data();
    void serviceEndpoints();
    void filterRoundTrip_data();
    void filterRoundTrip();
};

void TestSettings::noFileGivesDefaults() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));

    // The built-in defaults: empty room name, bold off, level 6, font size 10, line height 1,
    // 277 by 312.
    const DisplaySettings builtIn{QString(), false, 6, QString(), 10, 1, 277, 312};
    QCOMPARE(describe(loadDisplaySettings(path, DisplaySettings())), describe(builtIn));

    // Whatever defaults the caller gives come back unchanged.
    QCOMPARE(describe(loadDisplaySettings(path, otherDefaults())), describe(otherDefaults()));

    // Loading never creates the file.
    QVERIFY(!QFile::exists(path));
}

void TestSettings::loadKeys_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Reader>("read");
    QTest::addColumn<QString>("expected");

    // The section "Config" over given defaults; `with` describes them with one change.
    const DisplaySettings preset = otherDefaults();
    const auto with = [&preset](auto change) {
        DisplaySettings s = preset;
        change(s);
        return describe(s);
    };
    DisplaySettings boldOff = preset;
    boldOff.bold = false;
    const auto over = [](const DisplaySettings& defaults) {
        return Reader([defaults](const QString& path) {
            return describe(loadDisplaySettings(path, defaults));
        });
    };
    const Reader overPreset = over(preset);

    QTest::newRow("empty file keeps all") << QByteArray() << overPreset << describe(preset);
    QTest::newRow("keys of another section ignored")
        << QByteArray("[Other]\nroomName=x\nAlpha=9\n[General]\nfontSize=30\n") << overPreset
        << describe(preset);
    QTest::newRow("all eight keys")
        << QByteArray("[Config]\nroomName=room1\nbBold=false\nAlpha=7\nfontFamily=Serif\n"
                      "fontSize=14\nlineHeight=2\nappWidth=400\nappHeight=500\n")
        << overPreset << describe(DisplaySettings{"room1", false, 7, "Serif", 14, 2, 400, 500});

    // Each key on its own: the others keep the defaults.
    QTest::newRow("roomName") << QByteArray("[Config]\nroomName=abc\n") << overPreset
                              << with([](DisplaySettings& s) { s.roomName = "abc"; });
    QTest::newRow("roomName empty") << QByteArray("[Config]\nroomName=\n") << overPreset
                                    << with([](DisplaySettings& s) { s.roomName.clear(); });
    QTest::newRow("roomName in escaped Chinese")
        << QByteArray("[Config]\nroomName=\\x6211\\x7684\\x623f\\x95f4\n") << overPreset
        << with([](DisplaySettings& s) { s.roomName = QStringLiteral("我的房间"); });
    QTest::newRow("Alpha") << QByteArray("[Config]\nAlpha=8\n") << overPreset
                           << with([](DisplaySettings& s) { s.alpha = 8; });
    QTest::newRow("fontFamily") << QByteArray("[Config]\nfontFamily=Mono\n") << overPreset
                                << with([](DisplaySettings& s) { s.fontFamily = "Mono"; });
    QTest::newRow("fontSize") << QByteArray("[Config]\nfontSize=12\n") << overPreset
                              << with([](DisplaySettings& s) { s.fontSize = 12; });
    QTest::newRow("lineHeight") << QByteArray("[Config]\nlineHeight=3\n") << overPreset
                                << with([](DisplaySettings& s) { s.lineHeight = 3; });
    QTest::newRow("appWidth") << QByteArray("[Config]\nappWidth=300\n") << overPreset
                              << with([](DisplaySettings& s) { s.width = 300; });
    QTest::newRow("appHeight") << QByteArray("[Config]\nappHeight=350\n") << overPreset
                               << with([](DisplaySettings& s) { s.height = 350; });

    // bBold: false only for "", "0" and "false" in any case; the default is the other way
    // round each time, so a key that is not read fails.
    const auto bold = [&](const char* tag, const char* text, bool expected) {
        QTest::newRow(tag) << QByteArray("[Config]\nbBold=") + text + '\n'
                           << over(expected ? boldOff : preset)
                           << describe(expected ? preset : boldOff);
    };
    bold("bBold empty", "", false);
    bold("bBold 0", "0", false);
    bold("bBold false", "false", false);
    bold("bBold FaLsE", "FaLsE", false);
    bold("bBold FALSE", "FALSE", false);
    bold("bBold yes", "yes", true);
    bold("bBold 2", "2", true);
    bold("bBold true", "true", true);
    bold("bBold 1", "1", true);
    bold("bBold no is true: only the three texts are false", "no", true);

    // Integers are read without a success test: text that is not a whole decimal is 0.
    const auto zero = [&](const char* tag, const char* line, int DisplaySettings::*field) {
        QTest::newRow(tag) << QByteArray("[Config]\n") + line + '\n'
                           << overPreset << with([field](DisplaySettings& s) { s.*field = 0; });
    };
    zero("Alpha not numeric", "Alpha=high", &DisplaySettings::alpha);
    zero("Alpha empty", "Alpha=", &DisplaySettings::alpha);
    zero("Alpha fractional", "Alpha=3.5", &DisplaySettings::alpha);
    zero("Alpha hexadecimal", "Alpha=0x10", &DisplaySettings::alpha);
    zero("fontSize not numeric", "fontSize=big", &DisplaySettings::fontSize);
    zero("lineHeight not numeric", "lineHeight=tall", &DisplaySettings::lineHeight);
    zero("appWidth not numeric", "appWidth=wide", &DisplaySettings::width);
    zero("appHeight not numeric", "appHeight=12px", &DisplaySettings::height);

    // The loader only reads: range checks belong to the window.
    QTest::newRow("Alpha 15 not clamped here") << QByteArray("[Config]\nAlpha=15\n") << overPreset
                                               << with([](DisplaySettings& s) { s.alpha = 15; });
    QTest::newRow("negative Alpha not clamped here")
        << QByteArray("[Config]\nAlpha=-2\n") << overPreset
        << with([](DisplaySettings& s) { s.alpha = -2; });
    QTest::newRow("appWidth 276 not reset here")
        << QByteArray("[Config]\nappWidth=276\n") << overPreset
        << with([](DisplaySettings& s) { s.width = 276; });

    // Font size and spacing: values the panel does not list still read as stored; those that
    // would overflow the layout or the font engine come to the nearest bound.
    const auto bounded = [&](const char* tag, const char* line, int DisplaySettings::*field,
                             int value) {
        QTest::newRow(tag) << QByteArray("[Config]\n") + line + '\n'
                           << overPreset
                           << with([field, value](DisplaySettings& s) { s.*field = value; });
    };
    bounded("fontSize 13 kept", "fontSize=13", &DisplaySettings::fontSize, 13);
    bounded("fontSize 60 kept", "fontSize=60", &DisplaySettings::fontSize, 60);
    bounded("fontSize at the bound", "fontSize=200", &DisplaySettings::fontSize, 200);
    bounded("fontSize past the bound", "fontSize=201", &DisplaySettings::fontSize, 200);
    bounded("fontSize of int max", "fontSize=2147483647", &DisplaySettings::fontSize, 200);
    bounded("negative fontSize", "fontSize=-5", &DisplaySettings::fontSize, 0);
    bounded("lineHeight 0 kept", "lineHeight=0", &DisplaySettings::lineHeight, 0);
    bounded("lineHeight -16 kept", "lineHeight=-16", &DisplaySettings::lineHeight, -16);
    bounded("lineHeight 400000", "lineHeight=400000", &DisplaySettings::lineHeight, 300);
    bounded("lineHeight near 2^25", "lineHeight=33554431", &DisplaySettings::lineHeight, 300);
    bounded("lineHeight of int min", "lineHeight=-2147483648", &DisplaySettings::lineHeight, -16);

    // The section "Window", after a section "Config": the place of the last shutdown.
    const Reader place = [](const QString& path) { return describe(loadWindowPlace(path)); };
    const auto placed = [&place](const char* tag, const QByteArray& section, bool saved,
                                 QPoint topLeft, QRect screen) {
        WindowPlace expected;
        expected.saved = saved;
        expected.topLeft = topLeft;
        expected.screenGeometry = screen;
        QTest::newRow(tag) << "[Config]\nroomName=r\n" + section << place << describe(expected);
    };
    const QByteArray screenKeys =
        "screen=HDMI-1\nscreenX=-1920\nscreenY=0\nscreenWidth=1920\nscreenHeight=1080\n";
    placed("Window: no section", QByteArray(), false, QPoint(), QRect());
    placed("Window: a monitor left of the primary", "[Window]\nx=-1500\ny=200\n" + screenKeys, true,
           QPoint(-1500, 200), QRect(-1920, 0, 1920, 1080));
    placed("Window: y missing", "[Window]\nx=10\n", false, QPoint(10, 0), QRect());
    placed("Window: x as text", "[Window]\nx=left\ny=5\n", false, QPoint(0, 5), QRect());
    placed("Window: beyond any desktop", "[Window]\nx=2147483000\ny=5\n", false,
           QPoint(2147483000, 5), QRect());
    placed("Window: screen beyond any desktop", "[Window]\nx=1\ny=2\nscreenX=-2147483648\n", true,
           QPoint(1, 2), QRect());

    // The section "Filter", read after "Config" as the window does at start.
    const Reader filters = [](const QString& path) {
        loadDisplaySettings(path, DisplaySettings{});
        return describe(loadFilterChoices(path));
    };
    const QString nothing = describe(FilterChoices{});
    QTest::newRow("Filter: no section")
        << QByteArray("[Config]\nroomName=r\n") << filters << nothing;
    QTest::newRow("Filter: lists typed by hand, Chinese in UTF-8")
        << QByteArray("[Filter]\nblockedUsers=Bot, \xe5\xb0\x8f\xe9\xb1\xbc\n"
                      "blockedWords=\xe5\xb9\xbf\xe5\x91\x8a, \"a, b\"\n")
        << filters
        << describe(filter({"Bot", QStringLiteral("小鱼")}, {QStringLiteral("广告"), "a, b"}));
    QTest::newRow("Filter: escaped as written")
        << QByteArray("[Filter]\nblockedWords=\\x5e7f\\x544a\n") << filters
        << describe(filter({}, {QStringLiteral("广告")}));
    QTest::newRow("Filter: switches and a minimum")
        << QByteArray("[Filter]\nminGiftValue=2.5\nhideFreeGifts=true\ngiftsOnly=1\n") << filters
        << describe(filter({}, {}, 2.5, true, true));
    QTest::newRow("Filter: minimum not a number is off")
        << QByteArray("[Filter]\nminGiftValue=ten\n") << filters << nothing;
    QTest::newRow("Filter: negative minimum is off")
        << QByteArray("[Filter]\nminGiftValue=-3\n") << filters << nothing;
}

void TestSettings::loadKeys() {
    QFETCH(QByteArray, file);
    QFETCH(Reader, read);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeFile(path, file));
    QCOMPARE(read(path), expected);
}

void TestSettings::textToBool_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("false") << "false" << false;
    QTest::newRow("False") << "False" << false;
    QTest::newRow("FaLsE") << "FaLsE" << false;
    QTest::newRow("FALSE") << "FALSE" << false;
    QTest::newRow("true") << "true" << true;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("2") << "2" << true;
    QTest::newRow("yes") << "yes" << true;
    QTest::newRow("no") << "no" << true;
    QTest::newRow("off") << "off" << true;
    QTest::newRow("00 is not 0") << "00" << true;
    QTest::newRow("0.0 is not 0") << "0.0" << true;
    QTest::newRow("-0 is not 0") << "-0" << true;
    QTest::newRow("falsey is not false") << "falsey" << true;
    QTest::newRow("f is not false") << "f" << true;
    QTest::newRow("false with a leading space") << " false" << true;
    QTest::newRow("a single space is not empty") << " " << true;
}

void TestSettings::textToBool() {
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(settingsTextToBool(text), expected);
}

void TestSettings::saveWritesAllKeys_data() {
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("boldText");
    QTest::newRow("bold on") << true << "true";
    QTest::newRow("bold off") << false << "false";
}

void TestSettings::saveWritesAllKeys() {
    QFETCH(bool, bold);
    QFETCH(QString, boldText);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));

    saveDisplaySettings(path, {QStringLiteral("room42"), bold, 7, "Sans", 14, 2, 400, 500});

    // The file is created, holds only the section "Config" and exactly the eight keys.
    const QByteArray file = readFile(path);
    QVERIFY(!file.isEmpty());
    QCOMPARE(sectionNames(file), QStringList({"[Config]"}));
    QStringList expected{"roomName=room42", "bBold=" + boldText, "Alpha=7",      "fontFamily=Sans",
                         "fontSize=14",     "lineHeight=2",      "appWidth=400", "appHeight=500"};
    expected.sort();
    QCOMPARE(sectionLines(file, QStringLiteral("Config")), expected);
}

void TestSettings::saveKeepsOtherKeysAndSections() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QVERIFY(writeFile(path, "[Config]\n"
                            "roomName=old\n"
                            "Alpha=2\n"
                            "extraKey=keep-me\n"
                            "[Service]\n"
                            "roomInfoUrl=http://10.1.2.3:9000\n"
                            "chatUrl=http://10.1.2.4:9001\n"
                            "downloadHost=10.1.2.5:9002\n"
                            "[Other]\n"
                            "answer=42\n"));

    DisplaySettings s;
    s.roomName = QStringLiteral("new");
    s.alpha = 5;
    saveDisplaySettings(path, s);

    const QByteArray file = readFile(path);
    QCOMPARE(sectionNames(file), QStringList({"[Config]", "[Other]", "[Service]"}));
    QStringList config{"roomName=new", "bBold=false",   "Alpha=5",
                       "fontFamily=",  "fontSize=10",   "lineHeight=1",
                       "appWidth=277", "appHeight=312", "extraKey=keep-me"};
    config.sort();
    QCOMPARE(sectionLines(file, QStringLiteral("Config")), config);
    QCOMPARE(sectionLines(file, QStringLiteral("Other")), QStringList({"answer=42"}));
    QStringList service{"roomInfoUrl=http://10.1.2.3:9000", "chatUrl=http://10.1.2.4:9001",
                        "downloadHost=10.1.2.5:9002"};
    service.sort();
    QCOMPARE(sectionLines(file, QStringLiteral("Service")), service);

    // The addresses still read back as they were before the save.
    const ServiceEndpoints endpoints = loadServiceEndpoints(path, QProcessEnvironment());
    QCOMPARE(endpoints.roomInfoUrl, QStringLiteral("http://10.1.2.3:9000"));
    QCOMPARE(endpoints.chatUrl, QStringLiteral("http://10.1.2.4:9001"));
    QCOMPARE(endpoints.downloadHost, QStringLiteral("10.1.2.5:9002"));
}

// No text codec: characters outside printable ASCII are written as \x escapes, so the file
// reads the same whatever the system's locale.
void TestSettings::saveEscapesNonAscii() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    DisplaySettings s;
    s.roomName = QStringLiteral("我的房间");
    saveDisplaySettings(path, s);

    const QByteArray file = readFile(path);
    QVERIFY(!file.isEmpty());
    for (const char c : file)
        QVERIFY2((c >= 0x20 && c < 0x7f) || c == '\n' || c == '\r', file.constData());
    QVERIFY2(
        sectionLines(file, QStringLiteral("Config"))
            .contains(QStringLiteral("roomName=\\x6211\\x7684\\x623f\\x95f4"), Qt::CaseInsensitive),
        file.constData());
}

void TestSettings::roundTrip_data() {
    QTest::addColumn<DisplaySettings>("saved");

    // Each value differs from otherDefaults(), which the load is given.
    const auto settings = [](const QString& room, const QString& font, bool bold) {
        return DisplaySettings{room, bold, 9, font, 0, -1, 1920, 212};
    };
    QTest::newRow("Chinese room name") << settings(QStringLiteral("我的房间"), "Sans", false);
    QTest::newRow("Chinese font family")
        << settings(QStringLiteral("room"), QStringLiteral("文泉驿微米黑"), true);
    QTest::newRow("mixed scripts and emoji")
        << settings(QStringLiteral("Käse-Стрим 🎮"), "Noto Sans CJK SC", false);
    QTest::newRow("empty room name") << settings(QString(), QString(), true);
    QTest::newRow("INI punctuation")
        << settings(QStringLiteral("a,b;c=d#e\"f\\g[h]"), "x,y", false);
    QTest::newRow("leading and trailing spaces")
        << settings(QStringLiteral("  padded  "), " F ", true);
    QTest::newRow("leading @") << settings(QStringLiteral("@Invalid()"), "@font", false);
}

void TestSettings::roundTrip() {
    QFETCH(DisplaySettings, saved);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    saveDisplaySettings(path, saved);
    QCOMPARE(describe(loadDisplaySettings(path, otherDefaults())), describe(saved));
}

void TestSettings::serviceEndpoints_data() {
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("environment"); // NAME=value
    QTest::addColumn<QString>("roomInfoUrl");
    QTest::addColumn<QString>("chatUrl");
    QTest::addColumn<QString>("downloadHost");

    const QString defUrl = QStringLiteral("http://127.0.0.1:18080");
    const QString defHost = QStringLiteral("127.0.0.1:18080");
    const QByteArray fileValues("[Service]\n"
                                "roomInfoUrl=http://10.0.0.1:8001\n"
                                "chatUrl=http://10.0.0.2:8002\n"
                                "downloadHost=10.0.0.3:8003\n");

    QTest::newRow("no file, no environment: defaults")
        << false << QByteArray() << QStringList() << defUrl << defUrl << defHost;
    QTest::newRow("file without the section: defaults")
        << true << QByteArray("[Config]\nroomName=x\n") << QStringList() << defUrl << defUrl
        << defHost;
    QTest::newRow("file values") << true << fileValues << QStringList() << "http://10.0.0.1:8001"
                                 << "http://10.0.0.2:8002"
                                 << "10.0.0.3:8003";
    QTest::newRow("file with one key") << true << QByteArray("[Service]\nchatUrl=http://c:1\n")
                                       << QStringList() << defUrl << "http://c:1" << defHost;
    QTest::newRow("keys in another section ignored")
        << true << QByteArray("[Config]\nroomInfoUrl=http://wrong:1\nchatUrl=http://wrong:2\n")
        << QStringList() << defUrl << defUrl << defHost;
    QTest::newRow("environment over defaults")
        << false << QByteArray()
        << QStringList{"KIBCHAT_ROOMINFO_URL=http://e:1", "KIBCHAT_CHAT_URL=http://e:2",
                       "KIBCHAT_DOWNLOAD_HOST=e:3"}
        << "http://e:1"
        << "http://e:2"
        << "e:3";
    QTest::newRow("environment over file")
        << true << fileValues
        << QStringList{"KIBCHAT_ROOMINFO_URL=http://e:1", "KIBCHAT_CHAT_URL=http://e:2",
                       "KIBCHAT_DOWNLOAD_HOST=e:3"}
        << "http://e:1"
        << "http://e:2"
        << "e:3";
    QTest::newRow("empty variables count as unset")
        << true << fileValues
        << QStringList{"KIBCHAT_ROOMINFO_URL=", "KIBCHAT_CHAT_URL=", "KIBCHAT_DOWNLOAD_HOST="}
        << "http://10.0.0.1:8001"
        << "http://10.0.0.2:8002"
        << "10.0.0.3:8003";
    QTest::newRow("each variable overrides only its own value")
        << true << fileValues << QStringList{"KIBCHAT_CHAT_URL=http://e:2"}
        << "http://10.0.0.1:8001"
        << "http://e:2"
        << "10.0.0.3:8003";
    QTest::newRow("unrelated variables ignored")
        << true << fileValues
        << QStringList{"ROOMINFO_URL=http://x:1", "kibchat_chat_url=http://x:2"}
        << "http://10.0.0.1:8001"
        << "http://10.0.0.2:8002"
        << "10.0.0.3:8003";
    QTest::newRow("trailing slash removed from file URLs")
        << true << QByteArray("[Service]\nroomInfoUrl=http://f:1/\nchatUrl=http://f:2/\n")
        << QStringList() << "http://f:1"
        << "http://f:2" << defHost;
    QTest::newRow("several trailing slashes removed")
        << true << QByteArray("[Service]\nroomInfoUrl=http://f:1///\nchatUrl=http://f:2//\n")
        << QStringList() << "http://f:1"
        << "http://f:2" << defHost;
    QTest::newRow("trailing slash removed from environment URLs")
        << false << QByteArray()
        << QStringList{"KIBCHAT_ROOMINFO_URL=http://e:1/", "KIBCHAT_CHAT_URL=http://e:2/api/"}
        << "http://e:1"
        << "http://e:2/api" << defHost;
    QTest::newRow("inner slashes kept")
        << true << QByteArray("[Service]\nchatUrl=http://f:2/base/path\n") << QStringList()
        << defUrl << "http://f:2/base/path" << defHost;
}

void TestSettings::serviceEndpoints() {
    QFETCH(bool, hasFile);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, environment);
    QFETCH(QString, roomInfoUrl);
    QFETCH(QString, chatUrl);
    QFETCH(QString, downloadHost);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (hasFile)
        QVERIFY(writeFile(path, file));

    // Built by hand: the test's own environment must not leak in.
    QProcessEnvironment env;
    for (const QString& pair : environment) {
        const int eq = pair.indexOf(QLatin1Char('='));
        env.insert(pair.left(eq), pair.mid(eq + 1));
    }

    const ServiceEndpoints endpoints = loadServiceEndpoints(path, env);
    QCOMPARE(endpoints.roomInfoUrl, roomInfoUrl);
    QCOMPARE(endpoints.chatUrl, chatUrl);
    QCOMPARE(endpoints.downloadHost, downloadHost);

    // Reading the addresses never writes the file.
    QCOMPARE(QFile::exists(path), hasFile);
    if (hasFile)
        QCOMPARE(readFile(path), file);
}

// Saved after the section "Config", as at shutdown, and read back with it.
void TestSettings::filterRoundTrip_data() {
    QTest::addColumn<FilterChoices>("saved");
    QTest::addColumn<bool>("options"); // both window options on, or both off
    QTest::newRow("nothing chosen") << FilterChoices{} << false;
    QTest::newRow("one entry each") << filter({"bot"}, {QStringLiteral("微信")}, 10) << true;
    QTest::newRow("INI punctuation and @")
        << filter({"a,b", "@Invalid()"}, {"x;y=z", "\"q\"", " pad "}, 0.5, true) << false;
    QStringList many;
    for (int i = 0; i < 500; ++i)
        many << QStringLiteral("广告%1 spam").arg(i);
    QTest::newRow("hundreds of words") << filter(many.mid(0, 300), many, 0, false, true) << true;
}

void TestSettings::filterRoundTrip() {
    QFETCH(FilterChoices, saved);
    QFETCH(bool, options);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    DisplaySettings display = otherDefaults();
    display.roomName = QStringLiteral("我的房间");
    saveDisplaySettings(path, display);
    saveFilterChoices(path, saved);
    saveWindowOptions(path, WindowOptions{options, options});
    QCOMPARE(describe(loadFilterChoices(path)), describe(saved));
    const WindowOptions read = loadWindowOptions(path);
    QCOMPARE(read.hideFromCapture, options);
    QCOMPARE(read.fadeUnderPointer, options);
    QCOMPARE(loadDisplaySettings(path, DisplaySettings{}).roomName, display.roomName);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
