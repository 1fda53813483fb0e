// The overlay window offscreen: its widget tree, its state after construction, the
// dispatcher, lock mode, opacity, the settings panel and the title bar's slots.

#include "platform/HeadlessPlatform.h"
#include "settings/SettingsFile.h"
#include "support/WindowTests.h"
#include "ui/ChatDialog.h"
#include "ui/StyleSheets.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <memory>

Q_DECLARE_METATYPE(platform::CaptureHiding)

class TestChatDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void widgetTree_data();
    void widgetTree();
    void titleBarOrder();
    void constructedState();
    void hookFailureStartsUnlocked();
    void hookSharedAcrossWindows();
    void desktopBindsKey_data();
    void desktopBindsKey();
    void dispatcher_data();
    void dispatcher();
    void hotKeyTogglesLock();
    void lockKeyEvents_data();
    void lockKeyEvents();
    void lockKeyInForce_data();
    void lockKeyInForce();
    void panelChangesLockKey();
    void lockButtonOnlyLocks();
    void lockMovesFocusAndCommitsRoomName();
    void opacitySteps_data();
    void opacitySteps();
    void settingPanelSelection();
    void settingPanelOkCancel();
    void roomNameCommit_data();
    void roomNameCommit();
    void onlineCount_data();
    void onlineCount();
    void closeButtonQuits();
    void destructorRemovesHook();
    void captureHiding_data();
    void captureHiding();
    void panelSetsFilters();

private:
    template <typename T> T* child(const char* name) const {
        return windowtests::namedChild<T>(dialog.get(), name);
    }
    QString lockText() const { return child<QToolButton>("lockButton")->text(); }
    // Qt keeps the opacity in 8 bits: compare in tenths.
    int opacityLevel() const { return qRound(dialog->windowOpacity() * 10); }
    bool clickThrough() const { return desktop->clickThrough(dialog.get()); }

    // Rebuilds the window over a settings file with this [HotKey] section.
    void restartWithHotKey(const QString& lockKey, bool hold) {
        dialog.reset();
        QFile::remove(QStringLiteral("config.ini"));
        // As a streamer would write it by hand: no quotes.
        QFile file(QStringLiteral("config.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[HotKey]\nlockKey=%1\nholdToInteract=%2\n")
                       .arg(lockKey, hold ? QStringLiteral("true") : QStringLiteral("false"))
                       .toUtf8());
        file.close();
        dialog = std::make_unique<CChatDialog>(6);
    }

    QTemporaryDir workDir; // the window reads and writes its settings in the working directory
    std::unique_ptr<platform::HeadlessPlatform> desktop;
    std::unique_ptr<CChatDialog> dialog;
};

void TestChatDialog::initTestCase() {
    qRegisterMetaType<KeyboardDownFlag>("KeyboardDownFlag");
    QVERIFY(workDir.isValid());
    QVERIFY(windowtests::enterWithImages(workDir.path()));
}

void TestChatDialog::init() {
    QFile::remove(QStringLiteral("config.ini"));
    desktop = std::make_unique<platform::HeadlessPlatform>();
    platform::setCurrentForTesting(desktop.get());
    dialog = std::make_unique<CChatDialog>(6);
}

void TestChatDialog::cleanup() {
    dialog.reset();
    platform::setCurrentForTesting(nullptr);
    desktop.reset();
}

