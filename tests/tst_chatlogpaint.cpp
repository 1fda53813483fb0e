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
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

#include <algorithm>
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

// Line heights 1 to 10 in turn, a few records each (the cycle of a scenario's line height).
constexpr int kEveryLineHeight = -1;
// Every family the settings panel offers, in turn.
const QString kEveryFamily = QStringLiteral("*");

struct Scenario {
    Records records;
    int lineHeight = 1;
    bool bold = false;
    int width = 0;        // the window resized to this width after the records; 0 keeps it
    int scrolledBack = 0; // pixels scrolled up from the newest line afterwards
    bool select = false;  // a selection made in the log afterwards
    bool list = false;    // a list item added afterwards: not ours to lay out, the stock layout
    QString family = QString(); // chosen in the settings panel first; empty keeps the default
    int size = 0;               // the same for the size; 0 keeps it
    // Then written one at a time, each painted before the next as the window shows them
    // (scrolled by copying what is on screen): compared on screen, not redrawn.
    Records streamed = Records();
    QByteArray config = QByteArray(); // a config.ini the window is built from again first
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
    void runsKeepTheirPlace_data();
    void runsKeepTheirPlace();

private:
    template <typename T> T* child(const char* name) const {
        return windowtests::namedChild<T>(dialog.get(), name);
    }
    void setLineHeight(int value);
    void applySettings(const QString& family, int size, int lineHeight);
    void write(const Records& records, bool oneByOne);
    void compare(ChatLogView* log, bool fromImages, bool onScreen);
    // The window and the log alone, grabbed with the images on or off.
    QVector<QImage> capture(ChatLogView* log, bool images);

    bool stockExpected = false; // the log holds what only the stock layout lays out
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
    applySettings(QString(), 0, value);
}

void TestChatLogPaint::applySettings(const QString& family, int size, int lineHeight) {
    child<QPushButton>("settingButton")->click();
    if (!family.isEmpty())
        child<QComboBox>("fontFamilyCombo")->setCurrentText(family);
    if (size)
        child<QComboBox>("fontSizeCombo")->setCurrentText(QString::number(size));
    if (lineHeight > 0)
        child<QComboBox>("lineHeightCombo")->setCurrentText(QString::number(lineHeight));
    child<QPushButton>("settingOkButton")->click();
}

void TestChatLogPaint::write(const Records& records, bool oneByOne) {
    for (const MsgsInfo& record : records) {
        QMetaObject::invokeMethod(dialog.get(), "ReceiveMessage", Qt::QueuedConnection,
                                  Q_ARG(MsgsInfo, record), Q_ARG(int, 0));
        if (oneByOne)
            QTest::qWait(20); // a frame: written, then painted
    }
    QTest::qWait(20);
}

