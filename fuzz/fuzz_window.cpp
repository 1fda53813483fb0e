// The window, built offscreen from a fuzzed settings file, then fed fuzzed records through the
// worker's own path (its queued signal) and painted.
//
// Input: the whole config.ini, then a group separator (0x1d) and records separated by 0x1e;
// a record's fields, separated by 0x1f, are type, grade, name, text, item type, item title,
// count and price. A text field is UTF-8, or raw UTF-16 after a leading NUL byte (so that
// lone surrogates and NULs reach the window as they can arrive from the service).
#include "FuzzSupport.h"

#include "client/MsgsInfo.h"
#include "platform/HeadlessPlatform.h"
#include "settings/SettingsFile.h"
#include "ui/ChatDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPixmap>
#include <QTextEdit>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// Emits records the way the worker does: through a queued signal, so that the window takes
// them as it takes the worker's.
class RecordSource : public QObject {
    Q_OBJECT
signals:
    void SendMessageToDisplay(MsgsInfo msgsInfo, int nOnlineCount);
};

QString directory;
platform::HeadlessPlatform* desktop = nullptr;

QString text(const QByteArray& field) {
    if (field.startsWith('\0')) {
        const QByteArray raw = field.mid(1);
        return QString(reinterpret_cast<const QChar*>(raw.constData()), raw.size() / 2);
    }
    return QString::fromUtf8(field);
}

MsgsInfo record(const QByteArray& bytes) {
    const QList<QByteArray> f = bytes.split('\x1f');
    const auto at = [&f](int i) { return i < f.size() ? f.at(i) : QByteArray(); };
    MsgsInfo m;
    m.type = text(at(0));
    m.grade = at(1).toInt();
    m.username = text(at(2));
    m.content = text(at(3));
    m.itemType = text(at(4));
    m.itemTitle = text(at(5));
    m.number = at(6).toInt();
    m.moneyCost = at(7).toDouble();
    return m;
}

void removeDirectory() {
    QFile::remove(QStringLiteral("%1/config.ini").arg(directory));
    rmdir(QFile::encodeName(directory).constData());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const char* tmp = std::getenv("TMPDIR");
    QByteArray pattern = QByteArray(tmp && *tmp ? tmp : "/tmp") + "/kibchat-fuzz-window-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    directory = QString::fromLocal8Bit(pattern);
    std::atexit(removeDirectory);
    // The room service is a closed loopback port, whatever the file says: the worker's
    // requests fail at once and never leave the machine.
    setenv("KIBCHAT_ROOMINFO_URL", "http://127.0.0.1:1", 1);
    setenv("KIBCHAT_CHAT_URL", "http://127.0.0.1:1", 1);
    setenv("KIBCHAT_DOWNLOAD_HOST", "127.0.0.1:1", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qRegisterMetaType<MsgsInfo>("MsgsInfo");
    new QApplication(*argc, *argv); // lives as long as the process
    desktop = new platform::HeadlessPlatform;
    platform::setCurrentForTesting(desktop);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input = bodyFrom(data, size);
    // The window reads config.ini in the working directory; libFuzzer's own paths (the
    // corpus) are relative to the one it was started in, given back at the end.
    const QString started = QDir::currentPath();
    FUZZ_CHECK(QDir::setCurrent(directory));
    const int split = input.indexOf('\x1d');
    {
        QFile file{QString::fromLatin1(kSettingsFileName)};
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray config = split < 0 ? input : input.left(split);
        FUZZ_CHECK(file.write(config) == config.size());
    }
    {
        CChatDialog dialog(6);
        dialog.show();
        RecordSource source;
        QObject::connect(&source, SIGNAL(SendMessageToDisplay(MsgsInfo, int)), &dialog,
                         SLOT(ReceiveMessage(MsgsInfo, int)), Qt::QueuedConnection);
        if (split >= 0)
            for (const QByteArray& bytes : input.mid(split + 1).split('\x1e'))
                emit source.SendMessageToDisplay(record(bytes), 0);
        // Delivered, then written at the next frame, then painted as the screen would be.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        auto* log = dialog.findChild<QTextEdit*>(QStringLiteral("chatLog"));
        FUZZ_CHECK(log);
        FUZZ_CHECK(log->document()->blockCount() <= log->document()->maximumBlockCount());
        (void)dialog.grab();
    }
    FUZZ_CHECK(QDir::setCurrent(started));
    return 0;
}

#include "fuzz_window.moc"