void TestChatDialog::widgetTree_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");  // null: placed by a layout, only the size is checked
    QTest::addColumn<QSize>("fixedSize"); // invalid: not fixed
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("styleSheet");

    const QRect laidOut;
    const QSize notFixed;
    QTest::newRow("liveIndicator") << "liveIndicator"
                                   << "titleBar" << laidOut << QSize(12, 12) << ""
                                   << "" << styles::liveIndicatorInitial();
    QTest::newRow("roomLabel") << "roomLabel"
                               << "titleBar" << laidOut << QSize(38, 20) << "房间号:"
                               << "" << styles::titleLabel();
    QTest::newRow("roomNameEdit") << "roomNameEdit"
                                  << "titleBar" << laidOut << notFixed << ""
                                  << "" << styles::roomNameEdit();
    QTest::newRow("onlineCountIcon") << "onlineCountIcon"
                                     << "titleBar" << laidOut << QSize(12, 12) << ""
                                     << "" << styles::onlineCountIcon();
    QTest::newRow("onlineCountLabel") << "onlineCountLabel"
                                      << "titleBar" << laidOut << notFixed << "1"
                                      << "" << styles::titleLabel();
    QTest::newRow("lockButton") << "lockButton"
                                << "titleBar" << laidOut << notFixed << "F10解锁"
                                << "" << styles::lockButton();
    QTest::newRow("closeButton") << "closeButton"
                                 << "titleBar" << laidOut << QSize(12, 12) << ""
                                 << "" << styles::closeButton();
    QTest::newRow("addOpacityButton") << "addOpacityButton"
                                      << "hoverToolbar" << QRect(24, 5, 10, 10) << notFixed << ""
                                      << "增加透明度" << styles::addOpacityButton();
    QTest::newRow("subOpacityButton") << "subOpacityButton"
                                      << "hoverToolbar" << QRect(54, 5, 10, 10) << notFixed << ""
                                      << "减少透明度" << styles::subOpacityButton();
    QTest::newRow("boldButton") << "boldButton"
                                << "hoverToolbar" << QRect(84, 5, 10, 10) << notFixed << "B"
                                << "字体加粗" << styles::boldButton();
    QTest::newRow("settingButton") << "settingButton"
                                   << "hoverToolbar" << QRect(114, 4, 12, 12) << notFixed << ""
                                   << "字体设置" << styles::settingButton();
    QTest::newRow("downloadButton") << "downloadButton"
                                    << "hoverToolbar" << QRect(144, 4, 9, 11) << notFixed << ""
                                    << "下载KIB直播软件" << styles::downloadButton();
    QTest::newRow("fontFamilyLabel")
        << "fontFamilyLabel"
        << "settingPanel" << QRect(10, 15, 50, 20) << notFixed << "字体："
        << "" << styles::panelLabel();
    QTest::newRow("fontFamilyCombo") << "fontFamilyCombo"
                                     << "settingPanel" << QRect(70, 15, 130, 20) << notFixed << ""
                                     << "" << styles::panelCombo();
    QTest::newRow("fontSizeLabel")
        << "fontSizeLabel"
        << "settingPanel" << QRect(10, 40, 50, 20) << notFixed << "字号："
        << "" << styles::panelLabel();
    QTest::newRow("fontSizeCombo") << "fontSizeCombo"
                                   << "settingPanel" << QRect(70, 40, 130, 20) << notFixed << ""
                                   << "" << styles::panelCombo();
    QTest::newRow("lineHeightLabel")
        << "lineHeightLabel"
        << "settingPanel" << QRect(10, 65, 50, 20) << notFixed << "行间距："
        << "" << styles::panelLabel();
    QTest::newRow("lineHeightCombo") << "lineHeightCombo"
                                     << "settingPanel" << QRect(70, 65, 130, 20) << notFixed << ""
                                     << "" << styles::panelCombo();
    QTest::newRow("settingOkButton")
        << "settingOkButton"
        << "settingPanel" << QRect(40, 90, 60, 20) << notFixed << "确定"
        << "" << styles::panelButton();
    QTest::newRow("settingCancelButton")
        << "settingCancelButton"
        << "settingPanel" << QRect(110, 90, 60, 20) << notFixed << "取消"
        << "" << styles::panelButton();
    QTest::newRow("chatLog") << "chatLog"
                             << "" << laidOut << notFixed << ""
                             << "" << styles::chatLog();
    QTest::newRow("hoverToolbar") << "hoverToolbar"
                                  << "" << QRect(0, 22, 277, 25) << notFixed << ""
                                  << ""
                                  << "";
    QTest::newRow("settingPanel") << "settingPanel"
                                  << "" << QRect(25, 60, 220, 120) << notFixed << ""
                                  << "" << styles::settingPanel();
}

