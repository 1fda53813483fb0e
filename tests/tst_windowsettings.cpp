// The window at work offscreen: chat lines read back from the log's document, the line
// spacing lag, the block cap, and the settings file as the window reads and writes it.

#include "platform/HeadlessPlatform.h"
#include "support/WindowTests.h"
#include "ui/ChatDialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

namespace {

using windowtests::chat;

struct Run {
    QString text;
    QColor color;
    int weight;
    int pointSize;
};

// The runs of one block with their look, as the document holds them.
QVector<Run> runsOf(const QTextBlock& block) {
    QVector<Run> runs;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        const QTextCharFormat fmt = f.charFormat();
        runs.append(
            {f.text(), fmt.foreground().color(), fmt.font().weight(), fmt.font().pointSize()});
    }
    return runs;
}

} // namespace

class TestWindowSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void linesReadBack();
    void boldAppliesToLaterLines();
    void lineHeightLagsOneLine();
    void blockCap();
    void selectionDropped();
    void markupShownLiterally();

    void startFromFile_data();
    void startFromFile();
    void savedAtShutdown();
    void resizedHeightSurvivesRestart(); // and the place with it
    void sizeNotInListShowsFirst();

private:
    void writeConfig(const QMap<QString, QString>& values);
    void open();
    void send(const MsgsInfo& msg) {
        QMetaObject::invokeMethod(dialog.get(), "ReceiveMessage", Q_ARG(MsgsInfo, msg),
                                  Q_ARG(int, 0));
    }
    QTextEdit* log() const { return dialog->findChild<QTextEdit*>(QStringLiteral("chatLog")); }

    QTemporaryDir imagesHome;
    std::unique_ptr<QTemporaryDir> workDir;
    platform::HeadlessPlatform desktop;
    std::unique_ptr<CChatDialog> dialog;
};

void TestWindowSettings::initTestCase() {
    qRegisterMetaType<MsgsInfo>("MsgsInfo");
    platform::setCurrentForTesting(&desktop);
}

void TestWindowSettings::init() {
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(windowtests::enterWithImages(workDir->path()));
}

void TestWindowSettings::cleanup() {
    dialog.reset();
    workDir.reset();
}

