#!/usr/bin/env bash
# Moving and resizing the overlay with the mouse, checked against the geometry X reports:
#  - locked (at start) a drag on the title strip reaches the window beneath and moves nothing;
#  - unlocked (F10), a drag that starts on the "房间号:" caption or on the empty stretch of
#    the title strip moves the window by the drag distance, while the button is held too;
#  - the right, bottom and left edges and the two bottom corners follow the mouse; inwards
#    the right and bottom edges stop at the minimum 277x212, the left edge where the mouse
#    is 277 or less from the right edge; the opposite edges stay where they were;
#  - after all that resizing a title drag still moves the window by the drag distance.
# Qt's own idea of this frameless window's position can be wrong under openbox, which would
# make the window jump on the first motion: every position is read from X (xwininfo).
# Usage: move_resize.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
source "$(dirname "${BASH_SOURCE[0]}")/drag.sh"
h_begin move_resize "$@"

h_overlay_over_probe

# Window-local points. The caption "房间号:" is drawn at x 25..61, y 5..17; the room field
# ends at x 122 and the viewers icon starts at x 130 (width 277), so x 126 is the empty
# stretch between them. Side zones are checked at y 150, clear of the hover toolbar (y 22..46)
# that covers the side columns while the pointer is over the window.
CAPTION=(38 11)
STRETCH=(126 12)
SIDE_Y=150

# --- locked: a title drag goes to the window beneath ------------------------------------
before=$(h_probe_lines)
from_x=$((OX + CAPTION[0])) from_y=$((OY + CAPTION[1]))
d_drag "$from_x" "$from_y" "$((from_x - 150))" "$((from_y + 60))"
xdotool mousemove "$MARK_X" "$MARK_Y" click 1 || fail "xdotool click failed"
h_wait_probe_line "$before" "^press $((MARK_X - PROBE_X)) $((MARK_Y - PROBE_Y))\$" 5 ||
    fail "the probe never saw the marker click at $MARK_X,$MARK_Y"
h_wait_probe_line "$before" "^press $((from_x - PROBE_X)) $((from_y - PROBE_Y))\$" 0 ||
    fail "locked, a press on the title strip at $from_x,$from_y did not reach the window" \
        "beneath: $(tail -n +$((before + 1)) "$PROBE_LOG" | tr '\n' ' ')"
h_geometry "$OVERLAY"
[[ "$GX,$GY,$GW,$GH" == "$OX,$OY,$OW,$OH" ]] ||
    fail "locked, a title drag by -150,+60 changed the overlay from $OX,$OY ${OW}x${OH} to" \
        "$GX,$GY ${GW}x${GH}"
h_log "locked: the title drag reached the probe, the overlay stayed at $OX,$OY"

xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" block 5 || fail "F10 did not unlock the overlay"
h_log "unlocked with F10"

# --- title strip: the window follows the mouse ------------------------------------------
from_x=$((OX + CAPTION[0])) from_y=$((OY + CAPTION[1]))
d_press_move "$from_x" "$from_y" "$((from_x - 100))" "$((from_y + 25))"
d_wait_geometry "$OVERLAY" "$((OX - 100))" "$((OY + 25))" "$OW" "$OH" ||
    fail "button held after a drag by -100,+25 from the caption at $from_x,$from_y: overlay" \
        "at $GX,$GY ${GW}x${GH}, expected $((OX - 100)),$((OY + 25)) ${OW}x${OH}"
xdotool sleep 0.02 mousemove "$((from_x - 150))" "$((from_y + 40))" sleep 0.02 \
    mousemove "$((from_x - 200))" "$((from_y + 50))" || fail "xdotool mousemove failed"
d_release
d_wait_geometry "$OVERLAY" "$((OX - 200))" "$((OY + 50))" "$OW" "$OH" ||
    fail "a drag by -200,+50 from the caption at $from_x,$from_y left the overlay at" \
        "$GX,$GY ${GW}x${GH}, expected $((OX - 200)),$((OY + 50)) ${OW}x${OH}"
OX=$GX OY=$GY
h_log "caption drag by -200,+50: overlay at $OX,$OY (and at -100,+25 while held)"

# Released: moving the mouse on must not drag the window along.
xdotool mousemove "$((OX + 150))" "$((OY + 200))" sleep 0.02 \
    mousemove "$((OX + 170))" "$((OY + 230))" || fail "xdotool mousemove failed"
moved() {
    h_geometry "$OVERLAY"
    [[ "$GX,$GY,$GW,$GH" != "$OX,$OY,$OW,$OH" ]]
}
if h_poll 0.5 moved; then
    fail "after the release the overlay still followed the mouse: now at $GX,$GY ${GW}x${GH}"
fi

d_move_drag "a drag on the title strip's empty stretch" \
    "$((OX + STRETCH[0]))" "$((OY + STRETCH[1]))" 40 -30
h_log "stretch drag by +40,-30: overlay at $OX,$OY"