void TestChatDialog::widgetTree() {
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QSize, fixedSize);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(QString, styleSheet);

    QWidget* widget = dialog->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QWidget* expectedParent = parentName.isEmpty() ? static_cast<QWidget*>(dialog.get())
                                                   : dialog->findChild<QWidget*>(parentName);
    QCOMPARE(widget->parentWidget(), expectedParent);
    if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
    if (fixedSize.isValid()) {
        QCOMPARE(widget->minimumSize(), fixedSize);
        QCOMPARE(widget->maximumSize(), fixedSize);
    }
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(widget->toolTip(), toolTip);
    QCOMPARE(widget->styleSheet(), styleSheet);
}

void TestChatDialog::titleBarOrder() {
    // Left to right as the user reads the strip, with the stretch after the room field.
    const QStringList expected = {
        "liveIndicator",   "roomLabel",        "roomNameEdit", "",
        "onlineCountIcon", "onlineCountLabel", "lockButton",   "closeButton"};
    QLayout* layout = child<QWidget>("titleBar")->layout();
    QCOMPARE(layout->count(), expected.size());
    for (int i = 0; i < layout->count(); ++i) {
        QWidget* w = layout->itemAt(i)->widget();
        QCOMPARE(w ? w->objectName() : QString(), expected.at(i));
        auto* box = qobject_cast<QBoxLayout*>(layout);
        QCOMPARE(box->stretch(i), w ? 132 : 0);
    }
    QCOMPARE(layout->contentsMargins(), QMargins(2, 2, 2, 0));
    QCOMPARE(dialog->layout()->contentsMargins(), QMargins(4, 1, 4, 4));
    QCOMPARE(child<QWidget>("titleBar")->maximumHeight(), 22);
}

void TestChatDialog::constructedState() {
    const QSize screen = desktop->primaryScreenSize();
    QCOMPARE(dialog->geometry(), QRect(screen.width() - 327, 100, 277, 312));
    QCOMPARE(dialog->minimumSize(), QSize(277, 212));
    QCOMPARE(dialog->windowFlags() &
                 (Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
             Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QVERIFY(dialog->testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(dialog->hasMouseTracking());
    QCOMPARE(dialog->styleSheet(), styles::window());
    QCOMPARE(opacityLevel(), 6);

    // Raised (and so shown) once before being locked.
    QVERIFY(dialog->isVisible());
    QCOMPARE(desktop->raiseCount, 1);
    QCOMPARE(desktop->clickThroughWrites, QVector<bool>{true});
    QCOMPARE(lockText(), QStringLiteral("F10解锁"));
    QCOMPARE(desktop->installCount, 1);

    QVERIFY(!child<QWidget>("hoverToolbar")->isVisible());
    QVERIFY(!child<QWidget>("settingPanel")->isVisible());

    auto* log = child<QTextEdit>("chatLog");
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->wordWrapMode(), QTextOption::WordWrap);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!log->document()->isUndoRedoEnabled());
    QCOMPARE(log->document()->maximumBlockCount(), 100);

    auto* bold = child<QPushButton>("boldButton");
    QVERIFY(bold->isCheckable());
    QVERIFY(!bold->isChecked());

    auto* timer = child<QTimer>("topTimer");
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 2000);
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->parent(), dialog.get());
}

void TestChatDialog::hookFailureStartsUnlocked() {
    dialog.reset();
    desktop->clickThroughWrites.clear();
    desktop->failHookInstall = true;
    dialog = std::make_unique<CChatDialog>(6);

    // Locked first, then released: with no hot key the window must stay reachable.
    QCOMPARE(desktop->clickThroughWrites, (QVector<bool>{true, false}));
    QCOMPARE(lockText(), QStringLiteral("F10锁定"));
    QVERIFY(!dialog->lockKeyProblem().isEmpty()); // the tray's tooltip says why
    // The first start and the lock button say how to bind the desktop's own key instead.
    QVERIFY(dialog->startHint().contains(QLatin1String("kibchat --toggle-lock")));
    QVERIFY(child<QToolButton>("lockButton")->toolTip().contains(QLatin1String("--toggle-lock")));
}

void TestChatDialog::desktopBindsKey_data() {
    QTest::addColumn<bool>("unlockedFirst");
    QTest::addColumn<QString>("bound"); // empty: the desktop bound no key
    QTest::addColumn<QString>("lockButton");
    QTest::addColumn<bool>("locked");

    QTest::newRow("the key asked for") << false << "F10"
                                       << "F10解锁" << true;
    QTest::newRow("another key, in the desktop's words") << false << "Alt+K"
                                                         << "Alt+K解锁" << true;
    QTest::newRow("no key: a locked window is unlocked") << false << ""
                                                         << "F10锁定" << false;
    QTest::newRow("no key, already unlocked") << true << ""
                                              << "F10锁定" << false;
}

