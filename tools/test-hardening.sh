#!/usr/bin/env bash
# Usage: tools/test-hardening.sh [--build-only]
#
# Hardening checks, run by tools/test.sh after the plain suite:
#  1. the unit and desktop tests (ctest labels unit and gui, or the regular expression in
#     $KIBCHAT_ASAN_LABELS) on an AddressSanitizer + UndefinedBehaviorSanitizer build made with
#     gcc in build-asan/ (or $KIBCHAT_ASAN_BUILD_DIR); any sanitizer report fails it, also one
#     from a process that a test started. The labels e2e, soak, package and win32 are left out:
#     e2e and soak limits (memory, shutdown time) are set for the plain build, valgrind cannot
#     run an ASan program, and e2e alone takes five minutes under ASan;
#  2. the unit tests (ctest label unit, but the shutdown timing script) on a ThreadSanitizer
#     build made with gcc in build-tsan/
#     (or $KIBCHAT_TSAN_BUILD_DIR); any report fails it, except those named in
#     tests/sanitizers/tsan.supp (Qt's own);
#  3. every fuzz target for 30 s (or $KIBCHAT_FUZZ_SECONDS) with fuzz/run.sh.
# Ends with the fuzz summary "N passed, M failed"; exit status 1 when anything failed.
# --build-only builds all three (the sanitized suites and the fuzz targets) and runs nothing, so
# that the builds can go on while something else runs; a later full run then finds them built.
# Besides the packages of tools/install-deps.sh it needs clang-14, libclang-rt-14-dev and
# llvm-14 (the symbolizer), which that script installs too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_ASAN_BUILD_DIR:-$root/build-asan}
reports=$build/sanitizer-reports
tsan_build=${KIBCHAT_TSAN_BUILD_DIR:-$root/build-tsan}
tsan_reports=$tsan_build/sanitizer-reports
seconds=${KIBCHAT_FUZZ_SECONDS:-30}
build_only=false
case "${1:-}" in
'') ;;
--build-only) build_only=true ;;
*)
    echo "usage: $0 [--build-only]" >&2
    exit 2
    ;;
esac

missing=()
command -v clang++-14 >/dev/null || missing+=(clang-14)
compgen -G '/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
    missing+=(libclang-rt-14-dev)
command -v llvm-symbolizer >/dev/null || missing+=(llvm-14)
if [ ${#missing[@]} -gt 0 ]; then
    echo "missing Debian packages: ${missing[*]} (apt-get install ${missing[*]})" >&2
    exit 1
fi

# Prints each report in folder $1 under a heading naming its kind ($2); fails when there is one.
show_reports() {
    compgen -G "$1/*" >/dev/null || return 0
    local report
    for report in "$1"/*; do
        echo "--- $2 report $report"
        cat "$report"
    done
    return 1
}

t0=$SECONDS
# The preset "asan": -O1 -g1, what the sanitizers need (inlining kept modest, file and line in
# every stack) at well under the build time of -O2 -g on the two-core CI machine, and the
# unit and desktop suites only.
(cd "$root" && cmake --preset asan -B "$build" >/dev/null)
cmake --build "$build" --parallel 2
# The preset "tsan": the same flags, ThreadSanitizer instead, the unit suite only.
(cd "$root" && cmake --preset tsan -B "$tsan_build" >/dev/null)
cmake --build "$tsan_build" --parallel 2
if $build_only; then
    "$root/fuzz/run.sh" --build-only
    exit
fi
t1=$SECONDS

tests=passed
rm -rf "$reports"
(
    # shellcheck source=tests/sanitizers/env.sh
    . "$root/tests/sanitizers/env.sh" "$reports"
    cd "$build"
    ctest --output-on-failure --timeout 300 -j "${KIBCHAT_ASAN_JOBS:-2}" \
        -L "${KIBCHAT_ASAN_LABELS:-unit|gui}"
) || tests=FAILED
show_reports "$reports" sanitizer || tests=FAILED
t2=$SECONDS

# Every report goes to a file of its own, also from a process that a test started.
tsan=passed
rm -rf "$tsan_reports"
mkdir -p "$tsan_reports"
(
    export TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:print_suppressions=0:\
second_deadlock_stack=1:log_path=$tsan_reports/tsan:log_exe_name=1"
    cd "$tsan_build"
    # shutdown_signals is left out: it gives the overlay one second to start and one to end,
    # which a plain build needs and ThreadSanitizer's start-up alone can exceed.
    ctest --output-on-failure --timeout 300 -j 2 -L unit -E '^shutdown_signals$'
) || tsan=FAILED
show_reports "$tsan_reports" "thread sanitizer" || tsan=FAILED
t2b=$SECONDS

fuzz_log=$build/fuzz-summary.txt
fuzz=passed
"$root/fuzz/run.sh" "$seconds" | tee "$fuzz_log" || fuzz=FAILED
t3=$SECONDS

echo "sanitized tests $tests; thread sanitizer $tsan; fuzzing $fuzz; times: builds $((t1 - t0)) s," \
    "tests $((t2 - t1)) s, thread sanitizer tests $((t2b - t2)) s," \
    "fuzz (with its build) $((t3 - t2b)) s, total $((t3 - t0)) s"
summary=$(tail -n 1 "$fuzz_log")
if ! [[ $summary =~ ^[0-9]+\ passed,\ [0-9]+\ failed$ ]]; then
    # fuzz/run.sh stopped before its summary: every target (one corpus folder each) failed.
    targets=("$root"/fuzz/corpus/*/)
    summary="0 passed, ${#targets[@]} failed"
fi
echo "$summary"
[ "$tests" = passed ] && [ "$tsan" = passed ] && [ "$fuzz" = passed ]
