#!/usr/bin/env bash
# The overlay against one of kibchat-sim's transport faults. Fault rules cover the first N
# requests of their kind, so each fault stops by itself. Phases:
#   startup    lookup, join and catalogue fail a few times (500, resets, empty body) first
#   reset | status500 | status404 | empty | invalid | types | slow
#              chat flows, then the simulator restarts on the same port with the fault on
#              its first polls
#   empty-first  the overlay's very first polls get empty bodies
#   hang | stall polls read and never answered (six: over a minute, memory must stay flat),
#              or cut off after half the body; each is given up after 10 s
#   startup-hang the first lookup and the first catalogue request are never answered
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
# A request that gets no byte is given up 10 s after it was sent, then the same pause.
HELD_MS=10000
HELD_LOW=$((HELD_MS + GAP_LOW))
HELD_HIGH=$((HELD_MS + GAP_HIGH))
# Memory growth allowed between the first and the second half of a minute of held requests.
E_FLAT_KB=${E2E_FLAT_KB:-2048}

startup_phase() {
    e_service startup sim --rate 20 --next 1 --seed 5 \
        --fault lookup=500,first=3 --fault join=reset,first=4 --fault catalogue=empty,first=3
    e_start_overlay e2e-room
    e_wait_first_poll 20 startup
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
    local deadline=$((t_phase + 30000 + lines * slow))
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
    # A minute or more of given-up requests: what they held is freed, so memory stays flat.
    if ((lines * slow >= 60000)); then
        local t_last=$((E_SVC_T0 + last_fault_ms)) early late
        early=$(e_rss_peak "$t_phase" $(((t_phase + t_last) / 2)))
        late=$(e_rss_peak $(((t_phase + t_last) / 2)) "$t_last")
        ((late - early <= E_FLAT_KB)) ||
            fail "$name: resident memory grew from $early to $late kB over the given-up requests (limit $E_FLAT_KB kB)"
        h_log "$name: resident memory over the given-up requests: first half peak $early kB, second half $late kB"
    fi
    h_log "$name: $attempts faulty attempts, gaps ${E_LAST_GAPS}ms; next poll ${ok_after} ms and new lines ${resume} ms after $note; ping ${E_LAST_PING} ms; peak rss $(e_rss_peak "$t_phase") kB"
}

# The lookup and then the catalogue are read and never answered once each at start: each is
# given up after the bound and sent again after the pause, and chat begins.
startup_hang_phase() {
    e_service startup-hang sim --rate 20 --next 1 --seed 5 \
        --fault lookup=hang,first=1 --fault catalogue=hang,first=1
    e_start_overlay e2e-room
    e_wait_first_poll 40 startup-hang
    local kind
    for kind in lookup catalogue; do
        [[ "$(e_attempts "$kind" 1)" == *' hang' ]] || fail "startup-hang: the first $kind was not held"
        e_check_gaps "startup-hang: $kind" "$HELD_LOW" "$HELD_HIGH" <<<"$(e_attempts "$kind" 2)"
        h_log "startup-hang: the held $kind was sent again ${E_LAST_GAPS}ms after it"
    done
    e_grab_chat startup-hang-before
    e_wait_chat_change startup-hang-before 5 startup-hang || fail "startup-hang: no chat lines reached the screen"
    e_healthy startup-hang
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
# Read and never answered, or answered with half a body and then nothing: given up each time.
hang) poll_phase hang hang 6 "$HELD_LOW" "$HELD_HIGH" "$HELD_MS" ;;
stall) poll_phase stall stall 2 "$HELD_LOW" "$HELD_HIGH" "$HELD_MS" ;;
startup-hang) startup_hang_phase ;;
*) fail "unknown phase '$PHASE' (startup reset status500 status404 empty invalid types empty-first slow hang stall startup-hang)" ;;
esac

e_rss_check "whole run"
h_log "peak resident memory: $E_LAST_PEAK kB (limit $E_RSS_LIMIT_KB kB)"
h_log "PASS"
