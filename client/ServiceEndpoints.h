#pragma once

#include <QString>

// Where the streaming service lives. The defaults are the bundled simulator's address.
struct ServiceEndpoints {
    QString roomInfoUrl = QStringLiteral("http://127.0.0.1:18080"); // lookup and catalogue
    QString chatUrl = QStringLiteral("http://127.0.0.1:18080");     // join and poll
    QString downloadHost = QStringLiteral("127.0.0.1:18080");       // the client download
};
