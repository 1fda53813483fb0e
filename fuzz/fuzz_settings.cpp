// The settings file: the user's display settings, the service addresses and the filters, read
// from a file that holds the input.
#include "FuzzSupport.h"

#include "settings/SettingsFile.h"

#include <QByteArray>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>

#include <cstdlib>
#include <unistd.h>

namespace {

QString directory;
unsigned long long serial = 0;

// QSettings keeps parsed files in a process-wide cache that is checked by size and time stamp;
// a new name per input makes every run read its own bytes.
QString freshPath() {
    return QStringLiteral("%1/config-%2.ini").arg(directory).arg(++serial);
}

void removeDirectory() {
    QFile::remove(QStringLiteral("%1/config-%2.ini").arg(directory).arg(serial));
    rmdir(QFile::encodeName(directory).constData());
}

bool noTrailingSlash(const QString& url) {
    return !url.endsWith(QLatin1Char('/'));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    QByteArray pattern = QByteArray(tmp && *tmp ? tmp : "/tmp") + "/kibchat-fuzz-settings-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    directory = QString::fromLocal8Bit(pattern);
    // A crash leaves the input's file behind on purpose; a clean end leaves nothing.
    std::atexit(removeDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = freshPath();
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) ==
                   static_cast<qint64>(size));
    }

    const DisplaySettings defaults;
    const DisplaySettings read = loadDisplaySettings(path, defaults);
    (void)read;

    // The file's addresses lose their trailing slashes; set variables win over the file.
    const ServiceEndpoints fromFile = loadServiceEndpoints(path, QProcessEnvironment());
    FUZZ_CHECK(noTrailingSlash(fromFile.roomInfoUrl) && noTrailingSlash(fromFile.chatUrl));

    QProcessEnvironment env;
    env.insert(QStringLiteral("KIBCHAT_ROOMINFO_URL"), QStringLiteral("http://127.0.0.1:1/a//"));
    env.insert(QStringLiteral("KIBCHAT_CHAT_URL"), QStringLiteral("http://127.0.0.1:2"));
    env.insert(QStringLiteral("KIBCHAT_DOWNLOAD_HOST"), QStringLiteral("127.0.0.1:3"));
    const ServiceEndpoints overridden = loadServiceEndpoints(path, env);
    FUZZ_CHECK(overridden.roomInfoUrl == QLatin1String("http://127.0.0.1:1/a"));
    FUZZ_CHECK(overridden.chatUrl == QLatin1String("http://127.0.0.1:2"));
    FUZZ_CHECK(overridden.downloadHost == QLatin1String("127.0.0.1:3"));

    // Whatever the lists hold, the filter is made from them, the minimum is a usable number,
    // and chat from the first name or holding the first word is hidden.
    const FilterChoices choices = loadFilterChoices(path);
    FUZZ_CHECK(choices.minGiftValue >= 0.0 && qIsFinite(choices.minGiftValue));
    const MessageFilter filter(choices);
    MsgsInfo record;
    record.type = QStringLiteral("chat");
    record.username = choices.blockedUsers.value(0).trimmed();
    FUZZ_CHECK(record.username.isEmpty() || !filter.shows(record));
    record.username.clear();
    const QString word = choices.blockedWords.value(0).trimmed();
    record.content = QStringLiteral("<") + word + QStringLiteral(">");
    FUZZ_CHECK(word.isEmpty() || !filter.shows(record));
    (void)loadWindowOptions(path);

    QFile::remove(path);
    return 0;
}
