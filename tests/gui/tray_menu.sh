#!/usr/bin/env bash
# The tray icon under a tray from Debian (trayer), with a probe window under the overlay:
#  - the icon appears in the tray;
#  - its menu's first item unlocks, then locks (clicks stop, then start passing through);
#  - its last item quits through the normal shutdown: status 0 and the settings written.
# Usage: tray_menu.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin tray_menu "$@"
command -v trayer >/dev/null || fail "required tool 'trayer' is not installed"

# The tray first: the overlay looks for one only at start.
h_spawn trayer trayer --edge top --align left --widthtype request --height 24 --SetDockType true
TRAYER_PID=$H_LAST_PID
h_wait_window "$TRAYER_PID" name 'panel' 10
TRAY_WIN=$H_WIN

h_overlay_over_probe
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 || fail "not locked at start"

# The icon is a small window of the overlay's process, embedded into the tray's window.
icon_window() {
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$APP_PID" 2>/dev/null); do
        [[ "$w" == "$OVERLAY" ]] && continue
        h_geometry "$w"
        ((GW <= 64 && GH <= 64 && GY < 40)) && { echo "$w"; return 0; }
    done
    return 1
}
h_poll 10 icon_window >/dev/null || fail "no tray icon of the overlay appeared in the tray"
ICON=$(icon_window)
h_geometry "$ICON"
ICON_X=$((GX + GW / 2)) ICON_Y=$((GY + GH / 2))
h_log "tray icon $ICON at $GX,$GY ${GW}x${GH} (tray window $TRAY_WIN)"
h_screenshot tray 0 0 200 30

# Usage: menu_pick KEY (Down: the first item, Up: the last one)
menu_pick() {
    xdotool mousemove "$ICON_X" "$ICON_Y" click 3 || fail "xdotool click on the tray icon failed"
    # The menu is one more window of the overlay's process.
    # shellcheck disable=SC2317 # called through h_poll
    menu_shown() {
        h_find_visible "$APP_PID" classname '^kibchat$' | grep -qvx -e "$OVERLAY" -e "$ICON"
    }
    h_poll 5 menu_shown || fail "the tray icon's menu did not open"
    xdotool key "$1" key Return || fail "xdotool key failed"
}

menu_pick Down
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "the tray menu's first item did not unlock"
h_log "tray menu: unlocked"
menu_pick Down
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 || fail "the tray menu's first item did not lock"
h_log "tray menu: locked again"

rm -f "$WORKDIR/config.ini"
menu_pick Up
h_wait_exit "$APP_PID" 10 || fail "the tray menu's last item did not quit"
((H_STATUS == 0)) || fail "quit from the tray menu: status $H_STATUS, expected 0"
{ grep -q '^appWidth=' "$WORKDIR/config.ini" && grep -q '^lockKey=F10$' "$WORKDIR/config.ini"; } ||
    fail "quit from the tray menu did not write the settings: $(cat "$WORKDIR/config.ini" 2>&1)"
h_log "tray menu: quit, status 0, settings written"
h_log "PASS"
