#!/usr/bin/env bash
# End-to-end resource use of the overlay: the real kibchat under a private Xvfb + openbox, fed
# by kibchat-sim on 127.0.0.1 at each rate, measured from /proc for a fixed time.
#
#   bench/e2e.sh [--build DIR] [--rates "0 10 100 1000"] [--seconds S] [--warmup W]
#                [--chromium] [--callgrind] [--first-paint N] [--no-trace] [--scale F]
#
# For every rate it prints the overlay's and the X server's CPU use (% of one core, from the
# utime + stime deltas in /proc/PID/stat), the overlay's PSS and RSS when its window appeared
# and at the end (/proc/PID/smaps_rollup), and the messages the simulator served per second
# (from the poll cursors in its --log; about one in twenty is a record that writes no line).
# A second table, from the overlay's event trace (KIBCHAT_TRACE; bench/trace.sh), gives the
# lines it wrote per second and, as median and 99th percentile, the time from a poll reply's
# arrival to the paint that showed its last record (with --next 1 the worker spreads a reply's
# records over about a second, so this is mostly that pacing) and from each record's
# hand-over to the window to the paint that showed it. --no-trace leaves the trace off.
# --chromium also runs bench/reference.html, a page of the same look fed by a timer at the
#   same rate (no network), in Debian's chromium under the same X server (installing the
#   package with apt-get if it is missing), summed over all its processes, and prints both
#   side by side with the ratios.
# --callgrind instead runs the overlay under callgrind at each rate above 0, lets it drain
#   once the simulator stops, and prints the instructions per message served beyond those
#   of a run at rate 0 (a rough figure: start-up and idle work differ a little between runs).
# --first-paint N instead times start to first paint (bench/first_paint.cpp: the first frame
#   that is not one colour and is at least half black, the look of both) of the overlay, with
#   the simulator at the first of --rates, and of bench/reference.html in chromium: one untimed
#   run of each, N runs of each with warm caches, then, when root may drop the page cache,
#   N of each with the cache dropped before every run. Prints the medians and the ratios.
# --scale F sets Xft.dpi to 96 x F on the X session (1.5 for 150 %, 2 for 200 %), which the
#   overlay scales by (and chromium too); without it the session has no Xft.dpi, as at 100 %.
# Every process is stopped by its own PID and every wait has a deadline.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
rates="0 10 100 1000"
seconds=20
warmup=5
chromium=0
callgrind=0
first_paint=0
trace=1
scale=""
while (($#)); do
    case $1 in
    --build) build=$(cd "$2" && pwd) && shift ;;
    --rates) rates=$2 && shift ;;
    --seconds) seconds=$2 && shift ;;
    --warmup) warmup=$2 && shift ;;
    --chromium) chromium=1 ;;
    --callgrind) callgrind=1 ;;
    --first-paint) first_paint=$2 && chromium=1 && shift ;;
    --no-trace) trace=0 ;;
    --scale) scale=$2 && shift ;;
    -h | --help)
        awk 'NR > 1 && !/^#/ {exit} NR > 1' "$0"
        exit 0
        ;;
    *)
        echo "unknown option: $1" >&2
        exit 2
        ;;
    esac
    shift
done

app="$build/app/kibchat"
sim="$build/sim/kibchat-sim"
for f in "$app" "$sim"; do
    [[ -x "$f" ]] || { echo "missing $f: build first (tools/build.sh)" >&2 && exit 1; }
done
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (tools/install-deps.sh)" >&2 && exit 1; }
done
if [[ ! "$first_paint" =~ ^[0-9]+$ ]] || ((first_paint > 100)); then
    echo "--first-paint takes a count from 1 to 100" >&2
    exit 2
fi
probe="$build/bench/kibchat-first-paint"
if ((first_paint)) && [[ ! -x "$probe" ]]; then
    echo "missing $probe: build with -DKIBCHAT_BENCH=ON (needs libxdamage-dev)" >&2
    exit 1
fi
if ((callgrind)) && ! command -v valgrind >/dev/null; then
    echo "missing valgrind: apt-get install valgrind" >&2
    exit 1
