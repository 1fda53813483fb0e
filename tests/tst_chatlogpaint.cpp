// The chat log painted from block images shows exactly what the text edit paints itself: the
// same window, after the same records and settings, grabbed with the images on and off.

#include "platform/HeadlessPlatform.h"
#include "support/WindowTests.h"
#include "ui/ChatDialog.h"
#include "ui/ChatLogView.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

namespace {

using windowtests::chat;

MsgsInfo gift(const QString& user, double cost, int number) {
    MsgsInfo m;
    m.type = QStringLiteral("gift");
    m.username = user;
    m.itemType = cost > 0 ? QStringLiteral("car") : QStringLiteral("flower");
    m.itemTitle = QStringLiteral("礼物");
    m.number = number;
    m.moneyCost = cost;
    m.grade = 12;
    return m;
}

using Records = QVector<MsgsInfo>;

// Badge, name, text, priced and free gifts: all five colours, `count` lines.
Records coloured(int count) {
    Records records;
    for (int i = 0; i < count; ++i) {
        if (i % 3 == 0)
            records << chat(QStringLiteral("user%1").arg(i), QStringLiteral("hello %1").arg(i),
                            i % 2 ? 15 : 3);
        else
            records << gift(QStringLiteral("fan%1").arg(i), i % 2 ? 5 : 0, i);
    }
    return records;
}

Records cjk(int count) {
    Records records;
    for (int i = 0; i < count; ++i)
        records << chat(QStringLiteral("观众%1").arg(i),
                        QStringLiteral("主播你好，今天的直播真精彩！第%1条").arg(i), 11 + i % 5);
    return records;
}

// Lines that wrap over two to four rows of the view.
Records wrapping(int count) {
    Records records;
    for (int i = 0; i < count; ++i)
        records << chat(
            QStringLiteral("talker%1").arg(i),
            QStringLiteral("a rather long message that goes on and on ").repeated(1 + i % 3) +
                QStringLiteral("很长的中文消息也会换行显示").repeated(i % 2),
            20);
    return records;
}

// Letters under towers of combining marks, whose ink reaches into the lines around them.
Records stacked(int count) {
    Records records = coloured(count);
    QString tower = QStringLiteral("z");
    for (int i = 0; i < 12; ++i)
        tower += QChar(0x0300 + i % 5) + QString(QChar(0x0316 + i % 4));
    records.insert(count / 2, chat(QStringLiteral("tall"), tower.repeated(3), 12));
    return records;
}

struct Scenario {
    Records records;
    int lineHeight = 1;
    bool bold = false;
    int width = 0;        // the window resized to this width after the records; 0 keeps it
    int scrolledBack = 0; // pixels scrolled up from the newest line afterwards
    bool select = false;  // a selection made in the log afterwards
};

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestChatLogPaint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sameImage_data();
    void sameImage();

private:
    template <typename T> T* child(const char* name) const {
        return windowtests::namedChild<T>(dialog.get(), name);
    }
    void setLineHeight(int value);
    // The window and the log alone, grabbed with the images on or off.
    QVector<QImage> capture(ChatLogView* log, bool images);

    QTemporaryDir workDir;
    platform::HeadlessPlatform desktop;
    std::unique_ptr<CChatDialog> dialog;
};

void TestChatLogPaint::initTestCase() {
    qRegisterMetaType<MsgsInfo>("MsgsInfo");
    QVERIFY(workDir.isValid());
    QVERIFY(windowtests::enterWithImages(workDir.path()));
    platform::setCurrentForTesting(&desktop);
}

void TestChatLogPaint::init() {
    QFile::remove(QStringLiteral("config.ini"));
    dialog = std::make_unique<CChatDialog>(6);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
}

void TestChatLogPaint::cleanup() {
    dialog.reset();
}

void TestChatLogPaint::setLineHeight(int value) {
    child<QPushButton>("settingButton")->click();
    child<QComboBox>("lineHeightCombo")->setCurrentText(QString::number(value));
    child<QPushButton>("settingOkButton")->click();
}

