#pragma once

#include <QByteArray>
#include <QJsonValue>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken promise of a reader must stop the run like a crash, so that libFuzzer keeps the
// input that broke it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// An owned copy, the way QNetworkReply::readAll() hands a reply body over.
inline QByteArray bodyFrom(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

// The 32-bit value the lenient readers must produce for `value`, worked out independently of
// them: a whole JSON number within range, else `fallback`.
inline qint32 expectedInt32(const QJsonValue& value, qint32 fallback) {
    if (!value.isDouble())
        return fallback;
    const double d = value.toDouble();
    if (!(d >= -2147483648.0 && d <= 2147483647.0) || std::floor(d) != d)
        return fallback;
    return static_cast<qint32>(d);
}

// Equal, with NaN equal to NaN (a cost is copied, never computed).
inline bool sameDouble(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}