void TestWindowSettings::writeConfig(const QMap<QString, QString>& values) {
    QFile file(QStringLiteral("config.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray text = "[Config]\n";
    for (auto it = values.begin(); it != values.end(); ++it)
        text += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    text += "[Other]\nkeep=me\n";
    file.write(text);
}

void TestWindowSettings::open() {
    dialog = std::make_unique<CChatDialog>(6);
}

void TestWindowSettings::linesReadBack() {
    open();
    MsgsInfo gift;
    gift.type = QStringLiteral("gift");
    gift.username = QStringLiteral("B");
    gift.itemType = QStringLiteral("car");
    gift.itemTitle = QStringLiteral("跑车");
    gift.number = 2;
    gift.moneyCost = 10;
    gift.grade = 20;
    send(chat(QStringLiteral("A"), QStringLiteral("hi"), 11));
    send(gift);

    const QTextBlock first = log()->document()->firstBlock();
    const QVector<Run> a = runsOf(first);
    QCOMPARE(a.size(), 3);
    QCOMPARE(a.at(0).text, QStringLiteral("【LV11】"));
    QCOMPARE(a.at(0).color, QColor(255, 255, 0));
    QCOMPARE(a.at(1).text, QStringLiteral("A:"));
    QCOMPARE(a.at(1).color, QColor(64, 123, 201));
    QCOMPARE(a.at(2).text, QStringLiteral("hi"));
    QCOMPARE(a.at(2).color, QColor(255, 255, 255));
    QCOMPARE(a.at(2).pointSize, 10);
    QCOMPARE(a.at(2).weight, int(QFont::Normal));

    const QVector<Run> b = runsOf(first.next());
    QCOMPARE(b.size(), 4);
    QCOMPARE(b.at(2).text, QStringLiteral(" 送出了 "));
    QCOMPARE(b.at(3).text, QStringLiteral("【跑车】 2个"));
    QCOMPARE(b.at(3).color, QColor(255, 215, 0));
    QCOMPARE(log()->document()->blockCount(), 3); // two lines and the empty block after them
}

void TestWindowSettings::boldAppliesToLaterLines() {
    open();
    send(chat(QStringLiteral("A"), QStringLiteral("plain")));
    dialog->findChild<QPushButton*>(QStringLiteral("boldButton"))->click();
    send(chat(QStringLiteral("A"), QStringLiteral("bold")));
    const QTextBlock first = log()->document()->firstBlock();
    QCOMPARE(runsOf(first).last().weight, int(QFont::Normal));
    QCOMPARE(runsOf(first.next()).last().weight, int(QFont::Bold));
}

void TestWindowSettings::lineHeightLagsOneLine() {
    open();
    send(chat(QStringLiteral("A"), QStringLiteral("1")));
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("lineHeightCombo"));
    dialog->findChild<QPushButton*>(QStringLiteral("settingButton"))->click();
    combo->setCurrentText(QStringLiteral("7"));
    dialog->findChild<QPushButton*>(QStringLiteral("settingOkButton"))->click();
    send(chat(QStringLiteral("A"), QStringLiteral("2")));
    send(chat(QStringLiteral("A"), QStringLiteral("3")));

    QTextBlock b = log()->document()->firstBlock();
    QCOMPARE(b.blockFormat().lineHeightType(), int(QTextBlockFormat::SingleHeight));
    b = b.next(); // written into the block formatted before the change
    QCOMPARE(b.blockFormat().lineHeight(), 1.0);
    QCOMPARE(b.blockFormat().lineHeightType(), int(QTextBlockFormat::LineDistanceHeight));
    b = b.next(); // the first line that shows the new spacing
    QCOMPARE(b.blockFormat().lineHeight(), 7.0);
}

void TestWindowSettings::blockCap() {
    open();
    for (int i = 0; i < 150; ++i)
        send(chat(QStringLiteral("u"), QString::number(i)));
    QTextDocument* doc = log()->document();
    QCOMPARE(doc->blockCount(), 100);
    // The newest line is kept, the oldest are gone.
    QCOMPARE(doc->lastBlock().previous().text(), QStringLiteral("u:149"));
    QCOMPARE(doc->firstBlock().text(), QStringLiteral("u:51"));
}

void TestWindowSettings::selectionDropped() {
    open();
    send(chat(QStringLiteral("A"), QStringLiteral("first")));
    QTextCursor c = log()->textCursor();
    c.setPosition(0);
    c.setPosition(3, QTextCursor::KeepAnchor);
    log()->setTextCursor(c);
    QVERIFY(log()->textCursor().hasSelection());
    send(chat(QStringLiteral("B"), QStringLiteral("second")));
    QVERIFY(!log()->textCursor().hasSelection());
    QCOMPARE(log()->toPlainText(), QStringLiteral("A:first\nB:second\n"));
}

void TestWindowSettings::markupShownLiterally() {
    open();
    send(chat(QStringLiteral("<b>x</b>"), QStringLiteral("<img src=y>&amp;\u202Eabc")));
    // The override in the text is kept, inside an isolate that ends with the text.
    QCOMPARE(log()->toPlainText(),
             QStringLiteral("<b>x</b>:\u2068<img src=y>&amp;\u202Eabc\u2069\n"));
}

void TestWindowSettings::startFromFile_data() {
    QTest::addColumn<QString>("alpha");
    QTest::addColumn<QString>("bold");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QSize>("size");

    const QSize def(277, 312);
    QTest::newRow("alpha 0, bold 0") << "0"
                                     << "0"
                                     << "300"
                                     << "400" << 1 << false << QSize(300, 400);
    QTest::newRow("alpha 15, bold FaLsE") << "15"
                                          << "FaLsE"
                                          << "300"
                                          << "400" << 9 << false << QSize(300, 400);
    QTest::newRow("alpha abc, bold yes") << "abc"
                                         << "yes"
                                         << "300"
                                         << "400" << 1 << true << QSize(300, 400);
    QTest::newRow("bold 2, width 276") << "6"
                                       << "2"
                                       << "276"
                                       << "400" << 6 << true << def;
    QTest::newRow("empty bold, bad width text") << "6"
                                                << ""
                                                << "wide"
                                                << "400" << 6 << false << def;
}

void TestWindowSettings::startFromFile() {
    QFETCH(QString, alpha);
    QFETCH(QString, bold);
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(int, level);
    QFETCH(bool, checked);
    QFETCH(QSize, size);

    writeConfig({{"Alpha", alpha}, {"bBold", bold}, {"appWidth", width}, {"appHeight", height}});
    open();
    QCOMPARE(qRound(dialog->windowOpacity() * 10), level);
    QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("boldButton"))->isChecked(), checked);
    QCOMPARE(dialog->size(), size);
    const int screenWidth = desktop.primaryScreenSize().width();
    QCOMPARE(dialog->pos(), QPoint(screenWidth - size.width() - 50, 100));

    dialog.reset(); // a normal shutdown writes the clamped level back
    QSettings ini(QStringLiteral("config.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Config/Alpha")).toInt(), level);
    QCOMPARE(ini.value(QStringLiteral("Config/bBold")).toString(),
             checked ? QStringLiteral("true") : QStringLiteral("false"));
}