// Where the desktop binds the key itself (a shortcut portal) it says late which key, or none.
void TestChatDialog::desktopBindsKey() {
    QFETCH(bool, unlockedFirst);
    QFETCH(QString, bound);
    QFETCH(QString, lockButton);
    QFETCH(bool, locked);

    if (unlockedFirst)
        desktop->pressHotKey();
    desktop->desktopBinds(bound);
    QCOMPARE(lockText(), lockButton);
    QCOMPARE(clickThrough(), locked);
    // Without a key the window says how to bind the desktop's own, and the watcher is gone.
    QCOMPARE(dialog->lockKeyProblem().isEmpty(), !bound.isEmpty());
    QCOMPARE(child<QToolButton>("lockButton")->toolTip().contains(QLatin1String("--toggle-lock")),
             bound.isEmpty());
    QCOMPARE(desktop->hookInstalled(), !bound.isEmpty());
}

void TestChatDialog::hookSharedAcrossWindows() {
    // A second window takes over the one watcher; it is never installed twice.
    CChatDialog second(6);
    QCOMPARE(desktop->installCount, 1);
    QSignalSpy firstSpy(dialog.get(), &CChatDialog::keyboardDown);
    QSignalSpy secondSpy(&second, &CChatDialog::keyboardDown);
    desktop->pressHotKey();
    QCOMPARE(firstSpy.count(), 0);
    QCOMPARE(secondSpy.count(), 1);
}

void TestChatDialog::dispatcher_data() {
    QTest::addColumn<int>("flag");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("opacity");

    QTest::newRow("0 toggles lock") << 0 << false << 6;
    QTest::newRow("1 adds opacity") << 1 << true << 7;
    QTest::newRow("2 subtracts opacity") << 2 << true << 5;
    QTest::newRow("3 ignored") << 3 << true << 6;
    QTest::newRow("-1 ignored") << -1 << true << 6;
    QTest::newRow("large ignored") << 0x7fffffff << true << 6;
}

void TestChatDialog::dispatcher() {
    QFETCH(int, flag);
    QFETCH(bool, locked);
    QFETCH(int, opacity);

    emit dialog->keyboardDown(static_cast<KeyboardDownFlag>(flag));
    QCOMPARE(clickThrough(), locked);
    QCOMPARE(lockText(), locked ? QStringLiteral("F10解锁") : QStringLiteral("F10锁定"));
    QCOMPARE(opacityLevel(), opacity);
}

void TestChatDialog::hotKeyTogglesLock() {
    desktop->pressHotKey();
    QVERIFY(!clickThrough());
    QCOMPARE(lockText(), QStringLiteral("F10锁定"));
    desktop->pressHotKey();
    QVERIFY(clickThrough());
    QCOMPARE(lockText(), QStringLiteral("F10解锁"));
    QCOMPARE(desktop->clickThroughWrites.size(), 3);
}

