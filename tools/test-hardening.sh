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
#  2. every fuzz target for 30 s (or $KIBCHAT_FUZZ_SECONDS) with fuzz/run.sh.
# Ends with the fuzz summary "N passed, M failed"; exit status 1 when anything failed.
# --build-only builds both (the sanitized suite and the fuzz targets) and runs nothing, so that
# the builds can go on while something else runs; a later full run then finds them built.
# Besides the packages of tools/install-deps.sh it needs clang-14, libclang-rt-14-dev and
# llvm-14 (the symbolizer), which that script installs too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_ASAN_BUILD_DIR:-$root/build-asan}
reports=$build/sanitizer-reports
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

t0=$SECONDS
# The preset "asan": -O1 -g1, what the sanitizers need (inlining kept modest, file and line in
# every stack) at well under the build time of -O2 -g on the two-core CI machine, and the
# unit and desktop suites only.
(cd "$root" && cmake --preset asan -B "$build" >/dev/null)
cmake --build "$build" --parallel 2
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
if compgen -G "$reports/*" >/dev/null; then
    tests=FAILED
    for report in "$reports"/*; do
        echo "--- sanitizer report $report"
        cat "$report"
    done
fi
t2=$SECONDS

fuzz_log=$build/fuzz-summary.txt
fuzz=passed
"$root/fuzz/run.sh" "$seconds" | tee "$fuzz_log" || fuzz=FAILED
t3=$SECONDS

echo "sanitized tests $tests; fuzzing $fuzz; times: build $((t1 - t0)) s, tests $((t2 - t1)) s," \
    "fuzz (with its build) $((t3 - t2)) s, total $((t3 - t0)) s"
summary=$(tail -n 1 "$fuzz_log")
if ! [[ $summary =~ ^[0-9]+\ passed,\ [0-9]+\ failed$ ]]; then
    # fuzz/run.sh stopped before its summary: every target (one corpus folder each) failed.
    targets=("$root"/fuzz/corpus/*/)
    summary="0 passed, ${#targets[@]} failed"
fi
echo "$summary"
[ "$tests" = passed ] && [ "$fuzz" = passed ]
