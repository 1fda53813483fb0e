# shellcheck shell=bash
# Reading of the overlay's event trace (KIBCHAT_TRACE, see client/PerfTrace.h) for
# bench/e2e.sh and its test, tests/bench_trace.sh. Sourced: defines functions, runs nothing.
#
# The trace holds, one per line, "<µs> <event> <a> <b>":
#   reply N      the worker read a poll reply that queued N records
#   emit         the worker handed one record to the window (records are numbered 1, 2, ... in
#                the order of these lines)
#   flush R L    the window had written R records in all, which wrote L lines
#   paint        the chat log was painted: every record flushed before it is on screen

# Measures the records handed over from FROM_US to TO_US (microseconds since the epoch) and
# prints one line: "lines/s replies reply-median reply-p99 records record-median record-p99",
#   lines/s        lines written per second in the window,
#   replies        poll replies with records that arrived in the window and were all painted,
#   reply-*        from such a reply's arrival to the paint that showed its last record,
#   records        records handed over in the window and painted,
#   record-*       from a record's hand-over to the paint that showed it,
# times in milliseconds with one decimal, percentiles by nearest rank; "-" where there is
# nothing to measure. Lines are read in time order (the two threads' lines may interleave),
# equal times in the order written (one thread notes a reply before its records).
trace_stats() {
    local file=$1 from=$2 to=$3 values
    values=$(sort -s -n -k1,1 "$file" | awk -v from="$from" -v to="$to" '
        $2 == "emit" { emitted++; at[emitted] = $1 }
        $2 == "reply" && $3 > 0 { replies++; replyAt[replies] = $1; last[replies] = emitted + $3 }
        $2 == "flush" {
            flushed = $3
            if ($1 < from) linesBefore = $4
            if ($1 <= to) linesUntil = $4
        }
        $2 == "paint" {
            for (; shown < flushed; shown++) {
                seq = shown + 1
                if (at[seq] >= from && at[seq] <= to) print "r", $1 - at[seq]
            }
            for (; done < replies && last[done + 1] <= shown; done++)
                if (replyAt[done + 1] >= from && replyAt[done + 1] <= to)
                    print "p", $1 - replyAt[done + 1]
        }
        END { print "l", (linesUntil - linesBefore) * 1000000 / (to - from) }')
    local lines replies records
    lines=$(awk '$1 == "l" { printf "%.0f", $2 }' <<<"$values")
    replies=$(quantiles p <<<"$values")
    records=$(quantiles r <<<"$values")
    echo "$lines $replies $records"
}

# "count median p99" of the values tagged TAG (microseconds, printed in milliseconds).
quantiles() {
    awk -v tag="$1" '$1 == tag { print $2 }' | sort -n | awk '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "0 - -"; exit }
            m = int((NR * 50 + 99) / 100); q = int((NR * 99 + 99) / 100)
            printf "%d %.1f %.1f\n", NR, v[m] / 1000, v[q] / 1000
        }'
}
