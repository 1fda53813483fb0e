# shellcheck shell=bash
# shellcheck disable=SC2034 # variables set here are read by the sourcing scripts
# Helpers for the end-to-end checks, on top of the desktop-test harness: a room service
# (kibchat-sim or faultsrv.py) restartable on one port, the overlay against it, the request
# log read as attempts, resident memory sampled in the background, the event-loop ping and
# the chat area watched for new lines.
#
# Environment from CMake: KIBCHAT_SIM, KIBCHAT_XPING, KIBCHAT_PYTHON3.

E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=SCRIPTDIR/../gui/harness.sh
source "$E_DIR/../gui/harness.sh"

E_SIM=${KIBCHAT_SIM:-}
E_XPING=${KIBCHAT_XPING:-}
E_PY=${KIBCHAT_PYTHON3:-/usr/bin/python3}

# Bounds every scenario checks; why these values: see tests/e2e/README.md.
E_RSS_LIMIT_KB=${E2E_RSS_LIMIT_KB:-256000} # resident memory, whole run
E_PING_MS=${E2E_PING_MS:-1000}             # the window answers an X event within this
E_RESUME_MS=${E2E_RESUME_MS:-2000}         # chat back on screen after the faults stop

E_SVC_PID=""
E_SVC_PORT=0
E_SVC_LOG=""
E_SVC_T0=0
E_RSS_PID=""

# e_begin NAME APP PROBE IMAGES ARTEFACTS: the harness session plus our own tools.
e_begin() {
    h_begin "$@"
    [[ -x "$E_XPING" ]] || fail "ping helper '$E_XPING' not found (KIBCHAT_XPING)"
}

# --- the room service -------------------------------------------------------------------

# Starts a service on E_SVC_PORT (0 the first time: a free port, then the same one so the
# overlay's addresses stay valid), its request log in $H_TMP/requests-TAG.log (shown on
# failure). Sets E_SVC_PID, E_SVC_LOG and E_SVC_T0: the wall clock (ms) taken just before the
# start, so times derived from the log's own clock err on the long side by the service's
# start-up time.
# Usage: e_service TAG sim|faultsrv ARGS...
e_service() {
    local tag=$1 kind=$2
    shift 2
    e_service_stop
    E_SVC_LOG="$H_TMP/requests-$tag.log"
    local t0 try out="$H_TMP/svc-$tag.log"
    # The port was just freed: should binding it fail, try again, a few times.
    for try in 1 2 3 4 5; do
        t0=$(h_now_ms)
        if [[ "$kind" == sim ]]; then
            [[ -x "$E_SIM" ]] || fail "simulator '$E_SIM' not found (KIBCHAT_SIM)"
            h_spawn "svc-$tag" "$E_SIM" --port "$E_SVC_PORT" --log "$E_SVC_LOG" "$@"
        else
            h_spawn "svc-$tag" "$E_PY" "$E_DIR/faultsrv.py" --port "$E_SVC_PORT" --log "$E_SVC_LOG" "$@"
        fi
        E_SVC_PID=$H_LAST_PID
        # shellcheck disable=SC2317 # called through h_poll
        _e_up_or_gone() { grep -qs '^listening' "$out" || ! h_alive "$E_SVC_PID"; }
        h_poll 10 _e_up_or_gone
        grep -qs '^listening' "$out" && break
        h_stop "$E_SVC_PID"
        E_SVC_PID=""
        sleep 0.2
    done
    [[ -n "$E_SVC_PID" ]] || fail "the $kind service ($tag) did not start: $(tail -n 3 "$out")"
    E_SVC_T0=$t0
    E_SVC_PORT=$(sed -n 's/^listening 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$out")
    touch "$E_SVC_LOG"
    export KIBCHAT_ROOMINFO_URL="http://127.0.0.1:$E_SVC_PORT"
    export KIBCHAT_CHAT_URL="http://127.0.0.1:$E_SVC_PORT"
    export KIBCHAT_DOWNLOAD_HOST="127.0.0.1:$E_SVC_PORT"
}

e_service_stop() {
    [[ -n "$E_SVC_PID" ]] && h_stop "$E_SVC_PID"
    E_SVC_PID=""
}

# Lines of the current request log for one kind: poll, lookup, join, catalogue, in the order
# the requests arrived (a huge reply's line is written when its sending ends, with its
# arrival time, so it can follow lines of later requests).
e_requests() {
    local pattern
    case $1 in
    poll) pattern=' /chatroom/msgs/' ;;
    lookup) pattern=' /room/getinfo' ;;
    join) pattern=' /chatroom/joinroom' ;;
    catalogue) pattern=' /item/getallitems' ;;
    *) fail "e_requests: unknown kind $1" ;;
    esac
    grep -F -- "$pattern" "$E_SVC_LOG" | sort -s -n -k1,1
}

# Attempts of one kind, as "MS STATUS" lines: Qt resends a request once when the connection
# closes before any byte of the reply, so a line within 300 ms of a reset of the same target
# is the same attempt. The status is the attempt's last. Only the first LINES requests are
# read when LINES is given.
e_attempts() {
    e_requests "$1" | head -n "${2:-1000000}" | awk '
        { ms = $1; target = $3; status = $4 }
        n && st[n] == "reset" && target == last_target && ms - last_ms < 300 {
            st[n] = status; last_ms = ms; next
        }
        { n++; t[n] = ms; st[n] = status; last_ms = ms; last_target = target }
        END { for (i = 1; i <= n; i++) print t[i], st[i] }'
}

# --- the overlay ------------------------------------------------------------------------

