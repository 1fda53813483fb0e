# shellcheck shell=bash
# shellcheck disable=SC2034 # variables set here are read by the sourcing test scripts
# Helpers for the Wayland tests, sourced: the desktop tests' harness (tests/gui/harness.sh)
# for processes, waits and failure reports, with a private headless sway
# (tools/swaysession.sh) in place of the X session. The probe window is fullscreen, white.
#
#   w_begin NAME APP PROBE IMAGES ARTEFACTS   then w_start_probe, w_start_overlay ...

# shellcheck source=SCRIPTDIR/../gui/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../gui/harness.sh"
# shellcheck source=SCRIPTDIR/../../tools/swaysession.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/swaysession.sh"

W_SCREEN_W=1280
W_SCREEN_H=720
# The output's scale: its size in logical pixels stays the one above. Positions and sizes in
# the tests are logical pixels.
W_SCALE=${W_SCALE:-1}
VPOINTER=${KIBCHAT_VPOINTER:-}
# Where the overlay opens on this output with no config.ini: 50 px from the right, 100 down.
OX=$((W_SCREEN_W - 277 - 50)) OY=100 OW=277 OH=312

# Exit status that ctest counts as skipped (SKIP_RETURN_CODE).
W_SKIP=77

w_begin() {
    h_prepare "${@:1:5}" grim swaymsg wayland-info convert
    [[ -x "$VPOINTER" ]] || fail "the test pointer KIBCHAT_VPOINTER='$VPOINTER' is not built"
    unset DISPLAY QT_QPA_PLATFORM QT_WAYLAND_SHELL_INTEGRATION
    SS_OUTPUT="$((W_SCREEN_W * W_SCALE))x$((W_SCREEN_H * W_SCALE))" SS_LOG_DIR="$H_TMP/compositor"
    mkdir -p "$SS_LOG_DIR"
    SS_CONFIG=${W_SWAY_CONFIG:-}$'\nfor_window [title="^kibchat-probe$"] fullscreen enable'
    SS_CONFIG+=$'\n'"output HEADLESS-1 scale $W_SCALE"
    SS_COMPOSITOR=${W_COMPOSITOR:-sway}
    local rc=0
    ss_start || rc=$?
    if ((rc == 2)); then
        printf '[%s] SKIP: %s\n' "$H_NAME" "$SS_ERROR"
        exit "$W_SKIP"
    fi
    ((rc == 0)) || fail "$SS_ERROR"
    h_log "$SS_COMPOSITOR on $WAYLAND_DISPLAY, temp $H_TMP"
}

# Prints "R,G,B" of the output's pixel at X Y.
w_pixel() {
    grim -g "$1,$2 1x1" - 2>/dev/null | convert png:- -depth 8 txt:- 2>/dev/null |
        sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}
# Whether the pixel at X Y is R,G,B within TOLERANCE per channel.
w_pixel_is() {
    local want=$3 tolerance=${4:-3} got i
    got=$(w_pixel "$1" "$2")
    [[ -n "$got" ]] || return 1
    local -a g w
    IFS=, read -r -a g <<<"$got"
    IFS=, read -r -a w <<<"$want"
    for i in 0 1 2; do
        ((g[i] - w[i] <= tolerance && w[i] - g[i] <= tolerance)) || return 1
    done
}
w_screenshot() {
    local name=$1
    ((W_SCALE == 1)) || name+="-x$W_SCALE"
    grim "$ARTEFACTS/$name.png"
}

# The pointer: STEP... as kibchat-vpointer takes them.
w_pointer() { "$VPOINTER" "$W_SCREEN_W" "$W_SCREEN_H" "$@" || fail "the test pointer failed: $*"; }
w_click() { w_pointer move "$1" "$2" press release; }

# The fullscreen white probe that logs what reaches it; sets PROBE_PID, PROBE_LOG.
w_start_probe() {
    h_spawn probe env QT_QPA_PLATFORM=wayland "$PROBE" --probe-title kibchat-probe --probe-colour white
    PROBE_PID=$H_LAST_PID
    PROBE_LOG="$H_TMP/probe.log"
    h_poll 10 w_pixel_is 20 600 255,255,255 ||
        fail "the probe did not cover the output (pixel $(w_pixel 20 600))"
}

# Starts the overlay and waits until it shows over the white probe at the level-6 grey
# (255 x 0.4 = 102); sets APP_PID.
w_start_overlay() {
    h_start_app app
    APP_PID=$H_LAST_PID
    h_poll 10 w_pixel_is $((OX + 200)) $((OY + 250)) 102,102,102 ||
        fail "no overlay at $((OX + 200)),$((OY + 250)): pixel $(w_pixel $((OX + 200)) $((OY + 250)))"
}

# Clicks at X Y and then at a point of the probe clear of the overlay; the second press
# showing up proves the first was dealt with. 0 when the first reached the probe.
w_click_reaches_probe() {
    local before mark="press 20 600"
    before=$(h_probe_lines)
    w_pointer move "$1" "$2" press release move 20 600 press release
    h_wait_probe_line "$before" "^$mark\$" 5 || fail "the probe never saw the marker click"
    tail -n +$((before + 1)) "$PROBE_LOG" | grep -v -x "$mark" | grep -q -x "press $1 $2"
}

# Sets GX GY GW GH to the overlay's place on the output in logical pixels: the box of what is
# not the white probe. Fails when there is none.
w_overlay_rect() {
    local box
    box=$(grim - 2>/dev/null | convert png:- -threshold 90% -format '%@' info: 2>/dev/null)
    [[ "$box" =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
    GW=$((BASH_REMATCH[1] / W_SCALE)) GH=$((BASH_REMATCH[2] / W_SCALE))
    GX=$((BASH_REMATCH[3] / W_SCALE)) GY=$((BASH_REMATCH[4] / W_SCALE))
}
# Waits until the overlay is at X Y, W x H.
w_overlay_at() {
    local want="$1,$2,$3,$4"
    # shellcheck disable=SC2317 # called through h_poll
    _w_at() { w_overlay_rect && [[ "$GX,$GY,$GW,$GH" == "$want" ]]; }
    h_poll 5 _w_at
}
