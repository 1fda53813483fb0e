// The streamer's filter over one busy reply: 1,000 records against 500 blocked words and 500
// blocked names, and the cost of making the filter when the choices change.

#include "bench/BenchData.h"
#include "bench/BenchRun.h"
#include "client/MessageFilter.h"

#include <benchmark/benchmark.h>

namespace {

// Long lists as a streamer builds them over months: Latin and Chinese, some of them parts of
// the room's real chat, so that a few records are held back.
FilterChoices longLists(int words, int names) {
    FilterChoices choices;
    for (int i = 0; i < words; ++i)
        choices.blockedWords.append(i % 2 ? QStringLiteral("广告词%1").arg(i)
                                          : QStringLiteral("Spam Phrase %1").arg(i));
    choices.blockedWords.append(QStringLiteral("太秀了"));
    choices.blockedWords.append(QStringLiteral("BACKGROUND"));
    for (int i = 0; i < names; ++i)
        choices.blockedUsers.append(QStringLiteral("bot%1").arg(i));
    choices.blockedUsers.append(QStringLiteral("tom3"));
    choices.minGiftValue = 50;
    return choices;
}

void BM_FilterReply(benchmark::State& state) {
    const QVector<MsgsInfo> reply = benchdata::records(static_cast<int>(state.range(0)));
    const MessageFilter filter(longLists(500, 500));
    int shown = 0;
    for (auto _ : state) {
        shown = 0;
        for (const MsgsInfo& record : reply)
            shown += filter.shows(record);
        benchmark::DoNotOptimize(shown);
    }
    // Both outcomes must occur, or the benchmark measures a filter that does nothing.
    if (shown == 0 || shown == reply.size())
        benchrun::fail(state, "the filter kept all records or none");
    state.counters["shown"] = shown;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FilterReply)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_MakeFilter(benchmark::State& state) {
    const FilterChoices choices = longLists(500, 500);
    for (auto _ : state) {
        MessageFilter filter(choices);
        benchmark::DoNotOptimize(filter);
    }
}
BENCHMARK(BM_MakeFilter)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return benchrun::run(argc, argv);
}
