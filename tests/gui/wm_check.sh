#!/usr/bin/env bash
# The overlay under one window manager (KIBCHAT_GUI_WM), compactly: started with no
# config.ini over a focused window, as over a game,
#  - it comes up at its place and size, above that window, without taking its focus, and
#    stays above it when that window is raised;
#  - locked at start, clicks on it land on the window beneath;
#  - F10 (passed on to the focused window) unlocks: clicks stop there and the hover strip
#    shows under the pointer; a second F10 locks again, a third unlocks;
#  - its re-raise timer brings it back above a later stays-on-top window, whose focus it
#    leaves alone;
#  - under a compositing manager a white window shows through it at the opacity's share;
#  - the close button ends it with status 0, and config.ini is written.
# Usage: wm_check.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
source "$(dirname "${BASH_SOURCE[0]}")/drag.sh"
h_begin "wm_${KIBCHAT_GUI_WM:-openbox}" "$@"

GREEN="0,255,0" # the probe's background

# --- a focused window first; the overlay shown over it must leave it the focus --------------
h_start_probe 700 60 560 450
MARK_X=$((PROBE_X + 20))
MARK_Y=$((PROBE_Y + 200))
h_watch probe-focus "$PROBE_WIN" focus
h_watch_mark probe-focus "$PROBE_WIN" KIBCHAT_FOCUS_START

h_start_app app
APP_PID=$H_LAST_PID
h_wait_overlay "$APP_PID"
OVERLAY=$H_WIN
OVERLAY_HEX=$(printf '0x%x' "$OVERLAY")
PROBE_HEX=$(printf '0x%x' "$PROBE_WIN")
WANT="$((H_SCREEN_W - 327)),100 277x312"
at_place() {
    h_geometry "$OVERLAY"
    [[ "$GX,$GY ${GW}x$GH" == "$WANT" ]]
}
h_poll 3 at_place || fail "overlay at $GX,$GY ${GW}x$GH; expected $WANT"
OX=$GX OY=$GY OW=$GW OH=$GH
BODY_X=$((OX + 200)) BODY_Y=$((OY + 250))
CLOSE_X=$((OX + OW - 12)) CLOSE_Y=$((OY + 13))
h_wait_overlay_painted
h_screenshot "${H_NAME}-start" || fail "screenshot failed"
h_log "overlay $OVERLAY_HEX at $OX,$OY ${OW}x$OH"

# Above the probe in the manager's stacking and on the screen; again once the probe is raised.
overlay_on_top() {
    local o p
    o=$(h_stack_index "$OVERLAY_HEX")
    p=$(h_stack_index "$PROBE_HEX")
    ((o >= 0 && p >= 0 && o > p)) && [[ "$(h_pixel "$BODY_X" "$BODY_Y")" != "$GREEN" ]]
}
h_poll 3 overlay_on_top || fail "overlay not above the probe: $(xprop -root \
    _NET_CLIENT_LIST_STACKING), pixel at $BODY_X,$BODY_Y $(h_pixel "$BODY_X" "$BODY_Y")"
xdotool windowraise "$PROBE_WIN" || fail "xdotool windowraise failed"
h_focus_probe
h_poll 3 overlay_on_top || fail "the raised probe covers the overlay"
h_log "above the probe, also after raising it"

# --- locked at start ------------------------------------------------------------------------
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 ||
    fail "locked at start, yet a click on the overlay at $BODY_X,$BODY_Y did not reach the" \
        "window beneath"
h_click_reaches_probe "$CLOSE_X" "$CLOSE_Y" ||
    fail "locked, yet a click on the close button at $CLOSE_X,$CLOSE_Y did not pass through"
h_log "locked: clicks pass through"