fi
browser=""
if ((chromium)); then
    if ! command -v chromium >/dev/null; then
        echo "chromium is not installed: installing Debian's package with apt-get" >&2
        sudo_cmd=()
        ((EUID == 0)) || sudo_cmd=(sudo)
        "${sudo_cmd[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq chromium >/dev/null
    fi
    browser=$(command -v chromium)
fi
# shellcheck disable=SC2054 # the commas are inside the values
chromium_flags=(--no-sandbox --disable-gpu --disable-background-networking
    --disable-component-update --disable-sync --no-first-run
    --window-position=900,100 --window-size=300,400)

scratch=$(mktemp -d)
pids=()

# Stops one process by its PID: TERM, up to `grace` seconds, then KILL.
stop_pid() {
    local pid=$1 grace=${2:-5} deadline
    kill -TERM "$pid" 2>/dev/null || return 0
    deadline=$(($(xs_now_ms) + grace * 1000))
    while kill -0 "$pid" 2>/dev/null && (($(xs_now_ms) < deadline)); do sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
    # The braces keep the shell's own note of how the process ended out of the output.
    { wait "$pid"; } 2>/dev/null || true
}

# The private X session (xs_start, xs_stop, xs_poll, xs_now_ms) and the simulator's start.
# shellcheck source=tools/simulator.sh
source "$root/tools/simulator.sh"
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_pid "${pids[i]}" 2; done
    xs_stop
    rm -rf "$scratch"
}
trap cleanup EXIT

# CPU and memory of processes and process trees, from /proc.
# shellcheck source=bench/proc.sh
source "$root/bench/proc.sh"
# shellcheck source=bench/trace.sh
source "$root/bench/trace.sh"

# ---- the display ----
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
XS_LOG_DIR=$scratch
xs_start || { echo "$XS_ERROR" >&2 && exit 1; }
xvfb=$XS_XVFB_PID
if [[ -n "$scale" ]]; then
    dpi=$(awk -v f="$scale" 'BEGIN { if (f > 0 && f <= 4) printf "%d", 96 * f + 0.5 }')
    [[ -n "$dpi" ]] || { echo "--scale takes a factor above 0, at most 4" >&2 && exit 2; }
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi"$'\n'
    echo "Xft.dpi $dpi (scale $scale)"
fi

# ---- one overlay run ----
# Sets: o_cpu x_cpu pss0 rss0 pss1 rss1 served (messages per second), and `timing` (the
# line trace_stats prints for the measured time, or dashes without a trace)
sim_pid=""
start_sim() {
    local rate=$1 log=$2
    sim_start "$log.out" "$sim" --rate "$rate" --next 1 --seed 1 --log "$log" ||
        { echo "$SIM_ERROR" >&2 && exit 1; }
    sim_pid=$SIM_PID
    pids+=("$sim_pid")
    address=$SIM_ADDRESS
}

# Messages served between two times (ms since the simulator started), from the cursors of
# the polls in its log: each poll names the id of the newest message the one before got.
served_between() {
    awk -v from="$2" -v to="$3" '
        $3 ~ /^\/chatroom\/msgs\// {
            split($3, part, "/"); cursor = part[5] + 0
            if ($1 <= from) first = cursor
            if ($1 <= to) last = cursor
        }
        END {print (last > first ? last - first : 0)}' "$1"
}

prepare_workdir() {
    local dir=$1
    mkdir -p "$dir"
    ln -sfn "$root/images" "$dir/images"
    printf '[Config]\nroomName=bench\n' >"$dir/config.ini"
}

window_up() { xdotool search --onlyvisible "$1" "$2" >/dev/null 2>&1; }

