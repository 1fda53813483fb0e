#pragma once

#include "client/MsgsInfo.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QString>

// What the offscreen tests of the real window share.
namespace windowtests {

// A chat record as the worker delivers it.
inline MsgsInfo chat(const QString& user, const QString& text, int grade = 1) {
    MsgsInfo m;
    m.type = QStringLiteral("chat");
    m.username = user;
    m.content = text;
    m.grade = grade;
    return m;
}

// Makes `dir` the working directory with the pictures linked in, where the window's style
// sheets find them, as the launcher arranges it. False when that failed.
inline bool enterWithImages(const QString& dir) {
    return QFile::link(QStringLiteral(KIBCHAT_SOURCE_DIR "/images"),
                       QDir(dir).filePath(QStringLiteral("images"))) &&
           QDir::setCurrent(dir);
}

// The child named `name`: a test cannot go on without it.
template <typename T> T* namedChild(const QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

} // namespace windowtests
