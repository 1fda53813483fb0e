# shellcheck shell=bash
# Mouse drags and geometry waits for the move/resize tests; sourced after harness.sh.
#
# The overlay picks the resize zone from the last pointer motion it saw over its own window
# before the press, so every drag first hovers: it moves one pixel below the start point and
# then onto it. The second move always produces a motion event, even when the pointer already
# sat on the start point (a move to where the pointer is produces none). The drag itself is
# cut into several steps with short pauses, so the overlay sees motion with the button held.

# d_hover X Y: puts the pointer on the absolute point X Y with a motion event there.
d_hover() {
    xdotool mousemove "$1" "$(($2 + 1))" mousemove "$1" "$2" || fail "xdotool mousemove failed"
}

# d_press_move X0 Y0 X1 Y1 [STEPS]: hovers at X0 Y0, presses the left button and moves to
# X1 Y1 in STEPS (default 8) even steps, leaving the button held.
d_press_move() {
    local x0=$1 y0=$2 x1=$3 y1=$4 steps=${5:-8} i
    local args=(mousedown 1)
    for ((i = 1; i <= steps; i++)); do
        args+=(sleep 0.02 mousemove "$((x0 + (x1 - x0) * i / steps))" "$((y0 + (y1 - y0) * i / steps))")
    done
    d_hover "$x0" "$y0"
    xdotool "${args[@]}" || fail "xdotool drag from $x0,$y0 to $x1,$y1 failed"
}

# d_release: lets the left button go where the pointer is.
d_release() {
    xdotool mouseup 1 || fail "xdotool mouseup failed"
}

# d_drag X0 Y0 X1 Y1 [STEPS]: a whole left-button drag from X0 Y0 to X1 Y1.
d_drag() {
    d_press_move "$@"
    d_release
}

# d_move_drag WHAT X Y DX DY: a drag from X Y by DX DY that must move the overlay ($OVERLAY,
# at $OX,$OY ${OW}x${OH}) by the same distance; OX and OY then hold its new place.
d_move_drag() {
    local what=$1 x=$2 y=$3 dx=$4 dy=$5 by
    by=$(printf '%+d,%+d' "$dx" "$dy")
    d_drag "$x" "$y" "$((x + dx))" "$((y + dy))"
    d_wait_geometry "$OVERLAY" "$((OX + dx))" "$((OY + dy))" "$OW" "$OH" ||
        fail "$what by $by from $x,$y left the overlay at $GX,$GY ${GW}x${GH}, expected" \
            "$((OX + dx)),$((OY + dy)) ${OW}x${OH}"
    OX=$GX OY=$GY
}

# d_wait_geometry WIN X Y W H [SECONDS]: waits until X reports the window at X,Y with size
# WxH; leaves the last reading in GX GY GW GH. Returns 1 on timeout.
d_wait_geometry() {
    local win=$1 want="$2,$3,$4,$5" seconds=${6:-3}
    # shellcheck disable=SC2317 # called through h_poll
    _d_at() {
        h_geometry "$win"
        [[ "$GX,$GY,$GW,$GH" == "$want" ]]
    }
    h_poll "$seconds" _d_at
}

# d_near A B TOLERANCE: true when |A - B| <= TOLERANCE.
d_near() {
    local d=$(($1 - $2))
    ((d < 0)) && d=$((-d))
    ((d <= $3))
}
