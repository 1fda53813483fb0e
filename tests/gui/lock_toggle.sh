#!/usr/bin/env bash
# Lock mode on a real desktop, with a probe window under the overlay:
#  - at start (locked) clicks on the overlay land on the window beneath;
#  - F10 pressed while another program has the focus unlocks (clicks stop passing), and
#    that program still receives F10; a second F10 locks again;
#  - Alt+F10 does not toggle;
#  - unlocked, a click on the title bar's lock button locks again.
# Every state is shown by clicks: one on the overlay, then one on an uncovered part of the
# probe whose arrival proves the first was handled (see h_click_reaches_probe).
# Usage: lock_toggle.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin lock_toggle "$@"

h_overlay_over_probe

# Toggling must not re-create, unmap, re-parent or move the window: watch its structure.
h_watch overlay "$OVERLAY" structure
h_watch_mark overlay "$OVERLAY" KIBCHAT_TEST_START

# The lock button's picture (icon and "F10..." text) tells the two modes apart, and shows
# that LOCK_X is on the button: the area around it must change with the mode.
BUTTON_AREA=("$((OX + OW - 84))" "$((OY + 3))" 60 20)

# --- locked at start: clicks pass through --------------------------------------------------
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 ||
    fail "locked at start, yet a click on the overlay at $BODY_X,$BODY_Y did not reach the" \
        "window beneath"
h_click_reaches_probe "$LOCK_X" "$LOCK_Y" ||
    fail "locked, yet a click on the lock button at $LOCK_X,$LOCK_Y did not pass through"
h_log "locked: clicks on the chat area and on the title bar reach the probe"
h_grab button-locked "${BUTTON_AREA[@]}"

# --- F10 while the probe has the focus: unlocks, and the probe still gets the key --------
h_focus_probe
before=$(h_probe_lines)
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_probe_line "$before" '^key F10 down$' 5 ||
    fail "the focused probe did not receive the F10 key-down: the hot key must not consume it"
h_wait_probe_line "$before" '^key F10 up$' 5 || fail "the focused probe did not receive F10 up"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 ||
    fail "F10 did not unlock: clicks on the overlay at $BODY_X,$BODY_Y still reach the probe"
h_log "F10 (probe focused, probe got it too): unlocked, clicks on the overlay stop there"

button_changed() {
    h_grab button-now "${BUTTON_AREA[@]}"
    (($(h_grab_diff button-locked button-now) > 20))
}
h_poll 3 button_changed ||
    fail "unlocked, but the lock button area at ${BUTTON_AREA[*]} looks as when locked"
h_screenshot overlay-unlocked "$OX" "$OY" "$OW" "$OH"

# --- a second F10 locks again ---------------------------------------------------------------
h_focus_probe
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 ||
    fail "a second F10 did not lock again: clicks on the overlay no longer pass through"
h_log "second F10: locked again"

# --- Alt+F10 does not toggle ------------------------------------------------------------------
# Alt+F10 then F10: if Alt+F10 toggled too, the two would cancel out and the overlay would
# stay locked; if Alt were still counted as held, F10 would do nothing.
h_focus_probe
before=$(h_probe_lines)
xdotool key alt+F10 || fail "xdotool key alt+F10 failed"
h_wait_probe_line "$before" '^key F10 up$' 5 || fail "the probe did not receive Alt+F10"
h_click_reaches_probe "$BODY_X" "$BODY_Y" ||
    fail "Alt+F10 unlocked the overlay: a click at $BODY_X,$BODY_Y no longer passes through"
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 ||
    fail "after Alt+F10 and then F10 the overlay is locked: Alt+F10 toggled as well, or Alt" \
        "was taken as still held"
h_log "Alt+F10: no toggle; the F10 after it unlocked"

# --- unlocked: the lock button locks --------------------------------------------------------
xdotool mousemove "$LOCK_X" "$LOCK_Y" click 1 mousemove "$MARK_X" "$MARK_Y" ||
    fail "xdotool click failed"
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 ||
    fail "a click on the lock button at $LOCK_X,$LOCK_Y (right end of the title bar, left of" \
        "the close button) did not lock: clicks still stop at the overlay"
button_locked_again() {
    h_grab button-now "${BUTTON_AREA[@]}"
    (($(h_grab_diff button-locked button-now) <= 20))
}
h_poll 3 button_locked_again || fail "locked again, but the lock button does not show it"
h_log "lock button: locked again, clicks pass through"

h_alive "$APP_PID" || fail "the overlay exited during the test"
h_watch_mark overlay "$OVERLAY" KIBCHAT_TEST_END
changes=$(h_watch_events overlay KIBCHAT_TEST_START KIBCHAT_TEST_END |
    grep -E '^(UnmapNotify|MapNotify|DestroyNotify|ReparentNotify)$' | sort | uniq -c)
[[ -z "$changes" ]] || fail "toggling lock mode remapped or re-created the window:" \
    "$(tr '\n' ' ' <<<"$changes")"
[[ "$(h_find_visible "$APP_PID" classname '^kibchat$')" == "$OVERLAY" ]] ||
    fail "the overlay's window is no longer $OVERLAY after toggling"
h_geometry "$OVERLAY"
[[ "$GX,$GY,$GW,$GH" == "$OX,$OY,$OW,$OH" ]] ||
    fail "the overlay moved from $OX,$OY ${OW}x${OH} to $GX,$GY ${GW}x${GH} while toggling"
h_log "the window kept its id, place and size, and was never unmapped"
h_log "PASS"
