// What choosing the display costs at start-up, before Qt: the look at the compositor's globals
// (one connection and one round trip) and the whole choice with the plugin check. Needs a
// Wayland compositor (WAYLAND_DISPLAY); without one it measures the failed connection.

#include "platform/DisplayBackend.h"

#include <benchmark/benchmark.h>

namespace {

void BM_CompositorOffersLayerShell(benchmark::State& state) {
    bool offered = false;
    for (auto _ : state)
        benchmark::DoNotOptimize(offered = platform::compositorOffers("zwlr_layer_shell_v1"));
    state.SetLabel(offered ? "offered" : "not offered");
}
BENCHMARK(BM_CompositorOffersLayerShell)->Unit(benchmark::kMicrosecond);

void BM_ApplyDisplayChoice(benchmark::State& state) {
    const QByteArray qpa = qgetenv("QT_QPA_PLATFORM");
    const QByteArray shell = qgetenv("QT_WAYLAND_SHELL_INTEGRATION");
    platform::DisplayRoute route = platform::DisplayRoute::Default;
    for (auto _ : state) {
        // Each round starts from the environment as the program finds it.
        state.PauseTiming();
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("QT_WAYLAND_SHELL_INTEGRATION");
        state.ResumeTiming();
        route = platform::applyDisplayChoice().route;
    }
    state.SetLabel(platform::describeRoute(route));
    qputenv("QT_QPA_PLATFORM", qpa);
    qputenv("QT_WAYLAND_SHELL_INTEGRATION", shell);
}
BENCHMARK(BM_ApplyDisplayChoice)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