# --- edges --------------------------------------------------------------------------------
# An edge drag must end with the dragged edge at the mouse (within 2 px: where exactly the
# last column lands relative to the pointer is not the point) and every other edge unchanged.
# Usage: resized WHAT MOUSE_X MOUSE_Y LEFT TOP RIGHT BOTTOM, with each of LEFT TOP RIGHT
# BOTTOM either "mouse" (follows the pointer) or "keep" (as before the drag).
resized() {
    local what=$1 mx=$2 my=$3
    local -A want=([left]=$4 [top]=$5 [right]=$6 [bottom]=$7)
    # shellcheck disable=SC2317 # called through h_poll
    _edges_ok() {
        h_geometry "$OVERLAY"
        local -A now=([left]=$GX [top]=$GY [right]=$((GX + GW)) [bottom]=$((GY + GH)))
        local -A old=([left]=$OX [top]=$OY [right]=$((OX + OW)) [bottom]=$((OY + OH)))
        local -A pointer=([left]=$mx [top]=$my [right]=$mx [bottom]=$my)
        local edge
        for edge in left top right bottom; do
            if [[ "${want[$edge]}" == mouse ]]; then
                d_near "${now[$edge]}" "${pointer[$edge]}" 2 || return 1
            else
                [[ "${now[$edge]}" == "${old[$edge]}" ]] || return 1
            fi
        done
    }
    h_poll 3 _edges_ok ||
        fail "$what: the mouse ended at $mx,$my; the overlay went from $OX,$OY ${OW}x${OH} to" \
            "$GX,$GY ${GW}x${GH} (wanted left ${want[left]}, top ${want[top]}," \
            "right ${want[right]}, bottom ${want[bottom]})"
    h_log "$what: $OX,$OY ${OW}x${OH} -> $GX,$GY ${GW}x${GH}"
    OX=$GX OY=$GY OW=$GW OH=$GH
}

# Right edge outwards by 60.
from_x=$((OX + OW - 2)) from_y=$((OY + SIDE_Y))
d_drag "$from_x" "$from_y" "$((from_x + 60))" "$from_y"
resized "right edge +60" "$((from_x + 60))" "$from_y" keep keep mouse keep
((OW > 277 + 50)) || fail "the right edge drag did not widen the overlay: width $OW"

# Right edge inwards far past the minimum: stops at width 277.
from_x=$((OX + OW - 2))
d_drag "$from_x" "$from_y" "$((from_x - 400))" "$from_y"
d_wait_geometry "$OVERLAY" "$OX" "$OY" 277 "$OH" ||
    fail "dragging the right edge 400 px inwards left the overlay at $GX,$GY ${GW}x${GH};" \
        "expected $OX,$OY 277x$OH (the minimum width)"
h_log "right edge -400: stopped at width $GW"
OW=$GW

# Bottom edge outwards by 50, then inwards far past the minimum: stops at height 212.
from_x=$((OX + 100)) from_y=$((OY + OH - 2))
d_drag "$from_x" "$from_y" "$from_x" "$((from_y + 50))"
resized "bottom edge +50" "$from_x" "$((from_y + 50))" keep keep keep mouse
from_y=$((OY + OH - 2))
d_drag "$from_x" "$from_y" "$from_x" "$((from_y - 400))"
d_wait_geometry "$OVERLAY" "$OX" "$OY" "$OW" 212 ||
    fail "dragging the bottom edge 400 px inwards left the overlay at $GX,$GY ${GW}x${GH};" \
        "expected $OX,$OY ${OW}x212 (the minimum height)"
h_log "bottom edge -400: stopped at height $GH"
OH=$GH

# Left edge outwards by 80: the left edge moves, the right edge stays, the window widens.
from_x=$((OX + 2)) from_y=$((OY + SIDE_Y))
((SIDE_Y <= OH - 6)) || fail "test error: y $SIDE_Y is below the left zone of height $OH"
d_drag "$from_x" "$from_y" "$((from_x - 80))" "$from_y"
resized "left edge -80" "$((from_x - 80))" "$from_y" mouse keep keep keep
((OW > 277 + 70)) || fail "the left edge drag did not widen the overlay: width $OW"

# Left edge inwards past the right edge, in 20 steps: the edge stops at the last step that
# kept 277 or more between the mouse and the right edge.
from_x=$((OX + 2))
to_x=$((OX + OW + 100))
step=$(((to_x - from_x + 19) / 20))
d_drag "$from_x" "$from_y" "$to_x" "$from_y" 20
left_stopped() {
    h_geometry "$OVERLAY"
    ((GX + GW == OX + OW && GY == OY && GH == OH && GW >= 277 && GW <= 277 + step + 1))
}
h_poll 3 left_stopped ||
    fail "dragging the left edge from $from_x to $to_x (steps of $step px) left the overlay" \
        "at $GX,$GY ${GW}x${GH}; expected the right edge at $((OX + OW)), the top at $OY," \
        "height $OH and a width of 277..$((277 + step + 1))"
h_log "left edge far inwards: $OX,$OY ${OW}x${OH} -> $GX,$GY ${GW}x${GH}"
OX=$GX OW=$GW

# --- corners ------------------------------------------------------------------------------
from_x=$((OX + 2)) from_y=$((OY + OH - 2))
d_drag "$from_x" "$from_y" "$((from_x - 30))" "$((from_y + 30))"
resized "bottom-left corner -30,+30" "$((from_x - 30))" "$((from_y + 30))" \
    mouse keep keep mouse

from_x=$((OX + OW - 2)) from_y=$((OY + OH - 2))
d_drag "$from_x" "$from_y" "$((from_x + 40))" "$((from_y + 20))"
resized "bottom-right corner +40,+20" "$((from_x + 40))" "$((from_y + 20))" \
    keep keep mouse mouse

# --- after resizing, the title drag still moves by the drag distance -----------------------
d_move_drag "after resizing, a caption drag" "$((OX + CAPTION[0]))" "$((OY + CAPTION[1]))" 60 40
h_log "caption drag by +60,+40 after resizing: overlay at $OX,$OY ${OW}x${OH}"

# A picture of the moved and resized window.
h_screenshot_unhovered move_resize-final
h_log "saved $ARTEFACTS/move_resize-final.png"

h_alive "$APP_PID" || fail "the overlay exited during the test"
h_log "PASS"
