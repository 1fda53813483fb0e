# shellcheck shell=bash
# CPU and memory readings of processes from /proc, for bench/e2e.sh (and its test,
# tests/bench_proc.sh). Sourced: defines functions and clk_tck, runs nothing else. Every
# function succeeds, so that callers under set -e never stop half-way.

clk_tck=$(getconf CLK_TCK)

# utime + stime of a process in clock ticks (0 once it is gone). The name in field 2 may hold
# blanks, so the fields are counted after its closing parenthesis.
ticks() {
    local stat rest
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo 0 && return; }
    rest=${stat##*) }
    # shellcheck disable=SC2086 # split into fields on purpose
    set -- $rest
    echo $((${12} + ${13}))
}

# "PSS RSS" of a process in kB, from smaps_rollup.
mem_kb() {
    awk '/^Pss:/ {p = $2} /^Rss:/ {r = $2} END {print p + 0, r + 0}' \
        "/proc/$1/smaps_rollup" 2>/dev/null || echo "0 0"
}

# A process and all its descendants, one PID a line. Every call must succeed: under set -e a
# failing call after && ends the walk, and the descendants after it would go uncounted.
tree() {
    local parent=$1 pid ppid stat
    echo "$parent"
    for stat in /proc/[0-9]*/stat; do
        pid=${stat#/proc/}
        pid=${pid%/stat}
        ppid=$(sed 's/.*) [A-Za-z] \([0-9]*\).*/\1/' "$stat" 2>/dev/null) || continue
        if [[ "$ppid" == "$parent" ]]; then
            tree "$pid"
        fi
    done
    return 0
}

sum_ticks() {
    local total=0 pid
    for pid in "$@"; do total=$((total + $(ticks "$pid"))); done
    echo "$total"
}

sum_mem() {
    local pss=0 rss=0 pid p r
    for pid in "$@"; do
        read -r p r < <(mem_kb "$pid")
        pss=$((pss + p)) rss=$((rss + r))
    done
    echo "$pss $rss"
}

# Percent of one core from a tick delta over milliseconds.
pct() { awk -v t="$1" -v ms="$2" -v hz="$clk_tck" 'BEGIN {printf "%.1f", t / hz * 100000 / ms}'; }
mb() { awk -v kb="$1" 'BEGIN {printf "%.1f", kb / 1024}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.1fx", a / b; else print "-"}'; }