run_overlay() {
    local rate=$1 work="$scratch/overlay-$1" log="$scratch/sim-$1.log" t_sim app_pid
    local trace_file=""
    ((trace)) && trace_file="$scratch/trace-$rate"
    prepare_workdir "$work"
    start_sim "$rate" "$log"
    t_sim=$(xs_now_ms)
    (cd "$work" && KIBCHAT_ROOMINFO_URL="http://$address" KIBCHAT_CHAT_URL="http://$address" \
        KIBCHAT_DOWNLOAD_HOST="$address" KIBCHAT_TRACE="$trace_file" \
        exec "$app" >"$scratch/app-$rate.log" 2>&1) &
    app_pid=$!
    pids+=("$app_pid")
    xs_poll 20 window_up --classname kibchat || { echo "no overlay window at rate $rate" >&2 && exit 1; }
    read -r pss0 rss0 < <(mem_kb "$app_pid")
    sleep "$warmup"
    local a0 x0 t0 a1 x1 t1
    a0=$(ticks "$app_pid") x0=$(ticks "$xvfb") t0=$(xs_now_ms)
    sleep "$seconds"
    a1=$(ticks "$app_pid") x1=$(ticks "$xvfb") t1=$(xs_now_ms)
    read -r pss1 rss1 < <(mem_kb "$app_pid")
    o_cpu=$(pct $((a1 - a0)) $((t1 - t0)))
    x_cpu=$(pct $((x1 - x0)) $((t1 - t0)))
    served=$(served_between "$log" $((t0 - t_sim)) $((t1 - t_sim)))
    served=$(awk -v n="$served" -v ms=$((t1 - t0)) 'BEGIN {printf "%.0f", n * 1000 / ms}')
    kill -0 "$app_pid" 2>/dev/null || { echo "the overlay died at rate $rate" >&2 && exit 1; }
    stop_pid "$app_pid" # it writes out its trace as it ends
    stop_pid "$sim_pid"
    timing="- - - - - - -"
    if [[ -s "$trace_file" ]]; then
        timing=$(trace_stats "$trace_file" $((t0 * 1000)) $((t1 * 1000)))
    fi
}

# ---- one browser run ----
# Sets: c_cpu cx_cpu cpss cpss_start crss crss_start
run_chromium() {
    local rate=$1 profile="$scratch/chromium-$1" c_pid list0 list1 c0 x0 t0 c1 x1 t1
    mkdir -p "$profile"
    "$browser" "${chromium_flags[@]}" --user-data-dir="$profile" \
        --app="file://$root/bench/reference.html?rate=$rate" >"$scratch/chromium-$rate.log" 2>&1 &
    c_pid=$!
    pids+=("$c_pid")
    xs_poll 30 window_up --class chromium || { echo "no chromium window at rate $rate" >&2 && exit 1; }
    sleep 1
    mapfile -t list0 < <(tree "$c_pid")
    read -r cpss_start crss_start < <(sum_mem "${list0[@]}")
    sleep "$warmup"
    mapfile -t list0 < <(tree "$c_pid")
    c0=$(sum_ticks "${list0[@]}") x0=$(ticks "$xvfb") t0=$(xs_now_ms)
    sleep "$seconds"
    # Processes that ended meanwhile drop out of the sum: the figure is a lower bound then.
    c1=$(sum_ticks "${list0[@]}") x1=$(ticks "$xvfb") t1=$(xs_now_ms)
    mapfile -t list1 < <(tree "$c_pid")
    read -r cpss crss < <(sum_mem "${list1[@]}")
    c_cpu=$(pct $((c1 - c0)) $((t1 - t0)))
    cx_cpu=$(pct $((x1 - x0)) $((t1 - t0)))
    local pid
    for pid in $(printf '%s\n' "${list1[@]}" | sort -rn); do
        [[ "$pid" == "$c_pid" ]] || stop_pid "$pid" 2
    done
    stop_pid "$c_pid"
}