# The focus never left the probe: no focus change of its own (grabs aside) since the mark.
h_watch_mark probe-focus "$PROBE_WIN" KIBCHAT_FOCUS_END
losses=$(awk 'index($0, "(KIBCHAT_FOCUS_START)") {on = 1} index($0, "(KIBCHAT_FOCUS_END)") {on = 0}
    on && /^FocusOut event/ {out = 1; next}
    out && /mode NotifyNormal/ && !/detail Notify(Inferior|Pointer)/ {n++}
    {out = 0} END {print n + 0}' "$H_TMP/probe-focus.log")
((losses == 0)) || fail "the probe lost the focus $losses time(s) while the overlay came up"
h_probe_focused || fail "the focus is on $(xdotool getwindowfocus), not on the probe"
h_log "the probe kept the focus throughout"

# --- F10 both ways --------------------------------------------------------------------------
unlock() {
    h_focus_probe
    local before
    before=$(h_probe_lines)
    xdotool key F10 || fail "xdotool key F10 failed"
    h_wait_probe_line "$before" '^key F10 up$' 5 || fail "the focused probe did not get F10"
    h_wait_click_state "$BODY_X" "$BODY_Y" block 5 ||
        fail "F10 did not unlock: clicks on the overlay at $BODY_X,$BODY_Y still pass"
}
unlock
h_log "F10 (passed on): unlocked"

PLUS=("$((OX + 22))" "$((OY + 25))" 14 14) # the hover strip's + icon
h_grab plus-outside "${PLUS[@]}"
plus_diff() {
    h_grab plus-now "${PLUS[@]}"
    h_grab_diff plus-outside plus-now
}
plus_shown() { (($(plus_diff) >= 10)); }
plus_hidden() { (($(plus_diff) < 3)); }
d_hover "$BODY_X" "$BODY_Y"
h_poll 3 plus_shown || fail "unlocked, the pointer on the overlay: no hover strip"
xdotool mousemove "$MARK_X" "$MARK_Y" || fail "xdotool mousemove failed"
h_poll 3 plus_hidden || fail "the pointer left the overlay, the hover strip stays"
h_log "hover strip shown and hidden"

h_focus_probe
xdotool key F10 || fail "xdotool key F10 failed"
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 || fail "a second F10 did not lock again"
unlock
h_log "F10: locked again, then unlocked"

# --- re-raised above a later stays-on-top window, leaving it the focus ------------------------
h_start_blocker
OVERLAP_X=$((OX + 20)) OVERLAP_Y=$((OY + 100))
blocker_focused() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$BLOCKER" ]]; }
above_blocker() {
    local o b
    o=$(h_stack_index "$OVERLAY_HEX")
    b=$(h_stack_index "$BLOCKER_HEX")
    ((o >= 0 && b >= 0 && o > b)) && [[ "$(h_pixel "$OVERLAP_X" "$OVERLAP_Y")" != "$GREEN" ]]
}
h_poll 5 blocker_focused || fail "the new stays-on-top window did not get the focus"
h_poll 6 above_blocker || fail "overlay not re-raised above a later stays-on-top window:" \
    "$(xprop -root _NET_CLIENT_LIST_STACKING)"
blocker_focused || fail "the re-raise took the focus (now $(xdotool getwindowfocus))"
h_stop "$BLOCKER_PID"
h_log "re-raised above a later stays-on-top window, which kept the focus"

# --- opacity, where a compositor blends it: black at 0.6 over white shows 40 % of it ---------
if [[ "$H_WM_COMPOSITES" == yes ]]; then
    h_spawn white "$PROBE" --probe-title kibchat-white --probe-colour white \
        --probe-rect 850 300 250 200
    h_wait_window "$H_LAST_PID" name '^kibchat-white$'
    h_geometry "$H_WIN"
    UNDER_X=$((OX + 60)) UNDER_Y=$((GY + 50)) # the overlay's empty chat area, over white
    BARE_X=$((GX + 20))                       # the white window beside the overlay
    ((GX + 20 < OX && UNDER_X < GX + GW && UNDER_Y < OY + OH - 10)) ||
        fail "the white window at $GX,$GY ${GW}x$GH is not half under the overlay"
    WANT_GREY=$((255 * 4 / 10))
    # Every channel of the pixel at X Y within LOW..HIGH.
    grey_within() {
        local r g b v
        IFS=, read -r r g b <<<"$(h_pixel "$1" "$2")"
        for v in "$r" "$g" "$b"; do ((${v:-0} >= $3 && ${v:-0} <= $4)) || return 1; done
    }
    h_poll 3 grey_within "$BARE_X" "$UNDER_Y" 250 255 ||
        fail "the white window is not white at $BARE_X,$UNDER_Y: $(h_pixel "$BARE_X" "$UNDER_Y")"
    h_poll 3 grey_within "$UNDER_X" "$UNDER_Y" $((WANT_GREY - 8)) $((WANT_GREY + 8)) ||
        fail "over white the overlay shows $(h_pixel "$UNDER_X" "$UNDER_Y") at" \
            "$UNDER_X,$UNDER_Y; opacity 0.6 gives about $WANT_GREY,$WANT_GREY,$WANT_GREY"
    h_screenshot "${H_NAME}-opacity" || fail "screenshot failed"
    h_log "over white: $(h_pixel "$UNDER_X" "$UNDER_Y") (opacity 0.6)"
fi

# --- the close button ends it ---------------------------------------------------------------
xdotool mousemove "$CLOSE_X" "$CLOSE_Y" click 1 || fail "xdotool click failed"
h_wait_exit "$APP_PID" 5 || fail "unlocked, the close button did not end the overlay"
((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS, not 0"
grep -q '^appWidth=277$' "$WORKDIR/config.ini" 2>/dev/null ||
    fail "no config.ini with appWidth=277 after the exit"
h_log "closed with status 0; config.ini written"
h_log "PASS"
