#!/usr/bin/env bash
# Under sway, the unlocked overlay: a drag on the title strip moves it by the drag distance
# (its margins follow), the right edge and the bottom-left corner resize it (the corner moves
# its left edge too), a drag after the resizes still moves it by the exact distance, and the
# close button ends it with status 0 and the new size in config.ini; started again, it opens
# where it was closed.
# shellcheck source=SCRIPTDIR/wl_harness.sh
source "$(dirname "$0")/wl_harness.sh"
w_begin wayland_move_resize "$@"

w_start_probe
w_start_overlay
w_overlay_at "$OX" "$OY" "$OW" "$OH" ||
    fail "the overlay opened at $GX,$GY ${GW}x${GH}, not $OX,$OY ${OW}x${OH}"

# The caption "房间号:" (window-local 38,11) is part of the title strip the window drags by.
fx=$((OX + 38)) fy=$((OY + 11))
w_pointer move "$fx" "$fy" wait 300 press move $((fx - 100)) $((fy + 25)) move $((fx - 200)) $((fy + 50)) release
w_overlay_at $((OX - 200)) $((OY + 50)) "$OW" "$OH" ||
    fail "a title drag by -200,+50 left the overlay at $GX,$GY ${GW}x${GH}"
OX=$GX OY=$GY
h_log "title drag: overlay at $OX,$OY"

# The right edge zone is the last four columns, below the title strip. The edge goes to the
# pointer: the rightmost column is one left of it.
fx=$((OX + OW - 2)) fy=$((OY + 150))
w_pointer move $((fx - 20)) "$fy" move "$fx" "$fy" wait 300 press move $((fx + 60)) "$fy" release
w_overlay_at "$OX" "$OY" $((OW + 58)) "$OH" ||
    fail "the right edge dragged by +60 left the overlay at $GX,$GY ${GW}x${GH}"
OW=$GW
h_log "right edge: width $OW"

# The bottom-left corner moves the left edge to the pointer and the bottom row to one above it.
fx=$((OX + 2)) fy=$((OY + OH - 2))
w_pointer move $((fx + 20)) $((fy - 20)) move "$fx" "$fy" wait 300 press move $((fx - 40)) $((fy + 30)) release
w_overlay_at $((OX - 38)) "$OY" $((OW + 38)) $((OH + 28)) ||
    fail "the bottom-left corner dragged by -40,+30 left the overlay at $GX,$GY ${GW}x${GH}"
OX=$GX OW=$GW OH=$GH
h_log "bottom-left corner: overlay at $OX,$OY ${OW}x${OH}"

fx=$((OX + 38)) fy=$((OY + 11))
w_pointer move "$fx" "$fy" wait 300 press move $((fx + 50)) $((fy - 10)) move $((fx + 100)) $((fy - 20)) release
w_overlay_at $((OX + 100)) $((OY - 20)) "$OW" "$OH" ||
    fail "after resizing, a title drag by +100,-20 left the overlay at $GX,$GY ${GW}x${GH}"
OX=$GX OY=$GY
w_screenshot wayland-moved-resized
h_log "title drag after resizing: overlay at $OX,$OY"

w_click $((OX + OW - 12)) $((OY + 13))
h_wait_exit "$APP_PID" 10 || fail "the close button did not end the overlay"
((H_STATUS == 0)) || fail "closed with status $H_STATUS"
{ grep -q "^appWidth=$OW\$" "$WORKDIR/config.ini" && grep -q "^appHeight=$OH\$" "$WORKDIR/config.ini"; } ||
    fail "config.ini after closing at ${OW}x${OH}: $(tr '\n' ' ' <"$WORKDIR/config.ini")"
h_log "closed with status 0, size ${OW}x${OH} saved"

h_start_app app-again
APP_PID=$H_LAST_PID
w_overlay_at "$OX" "$OY" "$OW" "$OH" ||
    fail "started again, the overlay opened at $GX,$GY ${GW}x${GH}, not at $OX,$OY ${OW}x${OH}"
h_log "started again where it was closed"
