#!/usr/bin/env bash
# The end-to-end benchmark's reading of the overlay's event trace (bench/trace.sh): which
# records and replies fall in the measuring window, when each was first painted, the lines
# written per second, and the nearest-rank median and 99th percentile.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/trace.sh
source "$root/bench/trace.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
check() { # description, expected, actual
    if [[ "$2" == "$3" ]]; then
        echo "PASS $1"
    else
        echo "FAIL $1: expected '$2', got '$3'" && failures=$((failures + 1))
    fi
}

# The worker's lines, then the window's: written by two threads, they reach the file out of
# time order. Times in µs; the window measured is [1 s, 2 s].
#   record 1 and its reply come before the window; the empty reply at 1.0 s counts for nothing;
#   the reply at 1.1 s brings records 2-4 (the same microsecond as record 2's hand-over), and
#   record 3 writes no line; the reply at 1.9 s brings record 5, painted only after the
#   window; record 6 comes after the window.
cat >"$scratch/worker" <<'EOF2'
900000 reply 1 0
900000 emit 0 0
1000000 reply 0 0
1100000 reply 3 0
1100000 emit 0 0
1400000 emit 0 0
1700000 emit 0 0
1900000 reply 1 0
1900000 emit 0 0
2050000 emit 0 0
EOF2
cat >"$scratch/window" <<'EOF2'
950000 flush 1 1
960000 paint 0 0
1200000 flush 2 2
1210000 paint 0 0
1420000 flush 3 2
1716000 flush 4 3
1730000 paint 0 0
1950000 flush 5 4
2100000 flush 6 5
2110000 paint 0 0
EOF2
cat "$scratch/worker" "$scratch/window" >"$scratch/trace"
# Records 2-5 are painted 110, 330, 30 and 210 ms after their hand-over; the replies at 1.1 s
# and 1.9 s have their last records painted after 630 and 210 ms; 3 lines in the window.
check "records, replies and lines in the window" "3 2 210.0 630.0 4 110.0 330.0" \
    "$(trace_stats "$scratch/trace" 1000000 2000000)"

# Cut before the last paint: record 5 and its reply are never seen on screen and drop out.
head -n -1 "$scratch/window" >"$scratch/cut-window"
cat "$scratch/worker" "$scratch/cut-window" >"$scratch/cut"
check "what was never painted is not counted" "3 1 630.0 630.0 3 110.0 330.0" \
    "$(trace_stats "$scratch/cut" 1000000 2000000)"

# Only the first record's window: its reply and it are measured, nothing else.
check "a window around the first record alone" "1 1 60.0 60.0 1 60.0 60.0" \
    "$(trace_stats "$scratch/trace" 0 1000000)"

: >"$scratch/empty"
check "an empty trace" "0 0 - - 0 - -" "$(trace_stats "$scratch/empty" 1000000 2000000)"

# A hundred records painted 1..100 ms after their hand-over: the median is the 50th, the
# 99th percentile the 99th.
awk 'BEGIN {
    print 0, "reply", 100, 0
    for (i = 1; i <= 100; i++) {
        t = i * 1000000
        print t, "emit", 0, 0
        print t + i * 1000, "flush", i, i
        print t + i * 1000, "paint", 0, 0
    }
}' >"$scratch/hundred"
check "nearest-rank percentiles of a hundred" "50.0 99.0" \
    "$(trace_stats "$scratch/hundred" 0 200000000 | awk '{print $6, $7}')"

((failures == 0)) || { echo "$failures check(s) failed" && exit 1; }
echo "all checks passed"