void TestChatDialog::lockKeyEvents_data() {
    QTest::addColumn<QString>("lockKey");
    QTest::addColumn<bool>("hold");
    // Each step: d (key-down), u (key-up) and the key with the modifiers held at that moment.
    QTest::addColumn<QString>("steps");
    // The state after each step: L locked, U unlocked.
    QTest::addColumn<QString>("states");

    QTest::newRow("F10 toggles on each press") << "F10" << false << "d:F10 u:F10 d:F10 u:F10"
                                               << "UULL";
    QTest::newRow("toggle: each repeat toggles") << "F10" << false << "d:F10 d:F10 d:F10 u:F10"
                                                 << "ULUU";
    QTest::newRow("Alt+F10 does nothing") << "F10" << false << "d:Alt+F10 u:Alt+F10"
                                          << "LL";
    QTest::newRow("F10 chosen, Ctrl+F10 does nothing")
        << "F10" << false << "d:Ctrl+F10 u:Ctrl+F10 d:F10"
        << "LLU";
    QTest::newRow("Ctrl+F10 chosen, F10 alone does nothing")
        << "Ctrl+F10" << false << "d:F10 u:F10 d:Ctrl+F10 u:Ctrl+F10"
        << "LLUU";
    QTest::newRow("Ctrl+F10 chosen, Ctrl+Alt+F10 does nothing")
        << "Ctrl+F10" << false << "d:Ctrl+Alt+F10 u:F10"
        << "LL";
    QTest::newRow("Ctrl+Shift+L, not Ctrl+L")
        << "Ctrl+Shift+L" << false << "d:Ctrl+L u:Ctrl+L d:Ctrl+Shift+L u:L"
        << "LLUU";
    QTest::newRow("empty text is F10") << "" << false << "d:F10"
                                       << "U";
    QTest::newRow("hold: unlocked while held, no flicker on repeat")
        << "F10" << true << "d:F10 d:F10 d:F10 u:F10"
        << "UUUL";
    QTest::newRow("hold: Ctrl released first still locks on release")
        << "Ctrl+F10" << true << "d:F10 u:F10 d:Ctrl+F10 u:F10"
        << "LLUL";
    QTest::newRow("hold: an unmatched press and its release do nothing")
        << "F10" << true << "d:Ctrl+F10 d:F10 u:F10 d:F10 u:F10"
        << "LLLUL";
}

void TestChatDialog::lockKeyEvents() {
    QFETCH(QString, lockKey);
    QFETCH(bool, hold);
    QFETCH(QString, steps);
    QFETCH(QString, states);

    restartWithHotKey(lockKey, hold);
    QVERIFY(clickThrough());
    const QStringList list = steps.split(QLatin1Char(' '));
    QCOMPARE(list.size(), states.size());
    for (int i = 0; i < list.size(); ++i) {
        bool ok = false;
        const platform::KeyChord key = platform::KeyChord::fromText(list[i].mid(2), &ok);
        QVERIFY2(ok, qPrintable(list[i]));
        desktop->sendKey(key.key, key.modifiers, list[i].startsWith(QLatin1Char('d')));
        QVERIFY2(clickThrough() == (states[i] == QLatin1Char('L')),
                 qPrintable(QStringLiteral("after step %1").arg(i + 1)));
    }
}

void TestChatDialog::lockKeyInForce_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("unwatchable"); // a key this desktop cannot see, or 0
    QTest::addColumn<QString>("inForce");
    QTest::addColumn<bool>("noted");

    QTest::newRow("chosen chord") << "Ctrl+Shift+L" << 0 << "Ctrl+Shift+L" << false;
    QTest::newRow("Meta (Windows key) chord") << "Meta+F9" << 0 << "Meta+F9" << false;
    QTest::newRow("unknown key text") << "Ctrl+Bogus" << 0 << "F10" << true;
    QTest::newRow("two chords") << "Ctrl+A, B" << 0 << "F10" << true;
    QTest::newRow("a modifier alone") << "Shift" << 0 << "F10" << true;
    QTest::newRow("a key the desktop cannot see") << "F13" << int(Qt::Key_F13) << "F10" << true;
}

void TestChatDialog::lockKeyInForce() {
    QFETCH(QString, stored);
    QFETCH(int, unwatchable);
    QFETCH(QString, inForce);
    QFETCH(bool, noted);

    desktop->unwatchableKeys = {unwatchable};
    restartWithHotKey(stored, false);
    QCOMPARE(desktop->watchedChord().toText(), inForce);
    QCOMPARE(!dialog->lockKeyProblem().isEmpty(), noted);
    QCOMPARE(!child<QLabel>("lockKeyNote")->isHidden(), noted);
    QCOMPARE(child<QLabel>("lockKeyNote")->text(), dialog->lockKeyProblem());
    QCOMPARE(lockText(), dialog->lockKeyName() + QStringLiteral("解锁"));
    QVERIFY(child<QLineEdit>("roomNameEdit")->placeholderText().contains(dialog->lockKeyName()));
    QVERIFY(clickThrough()); // a fallback key still locks at start

    // The choice is written back as it was, so that a fixed file needs no re-typing.
    dialog.reset();
    HotKeySettings written;
    loadDisplaySettings(QStringLiteral("config.ini"), DisplaySettings(), &written);
    QCOMPARE(written.lockKey, stored);
}