# ---- callgrind ----
# Instructions of the overlay over a run at `rate`; sets: ir served_total
run_callgrind() {
    local rate=$1 work="$scratch/cg-$1" log="$scratch/cg-sim-$1.log" out="$scratch/cg-$1.out"
    local app_pid quiet last now
    prepare_workdir "$work"
    start_sim "$rate" "$log"
    (cd "$work" && KIBCHAT_ROOMINFO_URL="http://$address" KIBCHAT_CHAT_URL="http://$address" \
        KIBCHAT_DOWNLOAD_HOST="$address" exec valgrind --tool=callgrind \
        --callgrind-out-file="$out" "$app" >"$scratch/cg-app-$rate.log" 2>&1) &
    app_pid=$!
    pids+=("$app_pid")
    xs_poll 180 window_up --classname kibchat || { echo "no overlay window under callgrind" >&2 && exit 1; }
    sleep "$seconds"
    stop_pid "$sim_pid"
    served_total=$(served_between "$log" 0 999999999)
    # Drained once it uses less than a tenth of a core for three seconds in a row.
    quiet=0
    last=$(ticks "$app_pid")
    for _ in $(seq 300); do
        sleep 1
        now=$(ticks "$app_pid")
        if ((now - last < clk_tck / 10)); then quiet=$((quiet + 1)); else quiet=0; fi
        last=$now
        ((quiet < 3)) || break
    done
    stop_pid "$app_pid" 120
    ir=$(awk '/^(summary|totals):/ {print $2; exit}' "$out" 2>/dev/null || true)
    [[ -n "$ir" ]] || { echo "callgrind wrote no totals at rate $rate" >&2 && exit 1; }
}

echo "machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' \
    /proc/meminfo), $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n1)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
((first_paint)) ||
    echo "overlay: $app; ${seconds}s measured after ${warmup}s of warm-up at each rate"

# ---- start to first paint ----
# Milliseconds to the overlay's first paint, on stdout.
fp_overlay() {
    local work="$scratch/fp-overlay"
    prepare_workdir "$work" # the same settings every run: the last one saved its own on exit
    (cd "$work" && KIBCHAT_ROOMINFO_URL="http://$address" KIBCHAT_CHAT_URL="http://$address" \
        KIBCHAT_DOWNLOAD_HOST="$address" exec "$probe" --class kibchat --background 000000 \
        --timeout 30 -- "$app" 2>>"$scratch/fp-overlay.log")
}

# Milliseconds to the reference page's first paint, on stdout. The profile is kept between
# runs, as a user's would be; the untimed first run creates it.
fp_chromium() {
    "$probe" --class chromium --background 000000 --timeout 30 -- "$browser" \
        "${chromium_flags[@]}" --user-data-dir="$scratch/fp-chromium" \
        --app="file://$root/bench/reference.html?rate=$fp_rate" 2>>"$scratch/fp-chromium.log"
}

drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }

