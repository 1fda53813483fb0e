#!/usr/bin/env bash
# A poll reply asking for a delay of 2^31-1 seconds: the overlay takes it as 30 s (the next
# poll comes 29..32.5 s later and asks next=30), stays alive and answering meanwhile, keeps
# showing the reply's lines paced over those 30 s, and a SIGTERM during a second such wait
# still ends it at once (status 0, settings written).
# Usage: faults_next_max.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR
#        (KIBCHAT_XPING, KIBCHAT_PYTHON3 from the environment)

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e_begin faults_next_max "$@"

e_service normal faultsrv --rate 20
e_start_overlay e2e-room
e_wait_log 2 ' /chatroom/msgs/.* 200' 15 || fail "chat did not start"
e_service next-max faultsrv --rate 20 --fault "poll=next:2147483647,first=2"
e_wait_log 1 ' /chatroom/msgs/' 10 || fail "no poll reached the server"
first=$(e_requests poll | head -n1)
[[ "$first" == *' next=2147483647 '* ]] || fail "the first poll did not get the huge delay: $first"

# The wait: ping and memory twice a second, and the paced lines keep changing the screen.
e_grab_chat paced-0
changes=0
deadline=$(($(h_now_ms) + 33000))
while (($(e_requests poll | wc -l) < 2)); do
    (($(h_now_ms) < deadline)) || fail "no second poll within 33 s of a reply with next=2^31-1"
    e_healthy "waiting 30 s"
    e_grab_chat paced-1
    if (($(h_grab_diff paced-0 paced-1) > 20)); then
        changes=$((changes + 1))
        cp "$H_TMP/paced-1.png" "$H_TMP/paced-0.png"
    fi
    sleep 0.5
done
second=$(e_requests poll | sed -n 2p)
gap=$((${second%% *} - ${first%% *}))
# The upper end leaves room for the reply's handling on a loaded two-core machine (31.3 s seen
# while two builds ran); a delay that was not cut to 30 s would not come within the deadline.
((gap >= 29000 && gap <= 32500)) ||
    fail "the poll after next=2^31-1 came $gap ms later, not 29..32.5 s"
[[ "$(cut -d/ -f6 <<<"$second" | cut -d' ' -f1)" == 30 ]] ||
    fail "the poll after next=2^31-1 did not ask for 30: $second"
# About 20 records paced over 30 s: several separate arrivals on screen.
((changes >= 5)) || fail "the screen changed only $changes times while the lines were paced over 30 s"
h_log "next poll $gap ms later asking next=30; screen changed $changes times meanwhile; ping ${E_LAST_PING} ms; peak rss ${E_LAST_PEAK} kB"

# A second 30 s wait is under way; the desktop ends the overlay in the middle of it.
sleep 2
e_healthy "second wait"
t0=$(h_now_ms)
kill -TERM "$APP_PID"
h_wait_exit "$APP_PID" 5 || fail "SIGTERM during a 30 s pacing wait did not end the overlay within 5 s"
took=$(($(h_now_ms) - t0))
((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS after SIGTERM"
grep -q '^roomName=e2e-room$' "$WORKDIR/config.ini" || fail "settings not written: $(cat "$WORKDIR/config.ini")"
grep -q '^appWidth=' "$WORKDIR/config.ini" || fail "settings not written in full: $(cat "$WORKDIR/config.ini")"
h_log "SIGTERM in the wait: exit 0 after $took ms, settings written"
h_log "PASS"
