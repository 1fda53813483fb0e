# shellcheck shell=bash
# shellcheck disable=SC2034 # variables set here are read by the sourcing test scripts
# Shared helpers for the desktop tests, sourced by each test script.
#
# A script calls h_begin NAME APP PROBE IMAGES ARTEFACTS first. That gives it a private
# Xvfb session (tools/xsession.sh) with a window manager (openbox, or the one KIBCHAT_GUI_WM names), a fresh XDG_RUNTIME_DIR (the single-instance guard lives there), a
# temporary working directory with `images` linked in, and an EXIT trap that stops every
# process started through h_spawn by its own PID and removes the temporary files.
# Every wait polls against a deadline; nothing waits forever.

set -u
set -o pipefail

H_NAME=""
H_TMP=""
H_PIDS=()
H_SCREEN_W=1280
H_SCREEN_H=800
# The session's window manager, by its command: openbox, kwin_x11, xfwm4, metacity, fluxbox
# or icewm. H_WM_COMPOSITES says whether it composites, so that window opacity shows on screen.
H_WM=${KIBCHAT_GUI_WM:-openbox}
H_WM_COMPOSITES=no
# shellcheck source=SCRIPTDIR/../../tools/simulator.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/simulator.sh"
APP=""
PROBE=""
IMAGES=""
ARTEFACTS=""
WORKDIR=""

H_T0=${EPOCHREALTIME/./}
h_log() { printf '[%s +%dms] %s\n' "$H_NAME" $(((${EPOCHREALTIME/./} - H_T0) / 1000)) "$*"; }

# Stops the test with a message, a screenshot and the logs of what it started.
fail() {
    printf '[%s] FAIL: %s\n' "$H_NAME" "$*" >&2
    if [[ -n "${DISPLAY:-}" ]]; then
        h_screenshot "${H_NAME}-failure" >/dev/null 2>&1 &&
            printf '[%s] screenshot: %s\n' "$H_NAME" "$ARTEFACTS/${H_NAME}-failure.png" >&2
    fi
    local log
    for log in "$H_TMP"/*.log; do
        [[ -f "$log" ]] || continue
        printf '[%s] --- %s (last 20 lines) ---\n' "$H_NAME" "${log##*/}" >&2
        tail -n 20 "$log" >&2
    done
    exit 1
}

# The session helper's wait and clock, under the names the tests use.
h_poll() { xs_poll "$@"; }
h_now_ms() { xs_now_ms; }

# Starts a command in the background with its output in $H_TMP/LOG.log; sets H_LAST_PID.
# Usage: h_spawn LOG command...
h_spawn() {
    local log=$1
    shift
    "$@" >"$H_TMP/$log.log" 2>&1 &
    H_LAST_PID=$!
    H_PIDS+=("$H_LAST_PID")
}

h_alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ -n "$state" && "$state" != Z* ]]
}

# Stops one process we started: SIGTERM, then SIGKILL after two seconds, then reaps it.
h_stop() {
    local pid=$1
    if h_alive "$pid"; then
        kill -TERM "$pid" 2>/dev/null
        if ! h_poll 2 eval "! h_alive $pid"; then
            kill -KILL "$pid" 2>/dev/null
            h_poll 2 eval "! h_alive $pid"
        fi
    fi
    wait "$pid" 2>/dev/null
    h_forget "$pid"
    return 0
}

# Drops a reaped PID from the list the cleanup stops: the number may soon name another
# process.
h_forget() {
    local i
    for i in "${!H_PIDS[@]}"; do
        [[ "${H_PIDS[i]}" == "$1" ]] && unset 'H_PIDS[i]'
    done
    H_PIDS=("${H_PIDS[@]}")
}

# Waits until PID has exited (bounded) and sets H_STATUS to its exit status.
h_wait_exit() {
    local pid=$1 seconds=$2
    h_poll "$seconds" eval "! h_alive $pid" || return 1
    wait "$pid"
    H_STATUS=$?
    h_forget "$pid"
    return 0
}