median() {
    sort -n | awk '{v[NR] = $1} END {
        if (NR == 0) print "-"
        else if (NR % 2) printf "%.0f", v[(NR + 1) / 2]
        else printf "%.0f", (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# The scratch folder goes at exit: the end of the log is shown instead.
fp_failed() {
    echo "$1: no first paint; the end of its log:" >&2
    tail -n 5 "$scratch/fp-$1.log" >&2
    exit 1
}

# Times `count` runs of the overlay and of the page, alternating; `cold` drops the page cache
# before each. Sets: ov_runs chr_runs (one figure a line).
fp_series() {
    local count=$1 cold=$2 i ms
    ov_runs="" chr_runs=""
    for ((i = 0; i < count; i++)); do
        ((cold)) && drop_caches
        ms=$(fp_overlay) || fp_failed overlay
        ov_runs+="$ms"$'\n'
        ((cold)) && drop_caches
        ms=$(fp_chromium) || fp_failed chromium
        chr_runs+="$ms"$'\n'
    done
}

fp_row() {
    local label=$1 ov chr
    ov=$(printf '%s' "$ov_runs" | median)
    chr=$(printf '%s' "$chr_runs" | median)
    printf '%-6s | %8s %9s | %6s | %s / %s\n' "$label" "$ov" "$chr" "$(ratio "$chr" "$ov")" \
        "$(printf '%s' "$ov_runs" | sort -n | paste -sd' ')" \
        "$(printf '%s' "$chr_runs" | sort -n | paste -sd' ')"
}

if ((first_paint)); then
    fp_rate=${rates%% *}
    start_sim "$fp_rate" "$scratch/fp-sim.log"
    can_drop=0
    if ((EUID == 0)) && [[ -w /proc/sys/vm/drop_caches ]] && drop_caches 2>/dev/null; then
        can_drop=1
    fi
    echo "start to first paint, $first_paint runs each;" \
        "overlay fed at $fp_rate/s, page rate=$fp_rate"
    printf '%-6s | %8s %9s | %6s | %s\n' caches overlay chromium chr/ov \
        "runs, sorted (overlay / chromium)"
    printf '%-6s | %8s %9s | %6s |\n' "" median median ""
    fp_series 1 0 # untimed: fills the caches and creates the browser profile
    fp_series "$first_paint" 0
    fp_row warm
    if ((can_drop)); then
        fp_series "$first_paint" 1
        fp_row cold
    else
        echo "cold: skipped (needs root and a writable /proc/sys/vm/drop_caches)"
    fi
    echo "target: overlay at most a quarter of chromium (chr/ov >= 4.0x)"
    echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit 0
fi

if ((callgrind)); then
    run_callgrind 0
    idle_ir=$ir
    printf '%-6s %14s %10s %16s\n' rate instructions messages "instr/message"
    printf '%-6s %14s %10s %16s\n' 0 "$idle_ir" 0 -
    for rate in $rates; do
        ((rate > 0)) || continue
        run_callgrind "$rate"
        per=$(awk -v a="$ir" -v b="$idle_ir" -v n="$served_total" \
            'BEGIN {if (n > 0) printf "%.0f", (a - b) / n; else print "-"}')
        printf '%-6s %14s %10s %16s\n' "$rate" "$ir" "$served_total" "$per"
    done
    exit 0
fi

if ((chromium)); then
    printf '%-5s | %7s %7s %6s | %6s %6s | %11s %11s %6s | %11s %11s | %6s\n' \
        rate cpu chr-cpu ratio "X(ov)" "X(chr)" pss chr-pss ratio rss chr-rss "msg/s"
    printf '%-5s | %7s %7s %6s | %6s %6s | %11s %11s %6s | %11s %11s | %6s\n' \
        "/s" "%core" "%core" "" "%core" "%core" "MB start/end" "MB" "" "MB" "MB" ""
else
    printf '%-5s | %8s | %7s | %9s %9s | %9s %9s | %6s\n' \
        rate cpu "X cpu" pss-start pss-end rss-start rss-end "msg/s"
    printf '%-5s | %8s | %7s | %9s %9s | %9s %9s | %6s\n' \
        "/s" "%core" "%core" MB MB MB MB ""
fi
timings=()
for rate in $rates; do
    run_overlay "$rate"
    timings+=("$rate $timing")
    if ((chromium)); then
        run_chromium "$rate"
        printf '%-5s | %7s %7s %6s | %6s %6s | %11s %11s %6s | %11s %11s | %6s\n' \
            "$rate" "$o_cpu" "$c_cpu" "$(ratio "$c_cpu" "$o_cpu")" "$x_cpu" "$cx_cpu" \
            "$(mb "$pss0")/$(mb "$pss1")" "$(mb "$cpss_start")/$(mb "$cpss")" \
            "$(ratio "$cpss" "$pss1")" "$(mb "$rss0")/$(mb "$rss1")" \
            "$(mb "$crss_start")/$(mb "$crss")" "$served"
    else
        printf '%-5s | %8s | %7s | %9s %9s | %9s %9s | %6s\n' "$rate" "$o_cpu" "$x_cpu" \
            "$(mb "$pss0")" "$(mb "$pss1")" "$(mb "$rss0")" "$(mb "$rss1")" "$served"
    fi
done
if ((trace)); then
    echo
    echo "overlay timing (ms; median / 99th percentile, and how many were measured):"
    printf '%-5s | %7s | %-26s | %-26s
' rate lines/s "poll reply -> last painted" \
        "record handed over -> painted"
    for row in "${timings[@]}"; do
        read -r rate lines n_rep rep_med rep_p99 n_rec rec_med rec_p99 <<<"$row"
        printf '%-5s | %7s | %8s %8s %8s | %8s %8s %8s\n' "$rate" "$lines" "$rep_med" "$rep_p99" \
            "($n_rep)" "$rec_med" "$rec_p99" "($n_rec)"
    done
fi
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
