#pragma once

#include <QJsonDocument>

#include <optional>

class QByteArray;

// True when some object in the JSON text `body` repeats a key whose earlier value is a non-empty
// array or object, keys compared after unescaping as QJsonDocument compares them. Qt 5.15's
// parser keeps the last value of a repeated key and never frees such an earlier value, so a
// reply of that shape would leak memory on every poll. One pass, no recursion, nothing read
// past the end; for text that is not JSON the answer may be either (the parser rejects it).
bool repeatsContainerKey(const QByteArray& body);

// A reply body parsed by QJsonDocument; nothing when it is empty, not JSON, or repeats a key
// as above (Qt would leak: such a body is unusable, like invalid JSON). Every reply is read
// through this, so none reaches the parser unchecked.
std::optional<QJsonDocument> parseReplyJson(const QByteArray& body);