void TestChatDialog::panelChangesLockKey() {
    desktop->pressHotKey(); // unlocked, so the panel can be used
    child<QPushButton>("settingButton")->click();
    child<QPushButton>("settingPageButton")->click();
    QVERIFY(child<QWidget>("moreSettingsPage")->isVisible());
    QVERIFY(!child<QWidget>("fontSizeCombo")->isVisible());

    auto* edit = child<QKeySequenceEdit>("lockKeyEdit");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(edit, Qt::Key_K); // a second chord is dropped
    QTRY_COMPARE(edit->keySequence(), QKeySequence(QStringLiteral("Ctrl+Shift+L")));
    child<QCheckBox>("holdToInteractCheck")->setChecked(true);
    child<QPushButton>("settingOkButton")->click();

    QCOMPARE(desktop->removeCount, 1);
    QCOMPARE(desktop->installCount, 2);
    QCOMPARE(desktop->watchedChord().toText(), QStringLiteral("Ctrl+Shift+L"));
    QCOMPARE(lockText(), QStringLiteral("Ctrl+Shift+L锁定"));
    desktop->sendKey(Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier, true);
    desktop->sendKey(Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier, false);
    QVERIFY(clickThrough()); // hold mode: the release locks

    dialog.reset();
    QSettings file(QStringLiteral("config.ini"), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("HotKey/lockKey")).toString(),
             QStringLiteral("Ctrl+Shift+L"));
    QCOMPARE(file.value(QStringLiteral("HotKey/holdToInteract")).toString(),
             QStringLiteral("true"));
}

void TestChatDialog::lockButtonOnlyLocks() {
    auto* lock = child<QToolButton>("lockButton");
    lock->click(); // already locked: stays locked
    QVERIFY(clickThrough());
    desktop->pressHotKey();
    QVERIFY(!clickThrough());
    lock->click();
    QVERIFY(clickThrough());
    QCOMPARE(lockText(), QStringLiteral("F10解锁"));
    lock->click();
    QVERIFY(clickThrough());
}

void TestChatDialog::lockMovesFocusAndCommitsRoomName() {
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    desktop->pressHotKey(); // unlock: no focus change
    auto* edit = child<QLineEdit>("roomNameEdit");
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClicks(edit, "room 1");

    QSignalSpy spy(dialog.get(), &CChatDialog::sigRoomNameChanged);
    desktop->pressHotKey(); // lock: the chat log takes the focus and the name is committed
    QTRY_VERIFY(child<QTextEdit>("chatLog")->hasFocus());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("room 1"));
}

void TestChatDialog::opacitySteps_data() {
    QTest::addColumn<int>("adds");
    QTest::addColumn<int>("subs");
    QTest::addColumn<int>("expected");

    QTest::newRow("three up reach 0.9") << 3 << 0 << 9;
    QTest::newRow("four up stay at 0.9") << 4 << 0 << 9;
    QTest::newRow("five down reach 0.1") << 0 << 5 << 1;
    QTest::newRow("nine down stay at 0.1") << 0 << 9 << 1;
    QTest::newRow("up to top then eight down") << 4 << 8 << 1;
}

void TestChatDialog::opacitySteps() {
    QFETCH(int, adds);
    QFETCH(int, subs);
    QFETCH(int, expected);

    auto* add = child<QPushButton>("addOpacityButton");
    auto* sub = child<QPushButton>("subOpacityButton");
    for (int i = 0; i < adds; ++i)
        add->click();
    for (int i = 0; i < subs; ++i)
        sub->click();
    QCOMPARE(opacityLevel(), expected);
}

