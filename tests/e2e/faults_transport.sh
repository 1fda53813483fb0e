#!/usr/bin/env bash
# The overlay against one of kibchat-sim's transport faults. Fault rules cover the first N
# requests of their kind, so each fault stops by itself. Phases:
#   startup    lookup, join and catalogue fail a few times (500, resets, empty body) first
#   reset | status500 | status404 | empty | invalid | types | slow
#              chat flows, then the simulator restarts on the same port with the fault on
#              its first polls
#   empty-first  the overlay's very first polls get empty bodies
# Checked throughout: the overlay stays alive, its window answers a ping within a second,
# its memory stays under the bound. Checked after: failed attempts came about one a second
# (Qt's own resend after a reset counts with its attempt), only the failing chain sent
# requests, and after the fault stopped a poll succeeded and new lines reached the screen
# within two seconds.
# Usage: faults_transport.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR PHASE
#        (KIBCHAT_SIM, KIBCHAT_XPING from the environment)

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
PHASE=${5:-}
e_begin "transport_${PHASE:-none}" "${@:1:4}"

# Failed attempts are one pause (1 s) plus a loopback round trip apart.
GAP_LOW=900
GAP_HIGH=1600

startup_phase() {
    e_service startup sim --rate 20 --next 1 --seed 5 \
        --fault lookup=500,first=3 --fault join=reset,first=4 --fault catalogue=empty,first=3
    e_start_overlay e2e-room
    local deadline=$(($(h_now_ms) + 20000))
    until e_wait_log 1 ' /chatroom/msgs/.* 200$' 0.3; do
        (($(h_now_ms) < deadline)) || fail "startup: no poll succeeded within 20 s"
        e_healthy startup
    done
    # Lookup, join and catalogue fail 3, 4 and 3 times (Qt may resend a reset at once, so
    # four resets are two to four attempts; "empty" is logged with status 200).
    local -A faulty=([lookup]=3 [join]=4 [catalogue]=3)
    local kind n failed
    for kind in lookup join catalogue; do
        n=${faulty[$kind]}
        failed=$(e_attempts "$kind" "$n" | wc -l)
        ((failed >= 2)) || fail "startup: $n faulty $kind requests were only $failed attempt(s)"
        e_check_gaps "startup: $kind retries" "$GAP_LOW" "$GAP_HIGH" <<<"$(e_attempts "$kind" $((n + 1)))"
        h_log "startup: $kind failed $failed times, retries ${E_LAST_GAPS}ms apart"
    done
    e_grab_chat startup-before
    e_wait_chat_change startup-before 5 startup || fail "startup: no chat lines reached the screen"
    e_healthy startup
    h_log "startup: chat on screen; ping ${E_LAST_PING} ms; peak rss ${E_LAST_PEAK} kB"
    # The ping is not blind: a stopped overlay does not answer it, and answers once resumed.
    kill -STOP "$APP_PID"
    "$E_XPING" "$WIN" "$E_PING_MS" >/dev/null && fail "startup: a stopped overlay answered the ping"
    kill -CONT "$APP_PID"
    e_ping "startup (resumed)"
    h_log "startup: a stopped overlay gave no answer in $E_PING_MS ms; resumed, it answered in ${E_LAST_PING} ms"
}

