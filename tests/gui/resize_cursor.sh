#!/usr/bin/env bash
# The mouse cursor over the resize zones, unlocked: a horizontal double arrow over the left
# and right edges, a vertical one over the bottom edge, the matching diagonal arrows over the
# two bottom corners, and the plain arrow again once the pointer is off the zones (on the
# title strip's margin). Read from the X server with kibchat-cursor (XFixes cursor names,
# which come from the cursor theme Qt loads).
# Usage: resize_cursor.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR CURSOR_TOOL

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
source "$(dirname "${BASH_SOURCE[0]}")/drag.sh"
CURSOR_TOOL=${5:-}
h_begin resize_cursor "${@:1:4}"
[[ -x "$CURSOR_TOOL" ]] || fail "cursor tool '$CURSOR_TOOL' not found"

h_overlay_over_probe
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "F10 did not unlock the overlay"

# Names the cursor themes and X's core cursor font give each shape.
declare -A SHAPES=(
    [we]='size_hor|ew-resize|h_double_arrow|sb_h_double_arrow|col-resize|e-resize|w-resize|left_side|right_side'
    [ns]='size_ver|ns-resize|v_double_arrow|sb_v_double_arrow|row-resize|s-resize|n-resize|bottom_side|top_side'
    [nwse]='size_fdiag|nwse-resize|fd_double_arrow|bottom_right_corner|top_left_corner|se-resize|nw-resize'
    [nesw]='size_bdiag|nesw-resize|bd_double_arrow|bottom_left_corner|top_right_corner|sw-resize|ne-resize'
    [arrow]='left_ptr|default|arrow|top_left_arrow'
)

CURSOR=""
cursor_is() {
    CURSOR=$("$CURSOR_TOOL") || fail "$CURSOR_TOOL failed"
    [[ -n "$CURSOR" ]] ||
        fail "the X server shows a cursor without a name: no cursor theme installed?"
    [[ "$CURSOR" =~ ^(${SHAPES[$1]})$ ]]
}

# check ZONE SHAPE X Y: hovers on the window-local point X Y and waits for the cursor shape.
# Before each zone the pointer rests on the title strip's left margin, which is no zone, so
# a cursor left over from the previous zone cannot pass for the new one.
check() {
    local zone=$1 shape=$2 x=$((OX + $3)) y=$((OY + $4))
    d_hover "$((OX + 2))" "$((OY + 10))"
    h_poll 3 cursor_is arrow ||
        fail "off the zones at $((OX + 2)),$((OY + 10)) the cursor is '$CURSOR', not an arrow"
    d_hover "$x" "$y"
    h_poll 3 cursor_is "$shape" ||
        fail "over the $zone zone at $x,$y the cursor is '$CURSOR'; expected one of" \
            "${SHAPES[$shape]}"
    h_log "$zone at $x,$y: $CURSOR"
}

# The side zones are checked at y 150, clear of the hover toolbar (y 22..46).
check left we 2 150
check right we "$((OW - 2))" 150
check bottom ns 100 "$((OH - 2))"
check bottom-right nwse "$((OW - 2))" "$((OH - 2))"
check bottom-left nesw 2 "$((OH - 2))"
d_hover "$((OX + 2))" "$((OY + 10))"
h_poll 3 cursor_is arrow ||
    fail "back off the zones at $((OX + 2)),$((OY + 10)) the cursor is '$CURSOR', not an arrow"

h_alive "$APP_PID" || fail "the overlay exited during the test"
h_log "PASS"
