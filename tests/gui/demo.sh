#!/usr/bin/env bash
# The overlay against the room simulator: coloured chat and gift lines reach the screen (badge
# yellow, name blue, text white, priced gifts gold, free gifts red), and a normal close keeps
# the room in config.ini.
# Usage: demo.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR   (KIBCHAT_SIM: the simulator)

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin demo "$@"
[[ -x "${KIBCHAT_SIM:-}" ]] || fail "simulator '${KIBCHAT_SIM:-}' not found"

sim_start "$H_TMP/sim.log" "$KIBCHAT_SIM" --seed 7 --rate 8 --next 1 || fail "$SIM_ERROR"
H_PIDS+=("$SIM_PID")
printf '[Config]\nroomName=demo-room\n' >"$WORKDIR/config.ini"

h_start_app app
APP_PID=$H_LAST_PID
h_wait_window "$APP_PID" classname '^kibchat$'
h_geometry "$H_WIN"

h_wait_line_colours 20 "$GX" "$GY" "$GW" "$GH"
h_screenshot demo "$GX" "$GY" "$GW" "$GH"
h_log "chat and gift lines in all five colours"

xdotool key F10 || fail "xdotool key F10 failed"
sleep 0.3
xdotool mousemove $((GX + GW - 12)) $((GY + 13)) click 1 || fail "xdotool click failed"
h_wait_exit "$APP_PID" 5 || fail "the close button did not end the overlay"
((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS"
grep -q '^roomName=demo-room$' "$WORKDIR/config.ini" ||
    fail "config.ini lost the room: $(cat "$WORKDIR/config.ini")"
h_log "PASS"
