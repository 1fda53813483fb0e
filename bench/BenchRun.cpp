#include "bench/BenchRun.h"

namespace benchrun {

namespace {

bool failed = false;

} // namespace

void fail(benchmark::State& state, const char* what) {
    failed = true;
    state.SkipWithError(what);
}

int run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return failed ? 1 : 0;
}

} // namespace benchrun
