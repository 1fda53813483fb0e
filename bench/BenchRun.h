#pragma once

#include <benchmark/benchmark.h>

// What the benchmark programs share around their benchmarks: a benchmark that finds the
// program misbehaving fails the whole run, so that a broken measurement is not taken for a
// figure.
namespace benchrun {

// Ends the benchmark with `what` as its error; run() then returns 1.
void fail(benchmark::State& state, const char* what);

// Runs the benchmarks the command line selects: 1 on an argument it does not know or when a
// benchmark failed, else 0.
int run(int argc, char** argv);

} // namespace benchrun