h_cleanup() {
    local i
    for ((i = ${#H_PIDS[@]} - 1; i >= 0; i--)); do
        h_stop "${H_PIDS[i]}"
    done
    xs_stop
    [[ -n "$H_TMP" && -d "$H_TMP" ]] && rm -rf "$H_TMP"
}

# h_prepare NAME APP PROBE IMAGES ARTEFACTS [TOOL...]: what every desktop test needs besides
# its display: the arguments checked, a temporary folder removed by the EXIT trap, private
# XDG folders, a working directory with `images`, and loopback-only service addresses.
h_prepare() {
    H_NAME=$1
    APP=$2
    PROBE=$3
    IMAGES=$4
    ARTEFACTS=$5
    # Absolute paths: the overlay runs from another working directory.
    [[ "$APP" == /* ]] || APP="$PWD/$APP"
    [[ "$PROBE" == /* ]] || PROBE="$PWD/$PROBE"
    shift 5
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "required tool '$tool' is not installed"
    done
    [[ -x "$APP" ]] || fail "overlay executable '$APP' not found"
    [[ -x "$PROBE" ]] || fail "probe executable '$PROBE' not found"
    [[ -d "$IMAGES" ]] || fail "images folder '$IMAGES' not found"
    mkdir -p "$ARTEFACTS" || fail "cannot create '$ARTEFACTS'"

    H_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-gui.XXXXXX") || fail "mktemp failed"
    trap h_cleanup EXIT
    trap 'exit 130' INT TERM

    # Each test gets its own runtime dir, so guards of other sessions never interfere.
    export XDG_RUNTIME_DIR="$H_TMP/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_CONFIG_HOME="$H_TMP/config" XDG_CACHE_HOME="$H_TMP/cache"
    export XDG_DATA_HOME="$H_TMP/data"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
    WORKDIR="$H_TMP/work"
    mkdir -p "$WORKDIR" && ln -s "$(cd "$IMAGES" && pwd)" "$WORKDIR/images"

    # The overlay's service addresses: loopback only, a port where nothing listens, so a test
    # never reaches beyond this machine nor depends on a simulator being up.
    export KIBCHAT_ROOMINFO_URL=http://127.0.0.1:9 KIBCHAT_CHAT_URL=http://127.0.0.1:9
    export KIBCHAT_DOWNLOAD_HOST=127.0.0.1:9
}

# h_begin NAME APP PROBE IMAGES ARTEFACTS [...]: further arguments are the script's own
h_begin() {
    h_prepare "${@:1:5}" Xvfb "$H_WM" xdotool xdpyinfo xprop xwininfo xev import convert compare
    unset WAYLAND_DISPLAY
    export QT_QPA_PLATFORM=xcb

    # The session's logs (xvfb.log, wm.log) stay with the test's, for fail() to show.
    XS_WM=$H_WM XS_SCREEN="${H_SCREEN_W}x${H_SCREEN_H}x24" XS_LOG_DIR=$H_TMP
    xs_start || fail "$XS_ERROR"
    # shellcheck disable=SC2153 # set by xs_start (tools/xsession.sh, through simulator.sh)
    H_WM_COMPOSITES=$XS_WM_COMPOSITES
    h_log "session on $DISPLAY under $H_WM, temp $H_TMP"
}

# Starts the overlay in DIR (default: the test's working dir); sets H_LAST_PID.
# Usage: h_start_app LOG [DIR]
h_start_app() {
    local log=$1 dir=${2:-$WORKDIR}
    (cd "$dir" && exec "$APP") >"$H_TMP/$log.log" 2>&1 &
    H_LAST_PID=$!
    H_PIDS+=("$H_LAST_PID")
}

# Prints the ids of PID's mapped windows that xdotool finds with --KIND PATTERN
# (KIND: classname or name); fails when there are none.
h_find_visible() {
    local pid=$1 kind=$2 pattern=$3
    xdotool search --all --onlyvisible --pid "$pid" "--$kind" "$pattern" 2>/dev/null | grep .
}

# Waits for such a window and sets H_WIN to its id (decimal); fails at once when the
# process ends first.
# Usage: h_wait_window PID KIND PATTERN [SECONDS]
h_wait_window() {
    local pid=$1 kind=$2 pattern=$3 seconds=${4:-10}
    # shellcheck disable=SC2317 # called through h_poll
    _h_window_or_gone() { h_find_visible "$pid" "$kind" "$pattern" >/dev/null || ! h_alive "$pid"; }
    h_poll "$seconds" _h_window_or_gone
    H_WIN=$(h_find_visible "$pid" "$kind" "$pattern" | head -n1)
    [[ -n "$H_WIN" ]] && return 0
    h_alive "$pid" || fail "pid $pid ($kind '$pattern') exited before showing a window"
    fail "no visible window of pid $pid with $kind '$pattern' within ${seconds}s"
}

# Waits for the overlay window of PID and sets H_WIN. Where the desktop has a tray, the tray
# icon, its menu and its message are windows of the same class: the overlay is the one of its
# size (at least 200 x 200).
h_wait_overlay() {
    local pid=$1 seconds=${2:-10}
    h_wait_window "$pid" classname '^kibchat$' "$seconds"
    # shellcheck disable=SC2317 # called through h_poll
    _h_overlay_shown() {
        local w
        for w in $(h_find_visible "$pid" classname '^kibchat$'); do
            h_geometry "$w"
            ((GW >= 200 && GH >= 200)) && H_WIN=$w && return 0
        done
        return 1
    }
    h_poll "$seconds" _h_overlay_shown || fail "no overlay-sized window of pid $pid"
}

# Absolute geometry of a window as X sees it: sets GX GY GW GH.
h_geometry() {
    local info
    info=$(xwininfo -id "$1") || fail "xwininfo -id $1 failed"
    GX=$(awk -F: '/Absolute upper-left X/ {gsub(/ /, "", $2); print $2}' <<<"$info")
    GY=$(awk -F: '/Absolute upper-left Y/ {gsub(/ /, "", $2); print $2}' <<<"$info")
    GW=$(awk -F: '/^ *Width/ {gsub(/ /, "", $2); print $2}' <<<"$info")
    GH=$(awk -F: '/^ *Height/ {gsub(/ /, "", $2); print $2}' <<<"$info")
    [[ -n "$GX" && -n "$GY" && -n "$GW" && -n "$GH" ]] || fail "cannot parse xwininfo for $1"
}

# Saves the screen as $ARTEFACTS/NAME.png, or only the rectangle X Y W H of it.
h_screenshot() {
    local name=$1 out="$ARTEFACTS/$1.png"
    if (($# == 5)); then
        import -window root -crop "${4}x${5}+${2}+${3}" +repage "$out"
    else
        import -window root "$out"
    fi
}

# Prints the brightest grey level (0-255) in the screen rectangle X Y W H.
h_region_max() {
    import -window root -crop "${3}x${4}+${1}+${2}" +repage -colorspace Gray \
        -format '%[fx:int(255*maxima)]' info:- 2>/dev/null
}

# Saves the screen rectangle X Y W H as $H_TMP/NAME.png (scratch, not an artefact).
h_grab() {
    import -window root -crop "${4}x${5}+${2}+${3}" +repage "$H_TMP/$1.png"
}

# Prints how many pixels differ between two h_grab pictures.
h_grab_diff() {
    compare -metric AE "$H_TMP/$1.png" "$H_TMP/$2.png" null: 2>&1 | sed 's/ .*//'
}

# Prints the stacking place, bottom to top, that the X server gives the top-level window
# (the manager's frame, if any) holding the window ID (0x hex); -1 when it is not there. Not
# the manager's _NET_CLIENT_LIST_STACKING: fluxbox leaves that list behind.
h_stack_index() {
    local id=$1 info i
    for ((i = 0; i < 8; i++)); do
        info=$(xwininfo -tree -id "$id" 2>/dev/null | grep 'Parent window id') || break
        [[ "$info" == *"(the root window)"* ]] && break
        id=$(awk '{print $4}' <<<"$info")
    done
    # xwininfo lists the root's children top first.
    xwininfo -root -children | awk -v id="$id" '/^ +0x/ {n++; if ($1 == id) at = n}
        END {print at ? n - at : -1}'
}

# Prints "R,G,B" of the screen pixel at X Y.
h_pixel() {
    import -window root -crop "1x1+${1}+${2}" +repage -depth 8 txt:- 2>/dev/null |
        sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

# --- watching X events with xev ---------------------------------------------------------

# Starts xev on a window and leaves its output in $H_TMP/NAME.log.
# Usage: h_watch NAME TARGET MASK...   (TARGET: -root or a window id; MASK: xev -event masks)
h_watch() {
    local name=$1 target=$2
    shift 2
    local args=()
    if [[ "$target" == -root ]]; then args=(-root); else args=(-id "$target"); fi
    local mask
    for mask in "$@" property; do args+=(-event "$mask"); done
    h_spawn "$name" xev "${args[@]}"
}

# Sets the property ATOM on TARGET (-root or a window id) until xev NAME reports it: a
# mark in the event stream, so events before it are known to be in the log.
h_watch_mark() {
    local name=$1 target=$2 atom=$3
    local where=(-root)
    [[ "$target" == -root ]] || where=(-id "$target")
    # shellcheck disable=SC2317 # called through h_poll
    _h_mark_once() {
        xprop "${where[@]}" -f "$atom" 8s -set "$atom" 1 2>/dev/null &&
            h_poll 0.3 grep -q "($atom)" "$H_TMP/$name.log"
    }
    h_poll 5 _h_mark_once || fail "xev '$name' did not report the mark $atom"
}

# Prints the names of the events xev NAME saw between the marks START and END, one a line.
h_watch_events() {
    awk -v start="($2)" -v end="($3)" \
        'index($0, start) {on = 1} index($0, end) {on = 0} on && / event, serial/ {print $1}' \
        "$H_TMP/$1.log"
}

# --- the probe window -------------------------------------------------------------------

# h_start_probe X Y W H: starts the probe and waits until it is visible and focused.
# Sets PROBE_PID, PROBE_WIN, PROBE_LOG and the probe's client origin PROBE_X PROBE_Y.
h_start_probe() {
    h_spawn probe "$PROBE" --probe-title kibchat-probe --probe-rect "$1" "$2" "$3" "$4"
    PROBE_PID=$H_LAST_PID
    PROBE_LOG="$H_TMP/probe.log"
    h_wait_window "$PROBE_PID" name '^kibchat-probe$'
    PROBE_WIN=$H_WIN
    h_wait_settled "$PROBE_WIN" || fail "the probe window keeps moving"
    PROBE_X=$GX
    PROBE_Y=$GY
    h_focus_probe
}

# Waits until the window's geometry has stayed the same for 200 ms (bounded), and leaves it in
# GX GY GW GH: under KWin a new window was once read at 0,0, before its manager placed it.
h_wait_settled() {
    local win=$1 last="" since=0 now
    # shellcheck disable=SC2317 # called through h_poll
    _h_settled() {
        h_geometry "$win"
        now=$(h_now_ms)
        if [[ "$GX,$GY,$GW,$GH" != "$last" ]]; then
            last="$GX,$GY,$GW,$GH"
            since=$now
        fi
        ((now - since >= 200))
    }
    h_poll 5 _h_settled
}

h_probe_focused() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$PROBE_WIN" ]]; }

h_focus_probe() {
    h_probe_focused && return 0
    xdotool windowactivate "$PROBE_WIN" 2>/dev/null
    h_poll 5 h_probe_focused || fail "the probe window did not get the keyboard focus"
}

h_probe_lines() { wc -l <"$PROBE_LOG"; }

# Waits until the probe log holds, after line AFTER, a line matching the regex; bounded.
h_wait_probe_line() {
    local after=$1 regex=$2 seconds=${3:-5}
    h_poll "$seconds" eval "tail -n +$((after + 1)) '$PROBE_LOG' | grep -Eq '$regex'"
}

# Clicks at the absolute point X Y, then at the probe's own marker point MARK_X MARK_Y
# (a part of the probe no other window covers). The marker press arriving proves that the
# first click has been dealt with, so no sleep is needed. Returns 0 when the first click
# reached the probe at the expected probe-local point, 1 when it reached no window of it.
h_click_reaches_probe() {
    local x=$1 y=$2
    local before
    before=$(h_probe_lines)
    local mark_local="press $((MARK_X - PROBE_X)) $((MARK_Y - PROBE_Y))"
    xdotool mousemove "$x" "$y" click 1 mousemove "$MARK_X" "$MARK_Y" click 1 ||
        fail "xdotool click failed"
    h_wait_probe_line "$before" "^$mark_local\$" 5 ||
        fail "the probe never saw the marker click at $MARK_X,$MARK_Y"
    local presses
    presses=$(tail -n +$((before + 1)) "$PROBE_LOG" | grep '^press ' | grep -v -x "$mark_local")
    if [[ -z "$presses" ]]; then
        return 1
    fi
    local expected="press $((x - PROBE_X)) $((y - PROBE_Y))"
    grep -q -x "$expected" <<<"$presses" ||
        fail "the probe got '$presses' for a click at $x,$y; expected '$expected'"
    return 0
}

# Waits until clicks at X Y reach the probe (WANT=pass) or stop reaching it (WANT=block),
# then checks that the next two clicks agree, so a state that flips back is caught.
h_wait_click_state() {
    local x=$1 y=$2 want=$3 seconds=${4:-5}
    local deadline=$((SECONDS + seconds)) got
    while true; do
        if h_click_reaches_probe "$x" "$y"; then got=pass; else got=block; fi
        [[ "$got" == "$want" ]] && break
        ((SECONDS > deadline)) && return 1
    done
    local i
    for i in 1 2; do
        if h_click_reaches_probe "$x" "$y"; then got=pass; else got=block; fi
        [[ "$got" == "$want" ]] || return 1
    done
    return 0
}

# --- the overlay over the probe ---------------------------------------------------------

# Starts the overlay, then the probe under it (mapped after it, covering it), and sets:
#   APP_PID OVERLAY            the overlay's process and X window
#   OX OY OW OH                its absolute geometry as X reports it
#   MARK_X MARK_Y              a point of the probe that the overlay does not cover
#   BODY_X BODY_Y              a point of the overlay's chat area, clear of every button
#   LOCK_X LOCK_Y              the centre of the title bar's lock button
#   CLOSE_X CLOSE_Y            the centre of the title bar's 12x12 close button
# Title bar arithmetic: the outer layout's margins are 4,1,4,4 and the title bar's own
# layout's 2,2,2,0, so its items sit in x = 6 .. OW-6, y = 3 .. 23 (the bar is 22 high),
# centred at y = 13. The close button is the last item: x = OW-18 .. OW-6, y = 7 .. 19,
# centre OW-12. The lock button sits left of it after the layout's 6 px spacing and is at
# least 60 wide: its right edge is at OW-24, so OW-54 is inside it whatever its width.
# Checked on a screenshot: close glyph at x 261..268, y 9..16; lock icon and "F10" text at
# x 197..250, y 7..17 (OW = 277).
h_overlay_over_probe() {
    h_start_app app
    APP_PID=$H_LAST_PID
    h_wait_overlay "$APP_PID"
    OVERLAY=$H_WIN
    h_geometry "$OVERLAY"
    OX=$GX OY=$GY OW=$GW OH=$GH
    BODY_X=$((OX + 200))
    BODY_Y=$((OY + 250))
    LOCK_X=$((OX + OW - 54))
    LOCK_Y=$((OY + 13))
    CLOSE_X=$((OX + OW - 12))
    CLOSE_Y=$((OY + 13))
    h_start_probe 700 60 560 450
    MARK_X=$((PROBE_X + 20))
    MARK_Y=$((PROBE_Y + 200))
    ((MARK_X < OX)) || fail "the probe's marker point $MARK_X,$MARK_Y is under the overlay"
    h_wait_overlay_painted
    h_log "overlay at $OX,$OY ${OW}x${OH}; probe client at $PROBE_X,$PROBE_Y"
}

# Waits until the overlay has painted its title bar: the close button's glyph, drawn in
# light grey on black, is the mark. Needs OX OY OW.
h_wait_overlay_painted() {
    # shellcheck disable=SC2317 # called through h_poll
    _h_close_drawn() {
        local level
        level=$(h_region_max "$((OX + OW - 18))" "$((OY + 7))" 12 12)
        ((${level:-0} > 80))
    }
    h_poll 10 _h_close_drawn ||
        fail "the overlay painted no close button at $((OX + OW - 18)),$((OY + 7)) 12x12"
}

# Saves the overlay's rectangle (OX OY OW OH) as $ARTEFACTS/NAME.png as it looks with the
# pointer off it: on the bare desktop's bottom-left corner, the hover toolbar gone.
h_screenshot_unhovered() {
    xdotool mousemove 10 "$((H_SCREEN_H - 10))" || fail "xdotool mousemove failed"
    h_wait_overlay_painted
    # shellcheck disable=SC2317 # called through h_poll
    _h_toolbar_hidden() {
        local level
        level=$(h_region_max "$((OX + 22))" "$((OY + 25))" 14 14)
        ((${level:-255} < 40))
    }
    h_poll 3 _h_toolbar_hidden ||
        fail "the pointer left the window, but the hover toolbar still shows"
    h_screenshot "$1" "$OX" "$OY" "$OW" "$OH" || fail "screenshot failed"
}

# The line colours of the chat (badge, name, text, priced and free gift) and whether each shows
# on at least 3 pixels of the rectangle X Y W H (within a small tolerance for glyph edges).
declare -gA H_LINE_COLOURS=([badge]="255,255,0" [name]="64,123,201" [text]="255,255,255"
    [priced]="255,215,0" [free]="255,0,0")
h_colour_pixels() {
    convert "$H_TMP/overlay.png" -fuzz 3% -fill black +opaque "rgb($1)" \
        -fill white -opaque "rgb($1)" -format '%[fx:int(mean*w*h+0.5)]' info:
}
h_line_colours_shown() {
    h_grab overlay "$@"
    local role
    for role in "${!H_LINE_COLOURS[@]}"; do
        (($(h_colour_pixels "${H_LINE_COLOURS[$role]}") >= 3)) || return 1
    done
}
# Waits up to SECONDS for every line colour in X Y W H; fails, with the counts, when one is missing.
h_wait_line_colours() {
    local seconds=$1 role
    shift
    h_poll "$seconds" h_line_colours_shown "$@" && return 0
    for role in "${!H_LINE_COLOURS[@]}"; do
        h_log "$role: $(h_colour_pixels "${H_LINE_COLOURS[$role]}") pixels"
    done
    fail "not every line colour showed within $seconds s"
}

# Maps a stays-on-top probe window at 900,150 300x200, over the overlay's default place; sets
# BLOCKER_PID, BLOCKER and BLOCKER_HEX.
h_start_blocker() {
    h_spawn blocker "$PROBE" --probe-title kibchat-blocker --probe-on-top --probe-rect 900 150 300 200
    BLOCKER_PID=$H_LAST_PID
    h_wait_window "$BLOCKER_PID" name '^kibchat-blocker$'
    BLOCKER=$H_WIN
    BLOCKER_HEX=$(printf '0x%x' "$BLOCKER")
}
