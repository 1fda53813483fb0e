#!/usr/bin/env bash
# A chosen lock key on a real desktop, with a probe window under the overlay:
#  - toggle mode ([HotKey] lockKey=Ctrl+F10): F10 alone does nothing; Ctrl+F10 pressed while
#    the probe has the focus unlocks and locks again, and the probe receives the key too;
#  - hold mode (the same key, holdToInteract=true, with "hold" as the fifth argument): the
#    overlay is unlocked while Ctrl+F10 is held, through the key's auto-repeat, and locks
#    again on release.
# Usage: lock_key_chosen.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR [hold]

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
mode=${5:-toggle}
h_begin "lock_key_$mode" "$@"

hold=false
[[ "$mode" == hold ]] && hold=true
printf '[HotKey]\nlockKey=Ctrl+F10\nholdToInteract=%s\n' "$hold" >"$WORKDIR/config.ini"

h_overlay_over_probe
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 ||
    fail "locked at start, yet a click on the overlay did not reach the window beneath"

# --- F10 alone is not the chosen key -------------------------------------------------------
h_focus_probe
before=$(h_probe_lines)
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_probe_line "$before" '^key F10 up$' 5 || fail "the focused probe did not receive F10"
h_click_reaches_probe "$BODY_X" "$BODY_Y" || fail "F10 alone unlocked, with Ctrl+F10 chosen"
h_log "F10 alone: still locked"

if [[ "$mode" == toggle ]]; then
    before=$(h_probe_lines)
    xdotool key ctrl+F10 || fail "xdotool key ctrl+F10 failed"
    h_wait_probe_line "$before" '^key F10 up$' 5 ||
        fail "the focused probe did not receive Ctrl+F10: the key must not be consumed"
    h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "Ctrl+F10 did not unlock"
    h_log "Ctrl+F10: unlocked, and the probe got the key"
    h_focus_probe
    xdotool key ctrl+F10 || fail "xdotool key ctrl+F10 failed"
    h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 || fail "a second Ctrl+F10 did not lock"
    h_log "second Ctrl+F10: locked again"
else
    before=$(h_probe_lines)
    xdotool keydown ctrl keydown F10 || fail "xdotool keydown failed"
    h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || {
        xdotool keyup F10 keyup ctrl
        fail "holding Ctrl+F10 did not unlock"
    }
    # Held on through the auto-repeat: the state must not flicker.
    sleep 1
    held_ok=yes
    h_wait_click_state "$BODY_X" "$BODY_Y" block 2 || held_ok=no
    repeats=$(tail -n +$((before + 1)) "$PROBE_LOG" | grep -c '^key F10 down repeat$')
    xdotool keyup F10 keyup ctrl || fail "xdotool keyup failed"
    [[ "$held_ok" == yes ]] || fail "the overlay locked again while Ctrl+F10 was still held"
    h_log "held: unlocked throughout, $repeats auto-repeat key-down(s) reached the probe"
    h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 || fail "releasing Ctrl+F10 did not lock"
    h_log "released: locked again"
fi

h_alive "$APP_PID" || fail "the overlay exited during the test"
h_log "PASS"
