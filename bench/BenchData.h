#pragma once

#include "client/GiftCatalogue.h"
#include "client/MsgsInfo.h"

#include <QByteArray>
#include <QList>
#include <QVector>

// Repeatable input for the benchmarks: the same records and replies in every run, with the
// mix of a busy room (mostly chat, some gifts with badges, a few other entries).
namespace benchdata {

// `count` records as the window receives them: chat lines of varying length, gifts priced and
// free, and every twentieth an entry that writes nothing.
QVector<MsgsInfo> records(int count, unsigned seed = 1);

// A gift catalogue of `count` items named "item0", "item1", ...
QList<ItemInfo> catalogue(int count);

// The body of a poll reply holding `entries` message entries whose gifts name items of a
// catalogue of `catalogueSize` items.
QByteArray pollReply(int entries, int catalogueSize, unsigned seed = 1);

} // namespace benchdata