void TestChatDialog::settingPanelSelection() {
    const QStringList families = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
    auto* familyCombo = child<QComboBox>("fontFamilyCombo");
    QCOMPARE(familyCombo->count(), families.size());
    for (int i = 0; i < families.size(); ++i)
        QCOMPARE(familyCombo->itemText(i), families.at(i));

    auto* sizeCombo = child<QComboBox>("fontSizeCombo");
    QStringList sizes;
    for (int i = 0; i < sizeCombo->count(); ++i)
        sizes << sizeCombo->itemText(i);
    QCOMPARE(sizes, QStringList({"10", "11", "12", "14", "16", "18", "20", "22"}));
    QCOMPARE(sizeCombo->currentText(), QStringLiteral("10"));

    auto* lineCombo = child<QComboBox>("lineHeightCombo");
    QCOMPARE(lineCombo->count(), 10);
    QCOMPARE(lineCombo->itemText(9), QStringLiteral("10"));
    QCOMPARE(lineCombo->currentText(), QStringLiteral("1"));
}

void TestChatDialog::settingPanelOkCancel() {
    auto* timer = child<QTimer>("topTimer");
    auto* panel = child<QWidget>("settingPanel");
    auto* sizeCombo = child<QComboBox>("fontSizeCombo");

    child<QPushButton>("settingButton")->click();
    QVERIFY(panel->isVisible());
    QVERIFY(!timer->isActive()); // not re-raised while the panel is open

    sizeCombo->setCurrentText(QStringLiteral("16"));
    child<QPushButton>("settingCancelButton")->click();
    QVERIFY(!panel->isVisible());
    QVERIFY(timer->isActive());

    // Cancel keeps the combo's choice; OK commits it, and the log uses it from then on.
    child<QPushButton>("settingButton")->click();
    QCOMPARE(sizeCombo->currentText(), QStringLiteral("16"));
    child<QComboBox>("lineHeightCombo")->setCurrentText(QStringLiteral("4"));
    child<QPushButton>("settingOkButton")->click();
    QVERIFY(!panel->isVisible());
    QVERIFY(timer->isActive());

    MsgsInfo msg;
    msg.type = QStringLiteral("chat");
    msg.username = QStringLiteral("a");
    QMetaObject::invokeMethod(dialog.get(), "ReceiveMessage", Q_ARG(MsgsInfo, msg), Q_ARG(int, 0));
    QTextBlock first = child<QTextEdit>("chatLog")->document()->firstBlock();
    QCOMPARE(first.begin().fragment().charFormat().font().pointSize(), 16);
    QCOMPARE(first.next().blockFormat().lineHeight(), 4.0);
}

void TestChatDialog::roomNameCommit_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("emitted");

    QTest::newRow("plain") << "abc" << true;
    QTest::newRow("blanks kept") << "  abc " << true;
    QTest::newRow("chinese") << "主播房间" << true;
    QTest::newRow("empty refused") << "" << false;
}

void TestChatDialog::roomNameCommit() {
    QFETCH(QString, typed);
    QFETCH(bool, emitted);

    QSignalSpy spy(dialog.get(), &CChatDialog::sigRoomNameChanged);
    auto* edit = child<QLineEdit>("roomNameEdit");
    edit->setText(typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(spy.count(), emitted ? 1 : 0);
    if (emitted) {
        QCOMPARE(spy.at(0).at(0).toString(), typed);
        QTest::keyClick(edit, Qt::Key_Return); // a repeat is committed again
        QCOMPARE(spy.count(), 2);
    }
}

void TestChatDialog::onlineCount_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("live");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero, not live") << 0 << false << "0";
    QTest::newRow("no grouping, live") << 12345 << true << "12345";
    QTest::newRow("negative") << -7 << false << "-7";
}

void TestChatDialog::onlineCount() {
    QFETCH(int, count);
    QFETCH(bool, live);
    QFETCH(QString, text);

    QMetaObject::invokeMethod(dialog.get(), "ReceiveOnlineCount", Q_ARG(int, count),
                              Q_ARG(bool, live));
    QCOMPARE(child<QLabel>("onlineCountLabel")->text(), text);
    QCOMPARE(child<QLabel>("liveIndicator")->styleSheet(),
             live ? styles::liveIndicatorLive() : styles::liveIndicatorNotLive());
}

void TestChatDialog::closeButtonQuits() {
    QSignalSpy spy(dialog.get(), &CChatDialog::quitApp);
    child<QPushButton>("closeButton")->click();
    QCOMPARE(spy.count(), 1);
}

