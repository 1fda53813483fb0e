#!/usr/bin/env bash
# The overlay against kibchat-sim's transport faults, one phase per fault, all in one overlay
# session: the simulator is restarted on the same port with the next fault rule. Each rule
# covers the first N requests of its kind, so the fault stops by itself. For every phase:
# the overlay stays alive, its window answers a ping within a second, its memory stays under
# the bound, failed attempts come about one a second (Qt's own resend after a reset counts
# with its attempt), and after the fault stops a poll succeeds and new lines reach the screen
# within two seconds.
# Usage: faults_transport.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR
#        (KIBCHAT_SIM, KIBCHAT_XPING from the environment)

source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e_begin faults_transport "$@"

# Failed attempts are one pause (1 s) plus a loopback round trip apart.
GAP_LOW=900
GAP_HIGH=1600

# --- start-up: every request of the start chain fails a few times first -----------------
e_service startup sim --rate 20 --next 1 \
    --fault lookup=500,first=3 --fault join=reset,first=4 --fault catalogue=empty,first=3
e_start_overlay e2e-room
e_wait_log 1 ' /chatroom/msgs/.* 200$' 15 || fail "startup: no poll succeeded within 15 s"
e_healthy startup
for kind in lookup join catalogue; do
    attempts=$(e_attempts "$kind")
    failed=$(grep -vc ' 200$' <<<"$attempts")
    case $kind in
    lookup | catalogue) want=3 ;;
    join) want=2 ;; # four resets: each attempt is two requests
    esac
    ((failed == want)) || fail "startup: $failed failed $kind attempts, expected $want: $attempts"
    e_check_gaps "startup $kind retries" "$GAP_LOW" "$GAP_HIGH" <<<"$(head -n $((want + 1)) <<<"$attempts")"
    h_log "startup: $kind failed $want times, retries ${E_LAST_GAPS}ms apart"
done
e_grab_chat startup-before
e_wait_chat_change startup-before 5 startup || fail "startup: no chat lines reached the screen"
h_log "startup: chat on screen; ping ${E_LAST_PING} ms, peak rss ${E_LAST_PEAK} kB"

# poll_phase NAME FAULT LINES ATTEMPTS GAP_LOW GAP_HIGH [SLOW_MS]
# The first LINES poll requests get FAULT; they make ATTEMPTS attempts, GAP_LOW..GAP_HIGH ms
# apart. SLOW_MS: the faulty replies end that long after their request arrived.
poll_phase() {
    local name=$1 fault=$2 lines=$3 want=$4 low=$5 high=$6 slow=${7:-0}
    local t_phase
    t_phase=$(h_now_ms)
    e_service "$name" sim --rate 20 --next 1 --fault "poll=$fault,first=$lines"
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
    e_wait_chat_change "$name-stopped" $((4 + slow / 1000)) "$name" ||
        fail "$name: no new chat lines on screen within $((4 + slow / 1000)) s of the last faulty poll"
    local resume=$((E_CHANGED_MS - fault_end_wall))
    ((resume <= E_RESUME_MS)) ||
        fail "$name: new lines reached the screen $resume ms after the faults stopped (limit $E_RESUME_MS)"
    e_wait_log $((lines + 1)) ' /chatroom/msgs/' 5 || fail "$name: no poll after the faulty ones"
    local first_ok
    first_ok=$(e_requests poll | sed -n "$((lines + 1))p")
    [[ "$first_ok" == *' 200' ]] || fail "$name: the first poll after the faults did not succeed: $first_ok"
    local ok_after=$((${first_ok%% *} - last_fault_ms - slow))
    ((ok_after <= E_RESUME_MS)) ||
        fail "$name: the next poll came $ok_after ms after the faults stopped (limit $E_RESUME_MS)"
    local attempts
    attempts=$(e_attempts poll | head -n $((want + 1)))
    e_check_gaps "$name: poll attempts" "$low" "$high" <<<"$attempts"
    (($(e_attempts poll | wc -l) >= want + 1)) || fail "$name: fewer attempts than expected"
    local others
    others=$(grep -cvF ' /chatroom/msgs/' "$E_SVC_LOG")
    ((others <= 2)) || fail "$name: $others other requests while only polls should run"
    e_healthy "$name"
    h_log "$name: $want attempts ${E_LAST_GAPS}ms apart; next poll ${ok_after} ms and new lines ${resume} ms after the fault; ping ${E_LAST_PING} ms; peak rss $(e_rss_peak "$t_phase") kB"
}

poll_phase reset reset 8 4 "$GAP_LOW" "$GAP_HIGH"
poll_phase status500 500 4 4 "$GAP_LOW" "$GAP_HIGH"
poll_phase status404 404 3 3 "$GAP_LOW" "$GAP_HIGH"
poll_phase empty empty 4 4 "$GAP_LOW" "$GAP_HIGH"
poll_phase invalid invalid 4 4 "$GAP_LOW" "$GAP_HIGH"
poll_phase types types 4 4 "$GAP_LOW" "$GAP_HIGH"
# Slower than the poll delay: one request at a time, the next one a second after each reply.
poll_phase slow slow:2500 3 3 3400 4200 2500

e_rss_check "whole run"
h_log "peak resident memory over the run: $E_LAST_PEAK kB (limit $E_RSS_LIMIT_KB kB)"
h_log "PASS"
