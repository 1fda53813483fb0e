#!/usr/bin/env bash
# The hover toolbar (+ − B gear download, y 22..46 under the title strip): unlocked, it shows
# when the pointer enters the overlay and hides when the pointer leaves, each time. Read from
# screen pixels where the + icon is drawn (window x 24..33, y 27..36), against the same
# pixels with the pointer outside: the chat area behind the toolbar is black.
# Usage: hover_toolbar.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
source "$(dirname "${BASH_SOURCE[0]}")/drag.sh"
h_begin hover_toolbar "$@"

h_overlay_over_probe
xdotool key F10 || fail "xdotool key F10 failed"
# This leaves the pointer on the probe, outside the overlay.
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "F10 did not unlock the overlay"

PLUS=("$((OX + 22))" "$((OY + 25))" 14 14) # the + icon with a 2 px border
PLUS_AT="${PLUS[0]},${PLUS[1]} ${PLUS[2]}x${PLUS[3]}"
# Brightest grey level there, -1 when the screen could not be read.
plus_level() {
    local level
    level=$(h_region_max "${PLUS[@]}")
    echo "${level:--1}"
}
plus_dark() {
    local level
    level=$(plus_level)
    ((level >= 0 && level < 40))
}
plus_drawn() { (($(plus_level) > 120)); }
differs_from_outside() {
    h_grab plus-now "${PLUS[@]}"
    (($(h_grab_diff plus-outside plus-now) >= 10))
}

h_poll 3 plus_dark ||
    fail "pointer outside: the + icon area $PLUS_AT is not dark (brightest" \
        "$(plus_level)): the toolbar shows without the pointer"
h_grab plus-outside "${PLUS[@]}"
h_log "pointer outside: toolbar area dark"

# Enter over the chat area, leave, then enter over the title strip's caption.
for round in chat caption; do
    case $round in
    chat) in_x=$((OX + 200)) in_y=$((OY + 200)) ;;
    caption) in_x=$((OX + 38)) in_y=$((OY + 11)) ;;
    esac
    d_hover "$in_x" "$in_y"
    h_poll 3 plus_drawn ||
        fail "pointer in at $in_x,$in_y ($round): no + icon drawn in $PLUS_AT (brightest" \
            "$(plus_level))"
    differs_from_outside ||
        fail "pointer in at $in_x,$in_y ($round): $PLUS_AT looks as with the pointer outside"
    [[ "$round" == chat ]] &&
        h_screenshot hover_toolbar-shown "$OX" "$OY" "$OW" 60
    h_log "pointer in ($round): toolbar shown"

    xdotool mousemove "$MARK_X" "$MARK_Y" || fail "xdotool mousemove failed"
    h_poll 3 plus_dark ||
        fail "pointer out again at $MARK_X,$MARK_Y: the toolbar still shows in $PLUS_AT" \
            "(brightest $(plus_level))"
    h_log "pointer out: toolbar hidden"
done

h_alive "$APP_PID" || fail "the overlay exited during the test"
h_log "PASS"
