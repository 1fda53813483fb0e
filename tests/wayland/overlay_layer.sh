#!/usr/bin/env bash
# Under sway: the overlay on the overlay layer above a fullscreen window, its opacity painted
# as X11 composites it, a list of the settings panel beside it, click-through once locked, a
# single instance, and config.ini written at the end.
# shellcheck source=SCRIPTDIR/wl_harness.sh
source "$(dirname "$0")/wl_harness.sh"
w_begin wayland_overlay_layer "$@"

w_start_probe
w_start_overlay
grep -q 'native Wayland on the overlay layer' "$H_TMP/app.log" ||
    fail "the overlay did not choose the layer shell: $(cat "$H_TMP/app.log")"
w_screenshot wayland-overlay-above-fullscreen
h_log "overlay above the fullscreen probe"

# A second copy leaves at once with status 1.
h_start_app second
h_wait_exit "$H_LAST_PID" 10 || fail "the second copy did not exit"
((H_STATUS == 1)) || fail "the second copy exited with $H_STATUS, not 1"

# Opacity steps over white, as a compositor draws a window of that opacity: 255 x (1 - level/10).
# The add and subtract buttons sit in the hover strip, shown while the pointer is over it.
add_x=$((OX + 29)) sub_x=$((OX + 59)) strip_y=$((OY + 32))
steps=(add add add add sub)
levels=(7 8 9 9 8)
for i in "${!steps[@]}"; do
    x=$add_x
    [[ ${steps[i]} == sub ]] && x=$sub_x
    w_pointer move $((OX + 100)) $((OY + 150)) wait 100 move "$x" "$strip_y" press release
    grey=$((255 * (10 - levels[i]) / 10))
    h_poll 5 w_pixel_is $((OX + 200)) $((OY + 250)) "$grey,$grey,$grey" ||
        fail "opacity level ${levels[i]}: pixel $(w_pixel $((OX + 200)) $((OY + 250))), want $grey"
done
h_log "opacity steps 7 8 9 9 8 painted as composited"

# The settings panel's lists open beside the overlay, not over it (sway 1.7 draws a newer
# surface of a layer beneath the older ones), and the click on an entry picks it: 16, the fifth
# row, 23 px apart from the combo box's top.
w_pointer move $((OX + 100)) $((OY + 150)) wait 100 move $((OX + 120)) "$strip_y" press release
w_pointer move $((OX + 160)) $((OY + 110)) wait 300 press release
list_x=$((OX - 65))
_list_shown() { ! w_pixel_is "$list_x" $((OY + 150)) 255,255,255 10; }
h_poll 5 _list_shown || fail "no list beside the overlay at $list_x,$((OY + 150))"
w_screenshot wayland-list-beside-overlay
w_click "$list_x" $((OY + 204))
h_poll 5 w_pixel_is "$list_x" $((OY + 150)) 255,255,255 || fail "the list stayed open after a pick"
w_click $((OX + 95)) $((OY + 160)) # OK
h_log "the font size list opened beside the overlay and took the pick"

# Unlocked at start (no key reaches it yet): the overlay takes the click.
w_click_reaches_probe $((OX + 200)) $((OY + 250)) && fail "a click on the unlocked overlay reached the probe"
# The lock button locks it: clicks pass through.
w_click $((OX + OW - 54)) $((OY + 13))
h_poll 5 w_click_reaches_probe $((OX + 200)) $((OY + 250)) ||
    fail "a click on the locked overlay did not reach the probe"
h_log "locked: clicks reach the window beneath"

h_stop "$APP_PID"
{ grep -q '^Alpha=8$' "$WORKDIR/config.ini" && grep -q '^fontSize=16$' "$WORKDIR/config.ini"; } ||
    fail "config.ini after SIGTERM: $(cat "$WORKDIR/config.ini")"
h_log "ended by SIGTERM with level 8 and font size 16 saved"

# A room that updates the title bar and the chat at once: the parts between repaint the same
# as the rest (once they were painted twice over, at 0.4 x 0.4 of the backdrop).
sim_start "$H_TMP/sim.log" "${KIBCHAT_SIM:?}" --seed 7 --rate 8 --next 1 --log "$H_TMP/requests.log" ||
    fail "$SIM_ERROR"
H_PIDS+=("$SIM_PID")
printf '[Config]\nroomName=demo-room\nAlpha=6\n' >"$WORKDIR/config.ini"
h_start_app room
APP_PID=$H_LAST_PID
h_poll 10 grep -q '/chatroom/msgs/' "$H_TMP/requests.log" || fail "the overlay never polled the room"
sleep 1
# Inside the room field, under its text; and the right margin beside the chat.
for point in "$((OX + 100)) $((OY + 20))" "$((OX + OW - 2)) $((OY + 250))"; do
    read -r x y <<<"$point"
    w_pixel_is "$x" "$y" 102,102,102 || fail "with the room's updates, $x,$y is $(w_pixel "$x" "$y"), not 102"
done
w_screenshot wayland-room
h_log "the room's updates keep the painted opacity even"
