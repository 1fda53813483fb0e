#!/usr/bin/env bash
# The network goes away and comes back. The overlay, the simulator and their X session run in
# a network namespace of their own (unshare, as root): loopback, and a veth pair with a
# link-local address standing in for the machine's network card, so that Qt's bearer
# management sees a network that is up, then none, then one again. The overlay reaches the
# service by a name (kibchat-service.test, on 127.0.0.1 in a private /etc/hosts): Qt exempts
# literal loopback addresses from bearer management, not names. No packet leaves the
# namespace. Phases: chat flows; every interface goes down for OUTAGE seconds (default 15),
# and during it the room is changed; they come back. Checked: a poll succeeds and new lines
# reach the screen within 5 s of the return, and the room change is followed.
# Usage: net_outage.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR [OUTAGE]
#        (KIBCHAT_SIM, KIBCHAT_XPING from the environment); exit status 77: skipped

if [[ -z "${KIBCHAT_IN_NETNS:-}" ]]; then
    if ! unshare --net --mount true 2>/dev/null; then
        echo "SKIP: cannot make a network namespace here (unshare --net --mount needs root)"
        exit 77
    fi
    export KIBCHAT_IN_NETNS=1
    exec unshare --net --mount bash "$0" "$@"
fi

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
OUTAGE=${5:-15}
BACK_MS=5000 # chat again within this of the network's return
HOST=kibchat-service.test
e_begin net_outage "${@:1:4}"

links_up() {
    ip link set lo up && ip link set kibnet0 up && ip link set kibnet1 up
}
ip link add kibnet0 type veth peer name kibnet1 || fail "cannot make a veth pair"
ip addr add 169.254.77.1/16 dev kibnet0 || fail "cannot address the veth pair"
links_up || fail "cannot bring the links up"
printf '127.0.0.1 localhost\n127.0.0.1 %s\n' "$HOST" >"$H_TMP/hosts"
mount --bind "$H_TMP/hosts" /etc/hosts || fail "cannot mount a private /etc/hosts"
getent hosts "$HOST" | grep -q '^127\.0\.0\.1 ' || fail "$HOST does not resolve to 127.0.0.1"

e_service net sim --rate 20 --next 1 --seed 5
export KIBCHAT_ROOMINFO_URL="http://$HOST:$E_SVC_PORT" KIBCHAT_CHAT_URL="http://$HOST:$E_SVC_PORT"
e_start_overlay e2e-room
e_wait_log 2 ' /chatroom/msgs/.* 200$' 15 || fail "chat did not start"
h_log "chat flows through $KIBCHAT_CHAT_URL"

t_down=$(h_now_ms)
ip link set kibnet0 down && ip link set kibnet1 down && ip link set lo down ||
    fail "cannot take the links down"
h_log "network down for $OUTAGE s"
sleep 3
# The room changes while nothing can be reached: unlock, type the name into its field, Enter.
xdotool key F10 || fail "xdotool key F10 failed"
sleep 0.3
xdotool mousemove $((GX + 80)) $((GY + 11)) click 1 key ctrl+a type outage-room ||
    fail "xdotool could not type the room name"
xdotool key Return || fail "xdotool key Return failed"
xdotool key F10 || fail "xdotool key F10 failed"
e_healthy outage
while (($(h_now_ms) < t_down + OUTAGE * 1000)); do
    e_healthy outage
    sleep 0.5
done
e_grab_chat before-return
t_up=$(h_now_ms)
links_up || fail "cannot bring the links back"
h_log "network back after $(((t_up - t_down) / 1000)) s"

e_wait_log 1 ' /room/getinfo\?domain=outage-room 200$' 10 ||
    fail "the room change made during the outage was not followed once the network was back"
# The log's time of the first poll that succeeded after the return, if any yet.
good_poll_since_return() {
    awk -v since=$((t_up - E_SVC_T0)) '$1 >= since && / \/chatroom\/msgs\/.* 200$/ {print $1; exit}' \
        "$E_SVC_LOG" | grep .
}
h_poll 10 good_poll_since_return >/dev/null || fail "no poll succeeded within 10 s of the network's return"
first_ok_after=$((E_SVC_T0 + $(good_poll_since_return) - t_up))
((first_ok_after <= BACK_MS)) ||
    fail "the first successful poll came $first_ok_after ms after the network's return (limit $BACK_MS)"
e_wait_chat_change before-return $((BACK_MS / 1000)) back ||
    fail "no new chat lines on screen within $((BACK_MS / 1000)) s of the network's return"
lines_after=$((E_CHANGED_MS - t_up))
# One chain for the new room: the old room's failing poll chain did not turn into a second.
joins=$(awk -v since=$((t_up - E_SVC_T0)) '$1 >= since && / \/chatroom\/joinroom/' "$E_SVC_LOG" | wc -l)
((joins == 1)) || fail "the new room was joined $joins times after the network's return (expected once)"
lookup_ms=$(grep -m1 ' /room/getinfo?domain=outage-room 200$' "$E_SVC_LOG" | cut -d' ' -f1)
e_healthy back
h_log "back: lookup of the new room $((E_SVC_T0 + lookup_ms - t_up)) ms, first good poll $first_ok_after ms, new lines $lines_after ms after the return"
e_rss_check "whole run"
h_log "PASS"
