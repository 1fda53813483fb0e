#!/usr/bin/env bash
# Soak: the overlay against the room simulator at RATE chat messages a second (default 200)
# for DURATION seconds in a private Xvfb session. Samples resident memory (VmRSS) and CPU
# every few seconds and prints them as a table, then one summary line. Fails (status 1) when
# the overlay dies, or when its memory grows by 2 MiB or more after the warm-up.
#
# Usage: tools/soak.sh DURATION [RATE]
# Environment: KIBCHAT_BUILD_DIR (default build/), or KIBCHAT_APP / KIBCHAT_SIM for the two
# programs; KIBCHAT_SOAK_INTERVAL seconds between samples (default 5);
# KIBCHAT_SOAK_ARTEFACTS where the table and screenshots go (default BUILD/soak);
# KIBCHAT_SOAK_LIMIT_KB the growth that fails (default 2048).
#
# Growth = mean of the last three samples minus mean of the first three after the warm-up
# (a quarter of the run, at most 60 s): the chat log keeps 100 lines, so once they are full
# and the glyph caches hold the room's characters, nothing should keep growing.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIBCHAT_BUILD_DIR:-$root/build}
app=${KIBCHAT_APP:-$build/app/kibchat}
sim=${KIBCHAT_SIM:-$build/sim/kibchat-sim}
artefacts=${KIBCHAT_SOAK_ARTEFACTS:-$build/soak}
interval=${KIBCHAT_SOAK_INTERVAL:-5}
limit_kb=${KIBCHAT_SOAK_LIMIT_KB:-2048}

usage() {
    echo "usage: $0 DURATION_SECONDS [RATE]" >&2
    exit 2
}
(($# >= 1 && $# <= 2)) || usage
duration=$1
rate=${2:-200}
[[ "$duration" =~ ^[0-9]+$ && "$rate" =~ ^[0-9]+$ && "$interval" =~ ^[0-9]+$ ]] || usage
((duration >= 20 && rate <= 1000 && interval >= 1)) || usage

# shellcheck source=SCRIPTDIR/../tests/gui/harness.sh
source "$root/tests/gui/harness.sh"
# The soak needs no probe window; the harness only wants an executable in that slot.
h_begin soak "$app" "$(type -P true)" "$root/images" "$artefacts"
[[ -x "$sim" ]] || fail "simulator '$sim' not found"

sim_start "$H_TMP/sim.log" "$sim" --seed 11 --rate "$rate" --next 1 --log "$H_TMP/requests.txt" || fail "$SIM_ERROR"
H_PIDS+=("$SIM_PID")
printf '[Config]\nroomName=soak-room\n' >"$WORKDIR/config.ini"

h_start_app app
APP_PID=$H_LAST_PID
h_wait_window "$APP_PID" classname '^kibchat$'
h_geometry "$H_WIN"

clk_tck=$(getconf CLK_TCK)
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$APP_PID/status" 2>/dev/null; }
# utime + stime in clock ticks (fields 14 and 15; the name in field 2 has no blanks here).
cpu_ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat" 2>/dev/null; }
polls_ok() { grep -c ' /chatroom/msgs/.* 200$' "$H_TMP/requests.txt"; }

warmup=$((duration / 4))
((warmup > 60)) && warmup=60
table="$artefacts/soak-table.txt"
printf '%6s %9s %6s %7s\n' "t_s" "rss_kb" "cpu%" "polls" | tee "$table"
samples=()
after_warmup=()
start_ms=$(h_now_ms)
last_ms=$start_ms
last_ticks=$(cpu_ticks)
died=""
while true; do
    now=$(h_now_ms)
    next_ms=$((last_ms + interval * 1000))
    end_ms=$((start_ms + duration * 1000))
    ((next_ms > end_ms)) && next_ms=$end_ms
    # Sleep in short steps so a dead overlay is noticed at once.
    while (($(h_now_ms) < next_ms)); do
        h_alive "$APP_PID" || break
        sleep 0.2
    done
    if ! h_alive "$APP_PID"; then
        died="the overlay (pid $APP_PID) died after $((($(h_now_ms) - start_ms) / 1000)) s"
        break
    fi
    now=$(h_now_ms)
    rss=$(rss_kb)
    ticks=$(cpu_ticks)
    cpu=$(awk -v d="$((ticks - last_ticks))" -v ms="$((now - last_ms))" -v hz="$clk_tck" \
        'BEGIN {printf "%.1f", (ms > 0) ? 100 * d / hz / (ms / 1000) : 0}')
    t=$(((now - start_ms) / 1000))
    printf '%6d %9d %6s %7d\n' "$t" "$rss" "$cpu" "$(polls_ok)" | tee -a "$table"
    samples+=("$rss")
    ((t >= warmup)) && after_warmup+=("$rss")
    last_ms=$now
    last_ticks=$ticks
    ((now >= end_ms)) && break
done

h_screenshot soak-end "$GX" "$GY" "$GW" "$GH" 2>/dev/null
# Failed requests (any status but 200, resets included) and the overlay's own complaints.
failed=$(grep -vc ' 200$' "$H_TMP/requests.txt")
warnings=$(grep -c . "$H_TMP/app.log")
errors=$((failed + warnings))

if [[ -n "$died" ]]; then
    printf 'SOAK: %s; errors %d (failed requests %d, overlay messages %d)\n' \
        "$died" "$errors" "$failed" "$warnings" | tee -a "$table"
    fail "$died"
fi
n=${#after_warmup[@]}
((n >= 6)) || fail "only $n samples after the warm-up of ${warmup}s: run longer or sample more often"
mean3() { awk 'BEGIN {s = 0; for (i = 1; i < ARGC; i++) s += ARGV[i]; printf "%d", s / (ARGC - 1)}' "$@"; }
base=$(mean3 "${after_warmup[@]:0:3}")
end=$(mean3 "${after_warmup[@]:n-3:3}")
growth=$((end - base))
peak=$(printf '%s\n' "${samples[@]}" | sort -n | tail -n1)
summary=$(printf 'SOAK: %ds at %d msg/s: rss after %ds warm-up %d kB, at end %d kB, growth %d kB (limit %d kB), peak %d kB; polls ok %d; errors %d (failed requests %d, overlay messages %d)' \
    "$duration" "$rate" "$warmup" "$base" "$end" "$growth" "$limit_kb" "$peak" "$(polls_ok)" \
    "$errors" "$failed" "$warnings")
echo "$summary" | tee -a "$table"
if ((warnings > 0)); then
    h_log "the overlay's messages (first 10):"
    head -n 10 "$H_TMP/app.log"
fi
((growth < limit_kb)) || fail "memory grew by $growth kB after the warm-up (limit $limit_kb kB)"
h_log "PASS (table: $table)"