QVector<QImage> TestChatLogPaint::capture(ChatLogView* log, bool images) {
    log->setBlockImagesEnabled(images);
    // Ours against the stock layout and painting, or the comparison proves nothing.
    if (images != (log->ownLayout() != nullptr))
        return {};
    QImage alone(log->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    alone.fill(Qt::transparent);
    log->viewport()->render(&alone);
    return {dialog->grab().toImage(), alone};
}

void TestChatLogPaint::sameImage_data() {
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<bool>("fromImages"); // whether the images can serve this view at all

    QTest::newRow("five colours") << Scenario{coloured(12)} << true;
    QTest::newRow("five colours, bold") << Scenario{coloured(12), 1, true} << true;
    QTest::newRow("CJK, line height 5") << Scenario{cjk(20), 5} << true;
    QTest::newRow("wrapping, line height 10") << Scenario{wrapping(30), 10} << true;
    QTest::newRow("wrapping, bold, line height 5") << Scenario{wrapping(30), 5, true} << true;
    QTest::newRow("fewer lines than fill the view") << Scenario{coloured(3)} << true;
    QTest::newRow("after the cap trims") << Scenario{coloured(160) + cjk(10), 1} << true;
    QTest::newRow("scrolled back: partial blocks at both edges")
        << Scenario{wrapping(40), 5, false, 0, 7} << true;
    QTest::newRow("scrolled back further, line height 10")
        << Scenario{coloured(60) + wrapping(20), 10, false, 0, 53} << true;
    QTest::newRow("narrower after the records") << Scenario{wrapping(40), 1, false, 200} << true;
    QTest::newRow("wider after the records") << Scenario{cjk(40), 5, true, 420} << true;
    QTest::newRow("ink crossing into neighbouring lines") << Scenario{stacked(12), 1} << false;
    QTest::newRow("a selection made in the log")
        << Scenario{coloured(40), 1, false, 0, 0, true} << false;
}

void TestChatLogPaint::sameImage() {
    QFETCH(Scenario, scenario);
    QFETCH(bool, fromImages);

    auto* log = qobject_cast<ChatLogView*>(child<QTextEdit>("chatLog"));
    QVERIFY(log);
    if (scenario.bold)
        child<QPushButton>("boldButton")->click();
    if (scenario.lineHeight != 1)
        setLineHeight(scenario.lineHeight);
    for (const MsgsInfo& record : scenario.records)
        QMetaObject::invokeMethod(dialog.get(), "ReceiveMessage", Q_ARG(MsgsInfo, record),
                                  Q_ARG(int, 0));
    if (scenario.width)
        dialog->resize(scenario.width, dialog->height());
    QCoreApplication::processEvents();
    if (scenario.scrolledBack) {
        QScrollBar* bar = log->verticalScrollBar();
        QVERIFY(bar->maximum() > scenario.scrolledBack);
        bar->setValue(bar->maximum() - scenario.scrolledBack);
    }
    if (scenario.select) {
        QTextCursor cursor(log->document()->findBlockByNumber(log->document()->blockCount() - 4));
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        cursor.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
        log->setTextCursor(cursor);
    }

    // Twice with images: drawn, then served from what was kept.
    const int before = log->imagePaints();
    const QVector<QImage> first = capture(log, true);
    const QVector<QImage> kept = capture(log, true);
    QCOMPARE(log->imagePaints() > before, fromImages);
    const QVector<QImage> stock = capture(log, false);
    QVERIFY(!first.isEmpty() && !kept.isEmpty() && !stock.isEmpty());
    for (int i = 0; i < stock.size(); ++i) {
        for (const QImage& candidate : {first.at(i), kept.at(i)}) {
            if (candidate != stock.at(i)) {
                const QString prefix = QDir::temp().filePath(
                    QStringLiteral("chatlogpaint-%1-%2").arg(QTest::currentDataTag()).arg(i));
                candidate.save(prefix + QStringLiteral("-images.png"));
                stock.at(i).save(prefix + QStringLiteral("-stock.png"));
                QFAIL(qPrintable(
                    QStringLiteral("capture %1 differs, see %2-*.png").arg(i).arg(prefix)));
            }
        }
    }
}

QTEST_MAIN(TestChatLogPaint)
#include "tst_chatlogpaint.moc"
