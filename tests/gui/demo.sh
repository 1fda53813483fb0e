#!/usr/bin/env bash
# The overlay against the room simulator: coloured chat and gift lines reach the screen (badge
# yellow, name blue, text white, priced gifts gold, free gifts red), and a normal close keeps
# the room in config.ini.
# Usage: demo.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR   (KIBCHAT_SIM: the simulator)

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin demo "$@"
[[ -x "${KIBCHAT_SIM:-}" ]] || fail "simulator '${KIBCHAT_SIM:-}' not found"

h_spawn sim "$KIBCHAT_SIM" --port 0 --seed 7 --rate 8 --next 1
h_poll 10 grep -q '^listening' "$H_TMP/sim.log" || fail "the simulator did not start"
address=$(sed -n 's/^listening \([0-9.:]*\).*/\1/p' "$H_TMP/sim.log")
export KIBCHAT_ROOMINFO_URL="http://$address" KIBCHAT_CHAT_URL="http://$address"
printf '[Config]\nroomName=demo-room\n' >"$WORKDIR/config.ini"

h_start_app app
APP_PID=$H_LAST_PID
h_wait_window "$APP_PID" classname '^kibchat$'
h_geometry "$H_WIN"

# Counts the pixels of the overlay that have the colour RGB (within a small tolerance for
# the edges of glyphs).
count_colour() {
    convert "$H_TMP/overlay.png" -fuzz 3% -fill black +opaque "rgb($1)" \
        -fill white -opaque "rgb($1)" -format '%[fx:int(mean*w*h+0.5)]' info:
}
declare -A colours=([badge]="255,255,0" [name]="64,123,201" [text]="255,255,255"
    [priced]="255,215,0" [free]="255,0,0")
# shellcheck disable=SC2317 # called through h_poll
all_colours_shown() {
    h_grab overlay "$GX" "$GY" "$GW" "$GH"
    local role
    for role in "${!colours[@]}"; do
        (($(count_colour "${colours[$role]}") >= 3)) || return 1
    done
}
if ! h_poll 20 all_colours_shown; then
    for role in "${!colours[@]}"; do h_log "$role: $(count_colour "${colours[$role]}") pixels"; done
    fail "not every line colour showed within 20 s"
fi
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
