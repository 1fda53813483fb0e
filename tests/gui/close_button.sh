#!/usr/bin/env bash
# The title bar's close button: while locked a click on it passes to the window beneath and
# the overlay keeps running; unlocked (F10), a click on it ends the program with status 0.
# Usage: close_button.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin close_button "$@"

h_overlay_over_probe

# Locked: the click goes to the probe and the overlay stays.
h_wait_click_state "$CLOSE_X" "$CLOSE_Y" pass 5 ||
    fail "locked, yet a click on the close button at $CLOSE_X,$CLOSE_Y did not pass through"
h_alive "$APP_PID" || fail "locked, a click on the close button ended the overlay"
h_log "locked: a click on the close button passes through, the overlay stays"

xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "F10 did not unlock the overlay"

# Unlocked: the close button ends the program, successfully.
xdotool mousemove "$CLOSE_X" "$CLOSE_Y" click 1 || fail "xdotool click failed"
h_wait_exit "$APP_PID" 5 ||
    fail "unlocked, a click on the close button at $CLOSE_X,$CLOSE_Y did not end the overlay" \
        "within 5 s"
((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS after the close button, not 0"
left=$(xdotool search --onlyvisible --classname '^kibchat$' 2>/dev/null)
[[ -z "$left" ]] || fail "a kibchat window is still mapped after the exit: $left"
h_log "unlocked: the close button ended the overlay with status 0"
h_log "PASS"
