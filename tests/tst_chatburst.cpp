// Records written together give the same chat log as records written one at a time: a burst
// delivered in one pass of the event loop, records trickling in over several frames, and
// direct calls all end in the document that the plain one-line-at-a-time writing builds,
// with the same text, fragments, character formats, block formats and cursor.

#include "settings/SettingsFile.h"
#include "platform/HeadlessPlatform.h"
#include "support/WindowTests.h"
#include "ui/ChatDialog.h"
#include "ui/MessageLine.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

namespace {

// One thing that happens to the window, in order.
struct Step {
    enum Kind { Record, Bold, LineHeight, Turn } kind = Record;
    MsgsInfo record;
    int value = 0; // Bold: checked or not; LineHeight: the new setting
};

using windowtests::chat;

MsgsInfo gift(const QString& user, const QString& itemType, double cost, int number) {
    MsgsInfo m;
    m.type = QStringLiteral("gift");
    m.username = user;
    m.itemType = itemType;
    m.itemTitle = QStringLiteral("礼物");
    m.number = number;
    m.moneyCost = cost;
    m.grade = 15;
    return m;
}

MsgsInfo other() {
    MsgsInfo m;
    m.type = QStringLiteral("enter");
    m.username = QStringLiteral("x");
    return m;
}

Step rec(const MsgsInfo& m) {
    return {Step::Record, m, 0};
}
Step bold(bool on) {
    return {Step::Bold, {}, on ? 1 : 0};
}
Step lineHeight(int h) {
    return {Step::LineHeight, {}, h};
}
Step turn() {
    return {Step::Turn, {}, 0};
}

// `count` records of every kind the window draws, numbered from `from`.
QVector<Step> mixed(int from, int count) {
    QVector<Step> steps;
    for (int i = from; i < from + count; ++i) {
        switch (i % 5) {
        case 0:
            steps << rec(
                chat(QStringLiteral("u%1").arg(i), QStringLiteral("第%1行").arg(i), i % 40));
            break;
        case 1:
            steps << rec(gift(QStringLiteral("g%1").arg(i), QStringLiteral("Flower"), 0, i));
            break;
        case 2:
            steps << rec(gift(QStringLiteral("g%1").arg(i), QStringLiteral("car"), 5, 1));
            break;
        case 3:
            steps << rec(chat(QStringLiteral("<b>%1</b>").arg(i), QString()));
            break;
        default:
            steps << rec(i % 10 == 4 ? other() : chat(QStringLiteral("v"), QStringLiteral("x")));
        }
    }
    return steps;
}

// Lines that open more than one block, with every separator the text cursor knows.
QVector<Step> multiBlock(int from, int count) {
    static const QString kTexts[] = {
        QStringLiteral("a\nb"),
        QStringLiteral("c\r\nd"),
        QStringLiteral("e\rf"),
        QString(QStringLiteral("g")) + QChar(QChar::ParagraphSeparator) + QStringLiteral("h"),
        QString(QStringLiteral("i")) + QChar(QChar::LineSeparator) + QStringLiteral("j"),
        QStringLiteral("\n\n")};
    QVector<Step> steps;
    for (int i = from; i < from + count; ++i)
        steps << rec(chat(QStringLiteral("m%1").arg(i), kTexts[i % 6], 12));
    return steps;
}

// Lines of exactly two blocks each: a burst of them keeps the second block of a line as the
// first block of the log, in the spacing that the record before that line left.
QVector<Step> twoBlocks(int from, int count) {
    QVector<Step> steps;
    for (int i = from; i < from + count; ++i)
        steps << rec(chat(QStringLiteral("t%1").arg(i), QStringLiteral("top\nbottom %1").arg(i)));
    return steps;
}

using Steps = QVector<Step>;

// How records reach the window.
enum Delivery {
    Direct,      // the slot called directly, as the tests call it
    OneBurst,    // queued like the worker's records, all in one pass of the event loop
    EachOwnTurn, // queued, with a pass of the event loop after every record
};

struct Settings {
    QString family; // what the window uses before the panel's OK commits the combo's choice
    int size = DisplaySettings().fontSize;
    int lineHeight = DisplaySettings().lineHeight;
    bool bold = false;
};

// The chat log written the plain way, one insertion per piece, as a reference.
class ReferenceLog {
public:
    ReferenceLog() {
        edit.setReadOnly(true);
        edit.setWordWrapMode(QTextOption::WordWrap);
        edit.document()->setUndoRedoEnabled(false);
        edit.document()->setMaximumBlockCount(100);
    }
    void write(const MsgsInfo& msg, const Settings& s) {
        QFont font(s.family, s.size, s.bold ? QFont::Bold : QFont::Normal, false);
        edit.moveCursor(QTextCursor::End, QTextCursor::MoveAnchor);
        QTextCharFormat format;
        format.setFont(font);
        for (const LinePiece& piece : composeMessageLine(msg)) {
            format.setForeground(QBrush(piece.color));
            edit.setCurrentCharFormat(format);
            edit.insertPlainText(piece.text);
        }
        QTextCursor cursor = edit.textCursor();
        cursor.movePosition(QTextCursor::End, QTextCursor::MoveAnchor);
        QTextBlockFormat blockFormat;
        blockFormat.setLineHeight(s.lineHeight, QTextBlockFormat::LineDistanceHeight);
        cursor.setBlockFormat(blockFormat);
        edit.setTextCursor(cursor);
    }
    QTextDocument* document() { return edit.document(); }

private:
    QTextEdit edit;
};

// Where two documents first differ, or an empty string.
QString firstDifference(QTextDocument* got, QTextDocument* want) {
    if (got->toPlainText() != want->toPlainText())
        return QStringLiteral("plain text differs:\n%1\n---\n%2")
            .arg(got->toPlainText().right(300), want->toPlainText().right(300));
    if (got->blockCount() != want->blockCount())
        return QStringLiteral("block count %1, expected %2")
            .arg(got->blockCount())
            .arg(want->blockCount());
    QTextBlock a = got->firstBlock();
    QTextBlock b = want->firstBlock();
    for (int n = 0; a.isValid() && b.isValid(); a = a.next(), b = b.next(), ++n) {
        if (a.blockFormat() != b.blockFormat())
            return QStringLiteral("block %1 (%2): block format differs").arg(n).arg(a.text());
        if (a.charFormat() != b.charFormat())
            return QStringLiteral("block %1 (%2): block character format differs")
                .arg(n)
                .arg(a.text());
        QTextBlock::iterator i = a.begin();
        QTextBlock::iterator j = b.begin();
        for (; !i.atEnd() && !j.atEnd(); ++i, ++j) {
            if (i.fragment().text() != j.fragment().text())
                return QStringLiteral("block %1: fragment \"%2\", expected \"%3\"")
                    .arg(n)
                    .arg(i.fragment().text(), j.fragment().text());
            if (i.fragment().charFormat() != j.fragment().charFormat())
                return QStringLiteral("block %1: format of \"%2\" differs")
                    .arg(n)
                    .arg(i.fragment().text());
        }
        if (i.atEnd() != j.atEnd())
            return QStringLiteral("block %1: fragment count differs").arg(n);
    }
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(Steps)

// Stands in for the worker: its records reach the window through a queued connection.
class Feeder : public QObject {
    Q_OBJECT

signals:
    void record(MsgsInfo msgsInfo, int nOnlineCount);
};

class TestChatBurst : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sameDocument_data();
    void sameDocument();

private:
    template <typename T> T* child(const char* name) const {
        return windowtests::namedChild<T>(dialog.get(), name);
    }
    // Changes a setting through the window's own controls; `s` follows what it commits.
    void apply(const Step& step, Settings& s);

    QTemporaryDir workDir;
    platform::HeadlessPlatform desktop;
    std::unique_ptr<CChatDialog> dialog;
};

void TestChatBurst::initTestCase() {
    qRegisterMetaType<MsgsInfo>("MsgsInfo");
    QVERIFY(workDir.isValid());
    QVERIFY(windowtests::enterWithImages(workDir.path()));
    platform::setCurrentForTesting(&desktop);
}

void TestChatBurst::init() {
    QFile::remove(QStringLiteral("config.ini")); // every window starts from the defaults
    dialog = std::make_unique<CChatDialog>(6);
}

void TestChatBurst::cleanup() {
    dialog.reset();
}

void TestChatBurst::apply(const Step& step, Settings& s) {
    if (step.kind == Step::Bold) {
        auto* button = child<QPushButton>("boldButton");
        if (button->isChecked() != (step.value != 0))
            button->click();
        s.bold = button->isChecked();
    } else if (step.kind == Step::LineHeight) {
        child<QPushButton>("settingButton")->click();
        child<QComboBox>("lineHeightCombo")->setCurrentText(QString::number(step.value));
        child<QPushButton>("settingOkButton")->click();
        s.family = child<QComboBox>("fontFamilyCombo")->currentText();
        s.size = child<QComboBox>("fontSizeCombo")->currentText().toInt();
        s.lineHeight = step.value;
    }
}

void TestChatBurst::sameDocument_data() {
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<int>("delivery");

    struct Scenario {
        const char* name;
        Steps steps;
    };
    const QVector<Scenario> scenarios = {
        {"a few lines of every kind", mixed(0, 10)},
        {"99 lines", mixed(0, 99)},
        {"100 lines", mixed(0, 100)},
        {"101 lines", mixed(0, 101)},
        {"3000 lines", mixed(0, 3000)},
        {"lines after lines already shown", mixed(0, 60) << turn() << mixed(60, 250)},
        {"spacing changed before a long burst", mixed(0, 30) << lineHeight(6) << mixed(30, 400)},
        {"spacing changed where the kept lines start",
         mixed(0, 150) << lineHeight(4) << mixed(150, 1) << lineHeight(9) << mixed(151, 99)},
        {"spacing changed after writing nothing first",
         Steps{rec(other()), lineHeight(3), rec(other())} << mixed(0, 5)},
        {"bold toggled inside a burst",
         mixed(0, 40) << bold(true) << mixed(40, 120) << bold(false) << mixed(160, 3)},
        {"lines of several blocks", mixed(0, 20) << multiBlock(0, 60) << mixed(20, 5)},
        {"long burst of lines of several blocks", mixed(0, 50)
                                                      << lineHeight(2) << multiBlock(0, 200)
                                                      << lineHeight(5) << multiBlock(200, 7)},
        {"two-block lines after a spacing change", mixed(0, 5)
                                                       << lineHeight(7) << twoBlocks(0, 150)},
        {"records that write nothing at the end", mixed(0, 130) << lineHeight(8) << rec(other())},
    };
    for (const Scenario& s : scenarios) {
        QTest::addRow("%s, direct", s.name) << s.steps << int(Direct);
        QTest::addRow("%s, one burst", s.name) << s.steps << int(OneBurst);
        QTest::addRow("%s, each in its own turn", s.name) << s.steps << int(EachOwnTurn);
    }
}

void TestChatBurst::sameDocument() {
    QFETCH(Steps, steps);
    QFETCH(int, delivery);

    Feeder feeder;
    // The slot is protected: connect by signature, as a queued connection from the worker.
    QVERIFY(QObject::connect(&feeder, SIGNAL(record(MsgsInfo, int)), dialog.get(),
                             SLOT(ReceiveMessage(MsgsInfo, int)), Qt::QueuedConnection));
    auto* log = child<QTextEdit>("chatLog");
    ReferenceLog reference;
    Settings settings;

    for (const Step& step : steps) {
        if (step.kind == Step::Record) {
            reference.write(step.record, settings);
            if (delivery == Direct) {
                QMetaObject::invokeMethod(dialog.get(), "ReceiveMessage",
                                          Q_ARG(MsgsInfo, step.record), Q_ARG(int, 0));
            } else {
                emit feeder.record(step.record, 0);
                if (delivery == EachOwnTurn)
                    QCoreApplication::processEvents();
            }
        } else if (step.kind == Step::Turn) {
            QTRY_COMPARE(log->toPlainText(), reference.document()->toPlainText());
        } else if (delivery == OneBurst) {
            // Queued behind the records before it, so that it happens between them.
            Settings* target = &settings;
            QMetaObject::invokeMethod(
                dialog.get(), [this, step, target] { apply(step, *target); }, Qt::QueuedConnection);
            // The reference needs the committed values now: they do not depend on timing.
            Settings preview = settings;
            if (step.kind == Step::Bold) {
                preview.bold = step.value != 0;
            } else {
                preview.family = child<QComboBox>("fontFamilyCombo")->currentText();
                preview.size = child<QComboBox>("fontSizeCombo")->currentText().toInt();
                preview.lineHeight = step.value;
            }
            settings = preview;
        } else {
            apply(step, settings);
        }
    }
    // Queued records are written within a frame or two; wait for the last one. A record that
    // shows no text still sets the spacing, so the wait is on the whole document, not its text.
    const auto difference = [&] { return firstDifference(log->document(), reference.document()); };
    QTRY_VERIFY2(difference().isEmpty(), qPrintable(difference()));
    QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);
    QVERIFY(!log->textCursor().hasSelection());
}

QTEST_MAIN(TestChatBurst)
#include "tst_chatburst.moc"
