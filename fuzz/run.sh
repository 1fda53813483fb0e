#!/usr/bin/env bash
# Usage: fuzz/run.sh SECONDS [TARGET...]
#        fuzz/run.sh --build-only
#
# Configures and builds the libFuzzer targets (clang-14, ASan + UBSan, the project's libraries
# instrumented too) in build-fuzz/ (or $KIBCHAT_FUZZ_BUILD_DIR), then runs each TARGET (default:
# all; "poll" and "fuzz_poll" both name fuzz_poll) for SECONDS on a copy of fuzz/corpus/TARGET,
# so that the corpus in the repository only holds the hand-picked seeds. --build-only stops
# after the build.
# $KIBCHAT_FUZZ_JOBS targets run at a time (default 2, one per core of the CI machine).
#
# Prints one line per target with its executions and result, then "N passed, M failed".
# A target fails when libFuzzer exits non-zero (crash, sanitizer report, timeout, out of memory)
# or when the leak check of its corpus finds a leak; the input stays in <build>/fuzz-runs/TARGET/
# next to its logs. Exit status 1 when any target failed.
set -euo pipefail

all_targets=(lookup count join poll catalogue settings window)

usage() {
    echo "usage: $0 SECONDS [TARGET...]   targets: ${all_targets[*]}" >&2
    exit 2
}

[ $# -ge 1 ] || usage
build_only=false
seconds=0
if [ "$1" = --build-only ]; then
    [ $# -eq 1 ] || usage
    build_only=true
else
    seconds=$1
    [[ $seconds =~ ^[1-9][0-9]*$ ]] || usage
fi
shift

targets=()
for t in "${@:-${all_targets[@]}}"; do
    t=${t#fuzz_}
    [[ " ${all_targets[*]} " == *" $t "* ]] || usage
    targets+=("$t")
done

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${KIBCHAT_FUZZ_JOBS:-2}
[[ $jobs =~ ^[1-9][0-9]*$ ]] || jobs=1

summary() {
    echo "$1 passed, $2 failed"
}

# The preset "fuzz": no tests and no desktop tools; the fuzz build holds only the libraries.
if ! (cd "$root" && cmake --preset fuzz -B "$build" >/dev/null) ||
    ! cmake --build "$build" --target kibchat-fuzz --parallel 2; then
    for t in "${targets[@]}"; do
        echo "fuzz_$t: FAILED (not built)"
    done
    summary 0 "${#targets[@]}"
    exit 1
fi
$build_only && exit 0

symbolizer=$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)
export ASAN_SYMBOLIZER_PATH=$symbolizer
# Undefined behaviour already aborts (-fno-sanitize-recover); this prints where it happened.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Qt writes warnings for some odd settings files; they are not failures and flood the log.
export QT_LOGGING_RULES='*.warning=false'
lsan_supp=$root/tests/sanitizers/lsan.supp

# Two passes. Fuzzing runs without leak checks: the whole stacks that suppressions need make
# every allocation ten times slower. Then every input of the grown corpus is run again once with
# leak checks, whole stacks and the suppression file, so that a leak still fails the target.
run_one() {
    local t=$1 dir=$build/fuzz-runs/$1
    rm -rf "$dir"
    mkdir -p "$dir/corpus"
    cp "$root/fuzz/corpus/$t/"* "$dir/corpus/"
    local rc=0
    # A smaller quarantine than ASan's 256 MB: poll reached 1.4 GB in 10 min with the default,
    # close to the 2 GB limit; freed memory is still kept back for use-after-free checks.
    (cd "$dir" && TMPDIR=$dir ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=64 \
        "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
        -timeout=10 -detect_leaks=0 -print_final_stats=1 -artifact_prefix="$dir/" corpus) \
        >"$dir/log" 2>&1 || rc=$?
    if [ "$rc" -eq 0 ]; then
        (cd "$dir" && find corpus -type f -print0 |
            TMPDIR=$dir ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:malloc_context_size=100 \
                LSAN_OPTIONS=suppressions=$lsan_supp:print_suppressions=0 \
                xargs -0 "$build/fuzz/fuzz_$t" -rss_limit_mb=2048 -timeout=10 -detect_leaks=1 \
                -artifact_prefix="$dir/") >"$dir/leak-check.log" 2>&1 || rc=$?
        [ "$rc" -eq 0 ] || echo "leak check failed, see $dir/leak-check.log" >>"$dir/log"
    fi
    echo "$rc" >"$dir/rc"
}

running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    run_one "$t" &
    running=$((running + 1))
done
wait

passed=0
failed=0
for t in "${targets[@]}"; do
    dir=$build/fuzz-runs/$t
    rc=$(cat "$dir/rc" 2>/dev/null || echo missing)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    corpus=$(find "$dir/corpus" -type f | wc -l)
    if [ "$rc" = 0 ]; then
        passed=$((passed + 1))
        echo "fuzz_$t: ${execs:-?} execs in ${seconds} s, corpus $corpus, ok"
    else
        failed=$((failed + 1))
        artefacts=$(find "$dir" -maxdepth 1 -type f \
            \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) |
            tr '\n' ' ')
        echo "fuzz_$t: ${execs:-?} execs, FAILED (exit $rc); input: ${artefacts:-none}; log: $dir/log"
        cat "$dir/log" "$dir/leak-check.log" 2>/dev/null |
            grep -m 3 -E '^==[0-9]+==ERROR|runtime error|check failed|deadly signal|leak check' ||
            true
    fi
done
summary "$passed" "$failed"
[ "$failed" -eq 0 ]
