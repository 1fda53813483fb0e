#!/usr/bin/env bash
# The size and the place survive a restart: unlocked, the overlay is moved and resized to
# 350x260 with the mouse, then closed with its close button. It must end with status 0 and
# leave config.ini in its working directory with exactly the [Config] keys roomName, bBold,
# Alpha, fontFamily, fontSize, lineHeight, appWidth=350 and appHeight=260, and the place in
# [Window] (x, y, screen). Started again in that directory it opens at 350x260 where it was
# closed; pushed mostly off the screen, it comes back to its default place (screen width - 350 -
# 50, 100) within 2 s. Started once more on an 800x600 screen, where that place lies mostly off the screen,
# it opens at the default place (800 - 350 - 50, 100).
# Usage: size_saved.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
source "$(dirname "${BASH_SOURCE[0]}")/drag.sh"
h_begin size_saved "$@"

WANT_W=350
WANT_H=260
CONFIG="$WORKDIR/config.ini"

h_overlay_over_probe
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "F10 did not unlock the overlay"

# Away from the start place first (a drag on the caption), so that the place at the restart
# can only come from the saved size.
d_move_drag "a caption drag" "$((OX + 38))" "$((OY + 11))" -300 150

# The bottom-right corner to 350x260: the window's right and bottom edges end at the mouse.
from_x=$((OX + OW - 2)) from_y=$((OY + OH - 2))
d_drag "$from_x" "$from_y" "$((OX + WANT_W))" "$((OY + WANT_H))"
d_wait_geometry "$OVERLAY" "$OX" "$OY" "$WANT_W" "$WANT_H" ||
    fail "dragging the bottom-right corner from $from_x,$from_y to $((OX + WANT_W))," \
        "$((OY + WANT_H)) left the overlay at $GX,$GY ${GW}x${GH}; expected" \
        "$OX,$OY ${WANT_W}x${WANT_H}"
OW=$GW OH=$GH
h_log "resized to ${OW}x${OH} at $OX,$OY"
# The picture without the hover toolbar (the pointer goes to the bare desktop, not to the
# probe's marker point, which is under the window now).
h_screenshot_unhovered size_saved-resized

# Whatever the overlay may have written before, the file checked below comes from the end.
rm -f "$CONFIG"
close_x=$((OX + OW - 12)) close_y=$((OY + 13))
xdotool mousemove "$close_x" "$close_y" click 1 || fail "xdotool click failed"
h_wait_exit "$APP_PID" 5 ||
    fail "a click on the close button at $close_x,$close_y did not end the overlay within 5 s"
((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS after the close button, not 0"
[[ -f "$CONFIG" ]] || fail "no config.ini in the working directory after a normal end"
h_log "closed with status 0; config.ini written"

# Keys of the [Config] section, "key=value" a line.
config_keys=$(awk '/^\[/ {section = $0; next} section == "[Config]" && /=/ {print}' "$CONFIG")
for key in roomName bBold Alpha fontFamily fontSize lineHeight appWidth appHeight; do
    count=$(grep -c "^$key=" <<<"$config_keys")
    ((count == 1)) || fail "config.ini has $count '$key' keys in [Config], not 1:" \
        "$(tr '\n' ' ' <"$CONFIG")"
done
(($(wc -l <<<"$config_keys") == 8)) || fail "[Config] holds more than its eight keys: $config_keys"
window_keys=$(awk '/^\[/ {section = $0; next} section == "[Window]" && /=/ {print}' "$CONFIG")
grep -qx "x=$OX" <<<"$window_keys" && grep -qx "y=$OY" <<<"$window_keys" &&
    grep -q '^screen=.' <<<"$window_keys" ||
    fail "config.ini [Window] does not hold the place $OX,$OY and its screen: $window_keys"
grep -qx "appWidth=$WANT_W" <<<"$config_keys" ||
    fail "config.ini: $(grep '^appWidth=' <<<"$config_keys"), expected appWidth=$WANT_W"
grep -qx "appHeight=$WANT_H" <<<"$config_keys" ||
    fail "config.ini: $(grep '^appHeight=' <<<"$config_keys"), expected appHeight=$WANT_H"
h_log "config.ini [Config]: $(tr '\n' ' ' <<<"$config_keys")"

# Started again in the same directory: where it was closed.
h_start_app app-restarted
APP_PID=$H_LAST_PID
h_wait_window "$APP_PID" classname '^kibchat$'
OVERLAY=$H_WIN
d_wait_geometry "$OVERLAY" "$OX" "$OY" "$WANT_W" "$WANT_H" ||
    fail "restarted, the overlay is at $GX,$GY ${GW}x${GH}; expected $OX,$OY" \
        "${WANT_W}x${WANT_H}"
h_wait_overlay_painted
h_screenshot size_saved-restarted "$OX" "$OY" "$OW" "$OH" || fail "screenshot failed"
h_log "restarted at $GX,$GY ${GW}x${GH}"

# Pushed mostly beyond the right edge while it runs: back at the default place within 2 s
# (the top timer's tick), with a second of slack.
xdotool windowmove "$OVERLAY" "$((H_SCREEN_W - 60))" "$OY" || fail "xdotool windowmove failed"
want_x=$((H_SCREEN_W - WANT_W - 50))
d_wait_geometry "$OVERLAY" "$want_x" 100 "$WANT_W" "$WANT_H" 3 ||
    fail "pushed off the screen, the overlay stayed at $GX,$GY ${GW}x${GH}; expected" \
        "$want_x,100 within 3 s"
h_log "pushed off the screen, back at $GX,$GY"

# Once more on a smaller screen: that place would lie mostly beyond its right edge.
h_stop "$APP_PID"
xs_stop
H_SCREEN_W=800 H_SCREEN_H=600
XS_SCREEN="${H_SCREEN_W}x${H_SCREEN_H}x24"
xs_start || fail "$XS_ERROR"
h_start_app app-small-screen
APP_PID=$H_LAST_PID
h_wait_window "$APP_PID" classname '^kibchat$'
want_x=$((H_SCREEN_W - WANT_W - 50))
d_wait_geometry "$H_WIN" "$want_x" 100 "$WANT_W" "$WANT_H" ||
    fail "on an 800x600 screen the overlay is at $GX,$GY ${GW}x${GH}; expected $want_x,100" \
        "${WANT_W}x${WANT_H}"
h_log "on an 800x600 screen at $GX,$GY ${GW}x${GH}"
h_log "PASS"
