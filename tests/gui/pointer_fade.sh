#!/usr/bin/env bash
# Fading under the pointer on a real desktop, read from the window's opacity property
# (_NET_WM_WINDOW_OPACITY) that the window manager and the compositor act on:
#  - option on, locked: the pointer over the overlay takes it to 0.1, and leaving brings
#    back its own opacity; the clicks still pass through;
#  - option on, unlocked (F10) while faded: its opacity comes back at once, and the pointer
#    over it changes nothing;
#  - option off, locked: the pointer over it changes nothing.
# Usage: pointer_fade.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

# shellcheck source=SCRIPTDIR/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin pointer_fade "$@"

# The property holds opacity × 0xffffffff; printed here in tenths.
opacity_tenths() {
    local value
    value=$(xprop -id "$OVERLAY" _NET_WM_WINDOW_OPACITY 2>/dev/null | sed -n 's/.* = \([0-9]*\)$/\1/p')
    echo $(((${value:-4294967295} * 10 + 2147483647) / 4294967295))
}
# shellcheck disable=SC2317 # called through h_poll
opacity_is() { (($(opacity_tenths) == WANT)); }
wait_opacity() {
    WANT=$1
    h_poll 3 opacity_is
}
# Stays at WANT for a second (ten polls of the overlay's).
stays_at() {
    local i
    for ((i = 0; i < 10; i++)); do
        (($(opacity_tenths) == $1)) || return 1
        sleep 0.1
    done
}
start_with() {
    printf '[Config]\nAlpha=6\n[Window]\nfadeUnderPointer=%s\n' "$1" >"$WORKDIR/config.ini"
    h_overlay_over_probe
    xdotool mousemove "$MARK_X" "$MARK_Y"
    wait_opacity 6 || fail "$1: the overlay did not start at 0.6 ($(opacity_tenths))"
}

# --- option on, locked ------------------------------------------------------------------
start_with true
xdotool mousemove "$BODY_X" "$BODY_Y"
wait_opacity 1 || fail "locked with the option on, the pointer over the overlay left it at $(opacity_tenths)/10"
h_click_reaches_probe "$BODY_X" "$BODY_Y" || fail "faded, the overlay no longer lets clicks through"
xdotool mousemove "$MARK_X" "$MARK_Y"
wait_opacity 6 || fail "the pointer left, yet the overlay stayed at $(opacity_tenths)/10"
h_log "option on, locked: 0.1 under the pointer, 0.6 again when it leaves"

# --- option on, unlocked while faded, then the pointer over it ---------------------------
xdotool mousemove "$BODY_X" "$BODY_Y"
wait_opacity 1 || fail "the pointer back over the overlay left it at $(opacity_tenths)/10"
h_focus_probe
xdotool key F10 || fail "xdotool key F10 failed"
wait_opacity 6 || fail "unlocked under the pointer, the overlay stayed at $(opacity_tenths)/10"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "F10 did not unlock"
xdotool mousemove "$BODY_X" "$BODY_Y"
stays_at 6 || fail "unlocked, the pointer over the overlay changed its opacity to $(opacity_tenths)/10"
h_log "option on, unlocked: 0.6 again at once, and unchanged under the pointer"
h_stop "$APP_PID"
h_stop "$PROBE_PID"

# --- option off, locked -----------------------------------------------------------------
start_with false
xdotool mousemove "$BODY_X" "$BODY_Y"
stays_at 6 || fail "with the option off, the pointer over the overlay changed its opacity to $(opacity_tenths)/10"
h_log "option off, locked: unchanged"
h_log "PASS"
