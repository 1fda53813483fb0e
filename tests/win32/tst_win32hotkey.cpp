// Which low-level keyboard events toggle lock mode. Runs natively: the decision is plain C++.

#include "platform/win32/Win32Calls.h"

#include <QtTest>

namespace {

// <windows.h> values beyond those the header names.
constexpr std::uintptr_t kKeyUp = 0x0101;    // WM_KEYUP
constexpr std::uintptr_t kSysKeyUp = 0x0105; // WM_SYSKEYUP
constexpr std::uint32_t kF9 = 0x78;          // VK_F9
constexpr std::uint32_t kExtended = 0x01;    // LLKHF_EXTENDED
constexpr std::uint32_t kInjected = 0x10;    // LLKHF_INJECTED
constexpr std::uint32_t kUp = 0x80;          // LLKHF_UP

} // namespace

class TestWin32HotKey : public QObject {
    Q_OBJECT

private slots:
    void toggles_data();
    void toggles();
};

void TestWin32HotKey::toggles_data() {
    using namespace platform::win32;
    QTest::addColumn<quintptr>("message");
    QTest::addColumn<quint32>("vkCode");
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<bool>("toggles");

    QTest::newRow("F10 key-down") << quintptr(kMessageKeyDown) << kVirtualKeyF10 << 0u << true;
    QTest::newRow("F10 as a system key, no Alt")
        << quintptr(kMessageSysKeyDown) << kVirtualKeyF10 << 0u << true;
    QTest::newRow("F10 as a system key, injected")
        << quintptr(kMessageSysKeyDown) << kVirtualKeyF10 << kInjected << true;
    QTest::newRow("Alt+F10") << quintptr(kMessageSysKeyDown) << kVirtualKeyF10 << kLowLevelAltDown
                             << false;
    // Ctrl+Alt makes a plain key-down, which counts as it always did.
    QTest::newRow("Ctrl+Alt+F10 key-down")
        << quintptr(kMessageKeyDown) << kVirtualKeyF10 << kLowLevelAltDown << true;
    QTest::newRow("F10 key-up") << quintptr(kKeyUp) << kVirtualKeyF10 << kUp << false;
    QTest::newRow("F10 system key-up") << quintptr(kSysKeyUp) << kVirtualKeyF10 << kUp << false;
    QTest::newRow("F10 system key-up, no flags")
        << quintptr(kSysKeyUp) << kVirtualKeyF10 << 0u << false;
    QTest::newRow("F9 key-down") << quintptr(kMessageKeyDown) << kF9 << 0u << false;
    QTest::newRow("F9 as a system key") << quintptr(kMessageSysKeyDown) << kF9 << 0u << false;
    QTest::newRow("F10 key-down, extended")
        << quintptr(kMessageKeyDown) << kVirtualKeyF10 << kExtended << true;
}

void TestWin32HotKey::toggles() {
    QFETCH(quintptr, message);
    QFETCH(quint32, vkCode);
    QFETCH(quint32, flags);
    QFETCH(bool, toggles);
    QCOMPARE(platform::win32::isHotKeyDown(message, vkCode, flags), toggles);
}

QTEST_APPLESS_MAIN(TestWin32HotKey)
#include "tst_win32hotkey.moc"
