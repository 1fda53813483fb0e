#!/usr/bin/env bash
# The overlay's window as the desktop sees it: its place and size, no frame, no taskbar
# entry, above a normal window mapped after it, back on top of another stays-on-top window
# through its re-raise timer, and never taking the focus. Saves a picture of it.
# Usage: overlay_window.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin overlay_window "$@"

GREEN="0,255,0" # the probe's background

h_start_app app
APP_PID=$H_LAST_PID
h_wait_window "$APP_PID" classname '^kibchat$'
OVERLAY=$H_WIN
OVERLAY_HEX=$(printf '0x%x' "$OVERLAY")

# Place and size, read from X: Qt's own idea of a frameless tool window's position can be
# wrong under openbox.
WANT_X=$((H_SCREEN_W - 327))
WANT_Y=100
at_place() {
    h_geometry "$OVERLAY"
    [[ "$GX,$GY,$GW,$GH" == "$WANT_X,$WANT_Y,277,312" ]]
}
h_poll 3 at_place ||
    fail "overlay at ${GX},${GY} size ${GW}x${GH}; expected ${WANT_X},${WANT_Y} size 277x312"
h_log "overlay window $OVERLAY_HEX at $GX,$GY size ${GW}x${GH}"
OX=$GX OY=$GY OW=$GW OH=$GH

# Frameless: the window manager draws no decoration around it.
extents=$(xprop -id "$OVERLAY" _NET_FRAME_EXTENTS)
[[ "$extents" == *"= 0, 0, 0, 0" ]] || fail "overlay has a window frame: $extents"

# No taskbar or pager entry.
states=$(xprop -id "$OVERLAY" _NET_WM_STATE)
[[ "$states" == *_NET_WM_STATE_SKIP_TASKBAR* ]] || fail "no _NET_WM_STATE_SKIP_TASKBAR: $states"
[[ "$states" == *_NET_WM_STATE_SKIP_PAGER* ]] || fail "no _NET_WM_STATE_SKIP_PAGER: $states"
[[ "$states" == *_NET_WM_STATE_ABOVE* ]] || fail "not in the stays-on-top band: $states"

# A normal window mapped after the overlay, covering it, with the focus.
h_start_probe 700 60 560 450
MARK_X=$((PROBE_X + 20))
MARK_Y=$((PROBE_Y + 200))
INSIDE_X=$((OX + 200)) # a point of the overlay's chat area, over the probe
INSIDE_Y=$((OY + 250))

probe_painted() { [[ "$(h_pixel "$MARK_X" "$MARK_Y")" == "$GREEN" ]]; }
h_poll 5 probe_painted ||
    fail "probe not painted green at $MARK_X,$MARK_Y: $(h_pixel "$MARK_X" "$MARK_Y")"

PROBE_HEX=$(printf '0x%x' "$PROBE_WIN")
overlay_above_probe() {
    local o p
    o=$(h_stack_index "$OVERLAY_HEX")
    p=$(h_stack_index "$PROBE_HEX")
    ((o >= 0 && p >= 0 && o > p))
}
overlay_above_probe ||
    fail "overlay not above the probe: $(xprop -root _NET_CLIENT_LIST_STACKING)"
pixel=$(h_pixel "$INSIDE_X" "$INSIDE_Y")
[[ "$pixel" != "$GREEN" ]] || fail "the probe shows through the overlay at $INSIDE_X,$INSIDE_Y"
h_log "stacking ok: overlay above the probe; pixel at $INSIDE_X,$INSIDE_Y is $pixel"

# The crop of the window itself, over the green probe, as a test artefact.
h_wait_overlay_painted
h_screenshot overlay "$OX" "$OY" "$OW" "$OH" || fail "screenshot failed"
h_screenshot overlay-desktop || fail "screenshot failed"
h_log "saved $ARTEFACTS/overlay.png"

# Another stays-on-top window mapped after the overlay covers it at first; the overlay's
# re-raise timer (2 s) must bring it back on top without taking the focus.
h_start_blocker
OVERLAP_X=$((OX + 20)) # inside both the blocker (900,150 300x200) and the overlay
OVERLAP_Y=$((OY + 100))
overlay_above_blocker() {
    local o b
    o=$(h_stack_index "$OVERLAY_HEX")
    b=$(h_stack_index "$BLOCKER_HEX")
    ((o >= 0 && b >= 0 && o > b))
}
blocker_focused() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$BLOCKER" ]]; }
h_poll 5 blocker_focused || fail "the new stays-on-top window did not get the focus"
h_poll 6 overlay_above_blocker ||
    fail "overlay not re-raised above a later stays-on-top window within 6 s:" \
        "$(xprop -root _NET_CLIENT_LIST_STACKING)"
overlay_shown() { [[ "$(h_pixel "$OVERLAP_X" "$OVERLAP_Y")" != "$GREEN" ]]; }
h_poll 3 overlay_shown || fail "stacking says raised, but the blocker still shows at" \
    "$OVERLAP_X,$OVERLAP_Y"
# Raising must not have moved the focus: the blocker keeps it, the overlay never has it.
blocker_focused || fail "the overlay's re-raise took the focus from the active window" \
    "(focus: $(xdotool getwindowfocus 2>/dev/null))"
h_log "re-raised above a later stays-on-top window; focus stayed on it"

h_alive "$APP_PID" || fail "the overlay exited"
h_log "PASS"
