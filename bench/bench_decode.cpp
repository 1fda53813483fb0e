// The room client's reading of one poll reply: the body parsed, the reply read, and every
// entry decoded into a record with its gift looked up in the catalogue.

#include "bench/BenchData.h"
#include "bench/BenchRun.h"
#include "client/GiftCatalogue.h"
#include "client/JsonKeyCheck.h"
#include "client/ServiceReplies.h"

#include <QJsonValue>

#include <benchmark/benchmark.h>

namespace {

using benchrun::fail;

constexpr int kCatalogueSize = 200;

// One poll reply of `range(0)` entries against a catalogue of 200 items.
void BM_DecodePollReply(benchmark::State& state) {
    const GiftCatalogue catalogue(benchdata::catalogue(kCatalogueSize));
    const QByteArray body = benchdata::pollReply(static_cast<int>(state.range(0)), kCatalogueSize);
    int decoded = 0;
    for (auto _ : state) {
        const auto object = parseObjectBody(body);
        const PollReply poll = readPoll(*object);
        for (const QJsonValue& entry : poll.msgs)
            if (auto record = decodeMessageEntry(entry, catalogue))
                ++decoded;
        benchmark::DoNotOptimize(decoded);
    }
    if (decoded == 0)
        fail(state, "no entry decoded");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecodePollReply)->Arg(100)->Unit(benchmark::kMicrosecond);

// The repeated-key check alone, which the decode above includes, on the same reply.
void BM_RepeatedKeyCheck(benchmark::State& state) {
    const QByteArray body = benchdata::pollReply(static_cast<int>(state.range(0)), kCatalogueSize);
    bool repeats = false;
    for (auto _ : state) {
        repeats = repeatsContainerKey(body);
        benchmark::DoNotOptimize(repeats);
    }
    if (repeats)
        fail(state, "a repeated key was found in a plain reply");
    state.SetBytesProcessed(state.iterations() * body.size());
}
BENCHMARK(BM_RepeatedKeyCheck)->Arg(100)->Unit(benchmark::kMicrosecond);

// One lookup in a catalogue of 200 items, of the item at position `range(0)` (200: an item the
// catalogue does not hold). Keys differ from the names in letter case, as the lookup allows.
// `Catalogue` is the plain list, scanned, or the catalogue with its index.
template <typename Catalogue> void lookUp(benchmark::State& state) {
    const Catalogue catalogue(benchdata::catalogue(kCatalogueSize));
    const QString key = QStringLiteral("ITEM%1").arg(state.range(0));
    QString title;
    double cost = 0;
    for (auto _ : state) {
        FindItem(catalogue, key, title, cost);
        benchmark::DoNotOptimize(title);
        benchmark::DoNotOptimize(cost);
    }
    if (state.range(0) < kCatalogueSize && title.isEmpty())
        fail(state, "the item was not found");
    if (state.range(0) >= kCatalogueSize && !title.isEmpty())
        fail(state, "an item the catalogue does not hold was found");
}

void BM_FindItem(benchmark::State& state) {
    lookUp<QList<ItemInfo>>(state);
}
BENCHMARK(BM_FindItem)->Arg(0)->Arg(100)->Arg(199)->Arg(200)->Unit(benchmark::kNanosecond);

void BM_FindItemIndexed(benchmark::State& state) {
    lookUp<GiftCatalogue>(state);
}
BENCHMARK(BM_FindItemIndexed)->Arg(0)->Arg(100)->Arg(199)->Arg(200)->Unit(benchmark::kNanosecond);

} // namespace

int main(int argc, char** argv) {
    return benchrun::run(argc, argv);
}