# Starts the overlay in room ROOM against the current service and waits for its window.
# Sets APP_PID, WIN, the window geometry GX GY GW GH and the chat area CX CY CW CH (below
# the 22-pixel title bar and the layout's margins), and starts the memory sampler.
# E_CONFIG_EXTRA: more lines for the settings file; E_KEEP_CONFIG=1: the file as the last
# run left it.
e_start_overlay() {
    if [[ "${E_KEEP_CONFIG:-}" != 1 ]]; then
        printf '[Config]\nroomName=%s\n' "$1" >"$WORKDIR/config.ini"
        [[ -n "${E_CONFIG_EXTRA:-}" ]] && printf '%s\n' "$E_CONFIG_EXTRA" >>"$WORKDIR/config.ini"
    fi
    h_start_app app
    APP_PID=$H_LAST_PID
    h_wait_window "$APP_PID" classname '^kibchat$'
    WIN=$H_WIN
    h_geometry "$WIN"
    CX=$((GX + 6)) CY=$((GY + 28)) CW=$((GW - 12)) CH=$((GH - 34))
    e_rss_start
}

# Samples VmRSS (kB) of the overlay every 100 ms into $H_TMP/rss.txt ("MS KB"); bounded to
# 30 minutes of samples, and stopped by the harness with everything else.
# shellcheck disable=SC2016 # the sampler script expands its own variables
e_rss_start() {
    h_spawn rss-sampler bash -c '
        for ((i = 0; i < 18000; i++)); do
            kb=$(awk "/^VmRSS:/ {print \$2}" /proc/'"$APP_PID"'/status 2>/dev/null) || exit 0
            [[ -n "$kb" ]] || exit 0
            echo "${EPOCHREALTIME/./} $kb"
            sleep 0.1
        done'
    E_RSS_PID=$H_LAST_PID
}

# Peak VmRSS (kB) sampled since wall time FROM_MS (default: the start), until TO_MS if given.
e_rss_peak() {
    awk -v from="${1:-0}" -v to="${2:-0}" '$1 / 1000 >= from && (to == 0 || $1 / 1000 < to) &&
        $2 > max {max = $2} END {print max + 0}' "$H_TMP/rss-sampler.log"
}

# The bound holds for the samples since FROM_MS and for the kernel's own high-water mark
# (VmHWM), which also catches a peak between two samples.
e_rss_check() {
    local peak hwm
    peak=$(e_rss_peak "${2:-0}")
    ((peak > 0)) || fail "no memory sample of the overlay ($1)"
    hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$APP_PID/status" 2>/dev/null)
    ((${hwm:-0} > peak)) && peak=$hwm
    ((peak < E_RSS_LIMIT_KB)) ||
        fail "$1: the overlay's resident memory reached $peak kB (limit $E_RSS_LIMIT_KB kB)"
    E_LAST_PEAK=$peak
}

e_alive() {
    h_alive "$APP_PID" || fail "$1: the overlay (pid $APP_PID) died"
}

# The overlay's GUI thread answers an X client message within E_PING_MS.
e_ping() {
    local out
    out=$("$E_XPING" "$WIN" "$E_PING_MS") ||
        fail "$1: the overlay's window did not answer a ping within $E_PING_MS ms ($out)"
    E_LAST_PING=$out
}

# Alive, answering and within the memory bound; call it often while a fault lasts.
e_healthy() {
    e_alive "$1"
    e_ping "$1"
    e_rss_check "$1"
}

e_grab_chat() { h_grab "$1" "$CX" "$CY" "$CW" "$CH"; }

# Waits until the chat area differs from grab NAME by more than a few pixels (new lines),
# checking health on the way; sets E_CHANGED_MS (wall clock) and returns 1 on timeout.
e_wait_chat_change() {
    local name=$1 seconds=$2 what=$3
    local deadline=$(($(h_now_ms) + seconds * 1000)) diff
    while (($(h_now_ms) < deadline)); do
        e_grab_chat "$name-now"
        diff=$(h_grab_diff "$name" "$name-now")
        if ((${diff:-0} > 20)); then
            E_CHANGED_MS=$(h_now_ms)
            return 0
        fi
        e_alive "$what"
        sleep 0.05
    done
    return 1
}

# Waits up to SECONDS for the first poll that succeeded, checking health on the way.
# Usage: e_wait_first_poll SECONDS WHAT
e_wait_first_poll() {
    local deadline=$(($(h_now_ms) + $1 * 1000))
    # The fault server's lines go on after the status.
    until e_wait_log 1 ' /chatroom/msgs/.* 200( |$)' 0.3; do
        (($(h_now_ms) < deadline)) || fail "$2: no poll succeeded within $1 s"
        e_healthy "$2"
    done
}

# Waits (bounded) until the request log has at least N lines matching the regex.
e_wait_log() {
    local n=$1 regex=$2 seconds=$3
    # shellcheck disable=SC2317 # called through h_poll
    _e_enough() { (($(grep -cE -- "$regex" "$E_SVC_LOG") >= n)); }
    h_poll "$seconds" _e_enough
}

# Checks the spacing of attempts: every gap between consecutive attempts lies in
# [LOW_MS, HIGH_MS]. Reads "MS STATUS" lines (e_attempts) on stdin.
e_check_gaps() {
    local what=$1 low=$2 high=$3
    local gaps
    gaps=$(awk 'NR > 1 {print $1 - prev} {prev = $1}' | tr '\n' ' ')
    [[ -n "$gaps" ]] || fail "$what: fewer than two attempts to measure"
    local g
    for g in $gaps; do
        ((g >= low && g <= high)) ||
            fail "$what: attempts $gaps ms apart; each gap must lie in [$low, $high] ms"
    done
    E_LAST_GAPS=$gaps
}