void TestWindowSettings::savedAtShutdown() {
    writeConfig({{"roomName", "\\x623f\\x95f4"}}); // the file's own escaping of "房间"
    open();
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("roomNameEdit"))->text(),
             QStringLiteral("房间"));
    dialog.reset();

    QSettings ini(QStringLiteral("config.ini"), QSettings::IniFormat);
    const QStringList keys = {"roomName", "bBold",      "Alpha",    "fontFamily",
                              "fontSize", "lineHeight", "appWidth", "appHeight"};
    for (const QString& key : keys)
        QVERIFY2(ini.contains(QStringLiteral("Config/") + key), qPrintable(key));
    QCOMPARE(ini.value(QStringLiteral("Config/roomName")).toString(), QStringLiteral("房间"));
    QCOMPARE(ini.value(QStringLiteral("Config/Alpha")).toInt(), 6);
    QCOMPARE(ini.value(QStringLiteral("Config/fontSize")).toInt(), 10);
    QCOMPARE(ini.value(QStringLiteral("Config/appWidth")).toInt(), 277);
    QCOMPARE(ini.value(QStringLiteral("Other/keep")).toString(), QStringLiteral("me"));
}

void TestWindowSettings::resizedHeightSurvivesRestart() {
    open();
    dialog->resize(300, 250); // a height the user can resize to
    dialog->move(40, 60);
    dialog.reset();
    QSettings ini(QStringLiteral("config.ini"), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Config"));
    QCOMPARE(ini.childKeys().size(), 8); // the place goes beside it, not into it
    ini.endGroup();
    const QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(ini.value(QStringLiteral("Window/screen")).toString(), screen->name());
    QCOMPARE(ini.value(QStringLiteral("Window/screenWidth")).toInt(), screen->geometry().width());

    open();
    QCOMPARE(dialog->geometry(), QRect(40, 60, 300, 250));

    // Saved on a screen that is not there now: back to the default place.
    dialog.reset();
    QSettings(QStringLiteral("config.ini"), QSettings::IniFormat)
        .setValue(QStringLiteral("Window/x"), screen->geometry().width() + 500);
    open();
    const QRect defaultPlace(screen->geometry().width() - 350, 100, 300, 250);
    QCOMPARE(dialog->geometry(), defaultPlace);

    // While it runs, the top timer's tick brings a window left mostly off the screen back.
    dialog->move(10, 20);
    QMetaObject::invokeMethod(dialog.get(), "TopTimerOut");
    QCOMPARE(dialog->pos(), QPoint(10, 20));
    dialog->move(screen->geometry().width() - 100, 20);
    QMetaObject::invokeMethod(dialog.get(), "TopTimerOut");
    QCOMPARE(dialog->geometry(), defaultPlace);
}

void TestWindowSettings::sizeNotInListShowsFirst() {
    writeConfig({{"fontSize", "13"}, {"fontFamily", "No Such Family"}});
    open();
    auto* sizeCombo = dialog->findChild<QComboBox*>(QStringLiteral("fontSizeCombo"));
    QCOMPARE(sizeCombo->currentText(), QStringLiteral("10"));
    send(chat(QStringLiteral("A"), QStringLiteral("x")));
    QCOMPARE(runsOf(log()->document()->firstBlock()).last().pointSize, 13); // used until OK

    auto* familyCombo = dialog->findChild<QComboBox*>(QStringLiteral("fontFamilyCombo"));
    const QString firstFamily = familyCombo->count() ? familyCombo->itemText(0) : QString();
    QCOMPARE(familyCombo->currentText(), firstFamily);
    dialog->findChild<QPushButton*>(QStringLiteral("settingButton"))->click();
    dialog->findChild<QPushButton*>(QStringLiteral("settingOkButton"))->click();
    dialog.reset();
    QSettings ini(QStringLiteral("config.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Config/fontSize")).toInt(), 10);
    QCOMPARE(ini.value(QStringLiteral("Config/fontFamily")).toString(), firstFamily);
}

QTEST_MAIN(TestWindowSettings)
#include "tst_windowsettings.moc"