# poll_phase NAME FAULT LINES GAP_LOW GAP_HIGH [SLOW_MS]
# The first LINES poll requests get FAULT; their attempts and the next one must lie
# GAP_LOW..GAP_HIGH ms apart. SLOW_MS: the faulty replies end that long after their request
# arrived.
poll_phase() {
    local name=$1 fault=$2 lines=$3 low=$4 high=$5 slow=${6:-0}
    local t_phase
    if [[ "$name" == *-first ]]; then
        # The very first polls fail: no reply has set a poll delay yet.
        t_phase=$(h_now_ms)
        e_service "$name" sim --rate 50 --next 1 --seed 6 --fault "poll=$fault,first=$lines"
        e_start_overlay e2e-room
    else
        # Chat flows first, so the fault interrupts a running poll chain.
        e_service normal sim --rate 50 --next 1 --seed 5
        e_start_overlay e2e-room
        e_wait_log 2 ' /chatroom/msgs/.* 200$' 15 || fail "$name: chat did not start"
        t_phase=$(h_now_ms)
        e_service "$name" sim --rate 50 --next 1 --seed 6 --fault "poll=$fault,first=$lines"
    fi
    # While the fault lasts: alive, answering, bounded memory.
    local deadline=$((t_phase + 30000))
    while (($(e_requests poll | wc -l) < lines)); do
        (($(h_now_ms) < deadline)) || fail "$name: only $(e_requests poll | wc -l) of $lines faulty polls in 30 s"
        e_healthy "$name"
        sleep 0.2
    done
    e_grab_chat "$name-stopped"
    local last_fault_ms fault_end_wall
    last_fault_ms=$(e_requests poll | sed -n "${lines}p" | cut -d' ' -f1)
    fault_end_wall=$((E_SVC_T0 + last_fault_ms + slow))
    e_wait_chat_change "$name-stopped" $((5 + slow / 1000)) "$name" ||
        fail "$name: no new chat lines on screen within $((5 + slow / 1000)) s of the last faulty poll"
    e_wait_log $((lines + 2)) ' /chatroom/msgs/' 5 || fail "$name: fewer than two polls after the faulty ones"
    local first_ok second
    first_ok=$(e_requests poll | sed -n "$((lines + 1))p")
    second=$(e_requests poll | sed -n "$((lines + 2))p")
    [[ "$first_ok" == *' 200' ]] || fail "$name: the first poll after the faults did not succeed: $first_ok"
    local ok_after=$((${first_ok%% *} - last_fault_ms - slow))
    ((ok_after <= E_RESUME_MS)) ||
        fail "$name: the next poll came $ok_after ms after the faults stopped (limit $E_RESUME_MS)"
    # The restarted simulator's room has its own history, so the first reply can hold
    # nothing new when the overlay's cursor is its newest id; the next request then repeats
    # the cursor, and the lines are due after the first reply that had some.
    local since=$fault_end_wall note="the faults stopped"
    if [[ "$(cut -d/ -f5 <<<"$first_ok")" == "$(cut -d/ -f5 <<<"$second")" ]]; then
        since=$((E_SVC_T0 + ${second%% *}))
        note="the first poll with new messages (the one before had none)"
    fi
    local resume=$((E_CHANGED_MS - since))
    ((resume <= E_RESUME_MS)) ||
        fail "$name: new lines reached the screen $resume ms after $note (limit $E_RESUME_MS)"
    local attempts
    attempts=$(e_attempts poll "$lines" | wc -l)
    ((attempts >= 2)) || fail "$name: $lines faulty polls were only $attempts attempt(s)"
    e_check_gaps "$name: poll attempts" "$low" "$high" <<<"$(e_attempts poll $((lines + 1)))"
    # Only the poll chain was interrupted: at most the minute's count refresh besides, once
    # polling has begun.
    local others
    others=$(awk '/ \/chatroom\/msgs\// {polling = 1; next} polling' "$E_SVC_LOG" | grep -c .)
    ((others <= 2)) || fail "$name: $others requests other than polls during a poll fault"
    e_healthy "$name"
    h_log "$name: $attempts faulty attempts, gaps ${E_LAST_GAPS}ms; next poll ${ok_after} ms and new lines ${resume} ms after $note; ping ${E_LAST_PING} ms; peak rss $(e_rss_peak "$t_phase") kB"
}

case $PHASE in
startup) startup_phase ;;
reset) poll_phase reset reset 6 "$GAP_LOW" "$GAP_HIGH" ;;
status500) poll_phase status500 500 4 "$GAP_LOW" "$GAP_HIGH" ;;
status404) poll_phase status404 404 3 "$GAP_LOW" "$GAP_HIGH" ;;
empty) poll_phase empty empty 4 "$GAP_LOW" "$GAP_HIGH" ;;
invalid) poll_phase invalid invalid 4 "$GAP_LOW" "$GAP_HIGH" ;;
types) poll_phase types types 4 "$GAP_LOW" "$GAP_HIGH" ;;
empty-first) poll_phase empty-first empty 4 "$GAP_LOW" "$GAP_HIGH" ;;
# Slower than the poll delay: one request at a time, the next a second after each reply.
slow) poll_phase slow slow:2500 3 3400 4200 2500 ;;
*) fail "unknown phase '$PHASE' (startup reset status500 status404 empty invalid types empty-first slow)" ;;
esac

e_rss_check "whole run"
h_log "peak resident memory: $E_LAST_PEAK kB (limit $E_RSS_LIMIT_KB kB)"
h_log "PASS"
