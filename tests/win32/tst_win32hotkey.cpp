// What low-level keyboard events do to the watched chord. Runs natively: the decision is plain
// C++.

#include "platform/win32/Win32Calls.h"

#include <QtTest>

namespace {

using platform::KeyChordEvent;

// <windows.h> values beyond those the header names.
constexpr std::uint32_t kF9 = 0x78;       // VK_F9
constexpr std::uint32_t kL = 0x4C;        // 'L'
constexpr std::uint32_t kExtended = 0x01; // LLKHF_EXTENDED
constexpr std::uint32_t kInjected = 0x10; // LLKHF_INJECTED
constexpr std::uint32_t kUp = 0x80;       // LLKHF_UP

constexpr unsigned kCtrl = platform::kChordCtrl;
constexpr unsigned kShift = platform::kChordShift;
constexpr unsigned kAlt = platform::kChordAlt;
constexpr unsigned kMeta = platform::kChordMeta;

// What happened to the chord's key before the event under test.
enum Before { Nothing, MatchedDown, UnmatchedDown };

} // namespace

Q_DECLARE_METATYPE(KeyChordEvent)

class TestWin32HotKey : public QObject {
    Q_OBJECT

private slots:
    void chordEvents_data();
    void chordEvents();
    void watchdog_data();
    void watchdog();
};

void TestWin32HotKey::chordEvents_data() {
    using namespace platform::win32;
    QTest::addColumn<quint32>("chordKey");
    QTest::addColumn<unsigned>("chordModifiers");
    QTest::addColumn<int>("before");
    QTest::addColumn<quintptr>("message");
    QTest::addColumn<quint32>("vkCode");
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<unsigned>("held");
    QTest::addColumn<KeyChordEvent>("event");

    const quint32 f10 = kVirtualKeyF10;
    const quintptr down = kMessageKeyDown;
    const quintptr sysDown = kMessageSysKeyDown;
    const quintptr up = kMessageKeyUp;
    const quintptr sysUp = kMessageSysKeyUp;

    // The default chord, F10 alone.
    QTest::newRow("F10 key-down") << f10 << 0u << int(Nothing) << down << f10 << 0u << 0u
                                  << KeyChordEvent::Press;
    QTest::newRow("F10 as a system key, no Alt")
        << f10 << 0u << int(Nothing) << sysDown << f10 << 0u << 0u << KeyChordEvent::Press;
    QTest::newRow("F10 as a system key, injected")
        << f10 << 0u << int(Nothing) << sysDown << f10 << kInjected << 0u << KeyChordEvent::Press;
    QTest::newRow("F10 key-down, extended")
        << f10 << 0u << int(Nothing) << down << f10 << kExtended << 0u << KeyChordEvent::Press;
    QTest::newRow("Alt+F10, flag only") << f10 << 0u << int(Nothing) << sysDown << f10
                                        << kLowLevelAltDown << 0u << KeyChordEvent::None;
    QTest::newRow("Alt+F10, Alt held only (wine)")
        << f10 << 0u << int(Nothing) << sysDown << f10 << 0u << kAlt << KeyChordEvent::None;
    QTest::newRow("Ctrl+F10 with F10 chosen")
        << f10 << 0u << int(Nothing) << down << f10 << 0u << kCtrl << KeyChordEvent::None;
    QTest::newRow("F9 key-down") << f10 << 0u << int(Nothing) << down << kF9 << 0u << 0u
                                 << KeyChordEvent::None;
    QTest::newRow("F10 key-up, never pressed")
        << f10 << 0u << int(Nothing) << up << f10 << kUp << 0u << KeyChordEvent::None;
    QTest::newRow("F10 auto-repeat")
        << f10 << 0u << int(MatchedDown) << sysDown << f10 << 0u << 0u << KeyChordEvent::Repeat;
    QTest::newRow("F10 system key-up")
        << f10 << 0u << int(MatchedDown) << sysUp << f10 << kUp << 0u << KeyChordEvent::Release;
    QTest::newRow("F10 key-up with Ctrl since pressed")
        << f10 << 0u << int(MatchedDown) << up << f10 << kUp << kCtrl << KeyChordEvent::Release;
    QTest::newRow("repeat of Ctrl+F10, Ctrl now let go")
        << f10 << 0u << int(UnmatchedDown) << down << f10 << 0u << 0u << KeyChordEvent::None;
    QTest::newRow("key-up of Ctrl+F10")
        << f10 << 0u << int(UnmatchedDown) << up << f10 << kUp << 0u << KeyChordEvent::None;
    QTest::newRow("other message kind")
        << f10 << 0u << int(Nothing) << quintptr(0x0102) << f10 << 0u << 0u << KeyChordEvent::None;

    // A chosen chord with modifiers: exactly those modifiers.
    QTest::newRow("Ctrl+F10 chosen, Ctrl+F10")
        << f10 << kCtrl << int(Nothing) << down << f10 << 0u << kCtrl << KeyChordEvent::Press;
    QTest::newRow("Ctrl+F10 chosen, F10 alone")
        << f10 << kCtrl << int(Nothing) << sysDown << f10 << 0u << 0u << KeyChordEvent::None;
    QTest::newRow("Ctrl+F10 chosen, Ctrl+Shift+F10")
        << f10 << kCtrl << int(Nothing) << down << f10 << 0u << (kCtrl | kShift)
        << KeyChordEvent::None;
    QTest::newRow("Ctrl+F10 chosen, Ctrl+Alt+F10 by flag")
        << f10 << kCtrl << int(Nothing) << down << f10 << kLowLevelAltDown << kCtrl
        << KeyChordEvent::None;
    QTest::newRow("Ctrl+Shift+L") << kL << (kCtrl | kShift) << int(Nothing) << down << kL << 0u
                                  << (kCtrl | kShift) << KeyChordEvent::Press;
    QTest::newRow("Ctrl+Shift+L chosen, Ctrl+L") << kL << (kCtrl | kShift) << int(Nothing) << down
                                                 << kL << 0u << kCtrl << KeyChordEvent::None;
    QTest::newRow("Alt+L chosen, by flag") << kL << kAlt << int(Nothing) << sysDown << kL
                                           << kLowLevelAltDown << 0u << KeyChordEvent::Press;
    QTest::newRow("Win+L chosen") << kL << kMeta << int(Nothing) << down << kL << 0u << kMeta
                                  << KeyChordEvent::Press;
    QTest::newRow("Ctrl+Shift+L, repeat after Shift let go")
        << kL << (kCtrl | kShift) << int(MatchedDown) << down << kL << 0u << kCtrl
        << KeyChordEvent::Repeat;
}