QVector<QImage> TestChatLogPaint::capture(ChatLogView* log, bool images) {
    log->setBlockImagesEnabled(images);
    QImage alone(log->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    alone.fill(Qt::transparent);
    log->viewport()->render(&alone);
    // Ours against the stock layout and painting, or the comparison proves nothing.
    if ((images && !stockExpected) != (log->ownLayout() != nullptr))
        return {};
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

    QTest::newRow("a list item: the stock layout takes over")
        << Scenario{coloured(40), 1, false, 0, 0, false, true} << true;
    QTest::newRow("every family in the panel, size 10")
        << Scenario{coloured(20) + cjk(5), 1, false, 0, 0, false, false, kEveryFamily, 10} << true;
    QTest::newRow("size 11, line height 2")
        << Scenario{coloured(30), 2, false, 0, 0, false, false, QString(), 11} << true;
    QTest::newRow("size 16, bold, CJK, line height 7")
        << Scenario{cjk(30), 7, true, 0, 0, false, false, QString(), 16} << true;
    QTest::newRow("size 22, wrapping, line height 10")
        << Scenario{wrapping(30), 10, false, 0, 0, false, false, QString(), 22} << true;
    QTest::newRow("line heights 1 to 10 in turn, size 14")
        << Scenario{coloured(40), kEveryLineHeight, false, 0, 0, false, false, QString(), 14}
        << true;
    QTest::newRow("on screen: a line a frame past the cap")
        << Scenario{coloured(95), 1, false, 0, 0, false, false, QString(), 0, coloured(12) + cjk(4)}
        << true;
    QTest::newRow("on screen: wrapping, size 18, line height 4, past the cap")
        << Scenario{wrapping(98), 4, false, 0, 0, false, false, QString(), 18, wrapping(10)}
        << true;
    QTest::newRow("on screen: scrolled back while lines come")
        << Scenario{coloured(60), 3, false, 0, 40, false, false, QString(), 0, coloured(10)}
        << true;
    // A block far taller than the screen, scrolled into view, is not kept as an image but
    // painted the usual way (the empty line after it fills the view at the end).
    QTest::newRow("size 200 from the file: a line too tall to keep")
        << Scenario{coloured(3) +
                        Records{chat("tall", QStringLiteral("很长的消息").repeated(60), 15)},
                    1,
                    false,
                    0,
                    600,
                    false,
                    false,
                    QString(),
                    0,
                    Records(),
                    "[Config]\nfontSize=200\n"}
        << false;
    QTest::newRow("on screen: narrower, bold, size 12, past the cap")
        << Scenario{cjk(100), 2, true, 180, 0, false, false, QString(), 12, cjk(8) + wrapping(4)}
        << true;
}

void TestChatLogPaint::sameImage() {
    QFETCH(Scenario, scenario);
    QFETCH(bool, fromImages);
    stockExpected = scenario.list;
    if (!scenario.config.isEmpty()) {
        dialog.reset();
        QFile file(QStringLiteral("config.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(scenario.config) > 0);
        file.close();
        dialog = std::make_unique<CChatDialog>(6);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    auto* log = qobject_cast<ChatLogView*>(child<QTextEdit>("chatLog"));
    QVERIFY(log);
    if (scenario.bold)
        child<QPushButton>("boldButton")->click();
    QStringList families{scenario.family};
    if (scenario.family == kEveryFamily) {
        auto* combo = child<QComboBox>("fontFamilyCombo");
        families.clear();
        for (int i = 0; i < combo->count(); ++i)
            families << combo->itemText(i);
        QVERIFY(!families.isEmpty());
    }
    for (const QString& family : qAsConst(families)) {
        // The panel's OK would take its own lists' values over those of the file.
        if (scenario.config.isEmpty())
            applySettings(family, scenario.size,
                          scenario.lineHeight == kEveryLineHeight ? 1 : scenario.lineHeight);
        if (scenario.lineHeight == kEveryLineHeight) {
            for (int height = 1; height <= 10; ++height) {
                setLineHeight(height);
                write(scenario.records.mid(height * 3, 3), false);
            }
        } else {
            write(scenario.records, false);
        }
        if (families.size() > 1) {
            compare(log, fromImages, false);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("with the family %1").arg(family)));
        }
    }
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
    if (scenario.list) {
        QTextCursor cursor(log->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertList(QTextListFormat::ListDisc);
        cursor.insertText(QStringLiteral("item"));
    }
    if (!scenario.streamed.isEmpty()) {
        QTest::qWait(20);
        QVERIFY(log->ownLayout());
        const int laidOut = log->ownLayout()->blocksLaidOut();
        write(scenario.streamed, true);
        // Each line breaks two blocks into lines (the one written and the empty one after
        // it), whatever the length of the log: the others only move.
        QVERIFY(log->ownLayout()->blocksLaidOut() - laidOut <= 2 * scenario.streamed.size());
    }
    compare(log, fromImages, !scenario.streamed.isEmpty());
}

void TestChatLogPaint::runsKeepTheirPlace_data() {
    QTest::addColumn<MsgsInfo>("record");
    // Pieces of the line in their order on screen from the left, each with the order of its
    // own characters: L left to right, R right to left, - its own business.
    QTest::addColumn<QStringList>("runs");
    QTest::addColumn<QString>("directions");

    const QString rlo(QChar(0x202E)), pdi(QChar(0x2069));
    const QStringList named{"【LV15】", "evil", ":", "hello world 123"};
    QTest::newRow("override in the name")
        << chat(rlo + "evil", "hello world 123", 15) << named << "L--L";
    QTest::newRow("closing isolate, then an override in the name")
        << chat(pdi + rlo + "evil", "hello world 123", 15) << named << "L--L";
    QTest::newRow("a line break, then an override in the name")
        << chat("a\n" + rlo + "evil", "hello world 123", 15)
        << QStringList{"evil", ":", "hello world 123"} << "--L";
    MsgsInfo overridden = gift(QStringLiteral("A"), 0, 5);
    overridden.itemTitle = rlo + "S";
    QTest::newRow("override in a gift title")
        << overridden << QStringList{"A", "送出了", "S", "】 5朵"} << "LL-L";
    QTest::newRow("Hebrew name, Arabic text, no badge")
        << chat("שלום", "مرحبا", 3) << QStringList{"שלום", ":", "مرحبا"} << "R-R";
}

// Where the layout of the chat log puts the characters of a line written from `record`.
void TestChatLogPaint::runsKeepTheirPlace() {
    QFETCH(MsgsInfo, record);
    QFETCH(QStringList, runs);
    QFETCH(QString, directions);
    write({record}, false);
    QTextDocument* document = child<QTextEdit>("chatLog")->document();

    qreal previousRight = 0;
    int from = 0;
    for (int r = 0; r < runs.size(); ++r) {
        const QTextCursor found = document->find(runs.at(r), from);
        QVERIFY2(!found.isNull(), qPrintable(runs.at(r)));
        from = found.selectionEnd();
        const QTextBlock block = found.block();
        const QTextLayout* layout = block.layout();
        QVector<qreal> xs; // the leading edge of each character
        for (int p = found.selectionStart(); p < found.selectionEnd(); ++p) {
            const int inBlock = p - block.position();
            xs.append(layout->lineForTextPosition(inBlock).cursorToX(inBlock));
        }
        const auto [left, right] = std::minmax_element(xs.cbegin(), xs.cend());
        // Neighbours meet at one edge.
        QVERIFY2(*left >= previousRight,
                 qPrintable(QStringLiteral("%1 is not right of the piece before").arg(runs.at(r))));
        previousRight = *right;
        for (int i = 1; i < xs.size(); ++i) {
            if (directions.at(r) == QLatin1Char('L'))
                QVERIFY2(xs.at(i) > xs.at(i - 1), qPrintable(runs.at(r)));
            else if (directions.at(r) == QLatin1Char('R'))
                QVERIFY2(xs.at(i) < xs.at(i - 1), qPrintable(runs.at(r)));
        }
    }
}

// The window (and the log alone) as painted with our layout and images, against the stock
// layout and painting; `onScreen` compares what the window's backing store holds after the
// paints that were made, instead of a fresh drawing.
void TestChatLogPaint::compare(ChatLogView* log, bool fromImages, bool onScreen) {
    QVector<QImage> first;
    QVector<QImage> kept;
    const int before = log->imagePaints();
    if (onScreen) {
        const QImage shown = dialog->screen()->grabWindow(dialog->winId()).toImage();
        first = {shown.convertToFormat(QImage::Format_RGB32)};
        kept = first;
    } else {
        // Twice with images: drawn, then served from what was kept.
        first = capture(log, true);
        kept = capture(log, true);
        QCOMPARE(log->imagePaints() > before, fromImages);
    }
    QVector<QImage> stock = capture(log, false);
    QVERIFY(!first.isEmpty() && !kept.isEmpty() && !stock.isEmpty());
    if (onScreen)
        stock = {stock.constFirst().convertToFormat(QImage::Format_RGB32)};
    log->setBlockImagesEnabled(true);
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