void TestChatDialog::destructorRemovesHook() {
    QVERIFY(desktop->hookInstalled());
    dialog.reset();
    QVERIFY(!desktop->hookInstalled());
    QCOMPARE(desktop->removeCount, 1);
    desktop->pressHotKey(); // nothing left to notify: must not crash
}

void TestChatDialog::captureHiding_data() {
    using platform::CaptureHiding;
    QTest::addColumn<bool>("supported");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<CaptureHiding>("result");
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("boxEnabled");
    QTest::addColumn<QString>("note");
    QTest::newRow("hidden") << true << true << CaptureHiding::Hidden << 1 << true
                            << QStringLiteral("已在录屏中隐藏");
    QTest::newRow("refused, as under wine") << true << true << CaptureHiding::NotPossible << 1
                                            << true << QStringLiteral("此处无法隐藏");
    QTest::newRow("black") << true << true << CaptureHiding::ShownBlack << 1 << true
                           << QStringLiteral("录屏中显示为黑色");
    QTest::newRow("not chosen: no call")
        << true << false << CaptureHiding::Hidden << 0 << true << QString();
    QTest::newRow("no such mechanism (X11, Wayland)")
        << false << true << CaptureHiding::Hidden << 0 << false
        << QStringLiteral("本系统中任何程序都能读取屏幕，无法隐藏");
}

void TestChatDialog::captureHiding() {
    QFETCH(bool, supported);
    QFETCH(bool, chosen);
    QFETCH(platform::CaptureHiding, result);
    QFETCH(int, requests);
    QFETCH(bool, boxEnabled);
    QFETCH(QString, note);
    dialog.reset();
    desktop->captureSupported = supported;
    desktop->captureResult = result;
    QFile file(QStringLiteral("config.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(chosen ? "[Window]\nhideFromCapture=true\n" : "[Window]\n");
    file.close();
    dialog = std::make_unique<CChatDialog>(6);
    QCOMPARE(desktop->captureRequests.size(), requests);
    auto* box = child<QCheckBox>("hideFromCaptureBox");
    QCOMPARE(box->isEnabled(), boxEnabled);
    QCOMPARE(box->isChecked(), chosen && boxEnabled);
    QCOMPARE(child<QLabel>("captureStateLabel")->text(), note);
    if (requests == 0)
        return;
    // A new native window loses the setting: it is asked for again.
    dialog->windowHandle()->destroy();
    dialog->windowHandle()->create();
    QCOMPARE(desktop->captureRequests, QVector<bool>({true, true}));
}

void TestChatDialog::panelSetsFilters() {
    QSignalSpy spy(dialog.get(), &CChatDialog::sigFilterChoicesChanged);
    desktop->pressHotKey();
    child<QPushButton>("settingButton")->click();
    child<QPushButton>("settingPageButton")->click();
    child<QLineEdit>("blockedUsersEdit")->setText(QStringLiteral(" Bot，小鱼, "));
    child<QLineEdit>("blockedWordsEdit")->setText(QStringLiteral("广告、spam phrase"));
    child<QLineEdit>("minGiftValueEdit")->setText(QStringLiteral("9.5"));
    child<QCheckBox>("giftsOnlyBox")->setChecked(true);
    child<QPushButton>("settingOkButton")->click();
    QCOMPARE(spy.count(), 1);
    const auto sent = spy.first().first().value<FilterChoices>();
    QCOMPARE(sent.blockedUsers, QStringList({"Bot", QStringLiteral("小鱼")}));
    QCOMPARE(sent.blockedWords, QStringList({QStringLiteral("广告"), "spam phrase"}));
    QCOMPARE(sent.minGiftValue, 9.5);
    QVERIFY(sent.giftsOnly && !sent.hideFreeGifts);
    // OK again with nothing changed sends nothing.
    child<QPushButton>("settingButton")->click();
    child<QPushButton>("settingOkButton")->click();
    QCOMPARE(spy.count(), 1);

    dialog.reset();
    QSettings file(QStringLiteral("config.ini"), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Filter/blockedWords")).toStringList(), sent.blockedWords);
    QCOMPARE(file.value(QStringLiteral("Filter/giftsOnly")).toString(), QStringLiteral("true"));
}

QTEST_MAIN(TestChatDialog)
#include "tst_chatdialog.moc"