void TestWin32HotKey::chordEvents() {
    QFETCH(quint32, chordKey);
    QFETCH(unsigned, chordModifiers);
    QFETCH(int, before);
    QFETCH(quintptr, message);
    QFETCH(quint32, vkCode);
    QFETCH(quint32, flags);
    QFETCH(unsigned, held);
    QFETCH(KeyChordEvent, event);

    using namespace platform::win32;
    platform::KeyChordMatch match({chordKey, chordModifiers});
    if (before == MatchedDown)
        QCOMPARE(chordEventFor(match, kMessageKeyDown, chordKey, 0, chordModifiers),
                 KeyChordEvent::Press);
    else if (before == UnmatchedDown)
        QCOMPARE(chordEventFor(match, kMessageKeyDown, chordKey, 0, chordModifiers ^ kShift),
                 KeyChordEvent::None);
    QCOMPARE(chordEventFor(match, message, vkCode, flags, held), event);
}

void TestWin32HotKey::watchdog_data() {
    // h: the hook saw a key; r: raw input reported a key-down.
    QTest::addColumn<QString>("steps");
    // After each step: ! when the hook is to be installed anew, . otherwise.
    QTest::addColumn<QString>("reinstalls");

    QTest::newRow("live hook, every key seen first by it") << "hrhrhhr"
                                                           << ".......";
    QTest::newRow("hook dropped after a key") << "hrrr"
                                              << "...!";
    QTest::newRow("one missed key is not enough") << "hrrhr"
                                                  << ".....";
    QTest::newRow("dropped from the start") << "rr"
                                            << ".!";
    QTest::newRow("a hook still gone after the reinstall") << "rrrr"
                                                           << ".!.!";
}

void TestWin32HotKey::watchdog() {
    QFETCH(QString, steps);
    QFETCH(QString, reinstalls);
    platform::win32::HookWatchdog dog;
    QString got;
    for (const QChar step : steps) {
        if (step == QLatin1Char('h')) {
            dog.hookSawKey();
            got += QLatin1Char('.');
        } else {
            got += dog.rawKeyDown() ? QLatin1Char('!') : QLatin1Char('.');
        }
    }
    QCOMPARE(got, reinstalls);
}

QTEST_APPLESS_MAIN(TestWin32HotKey)
#include "tst_win32hotkey.moc"
