# shellcheck shell=bash
# shellcheck disable=SC2034 # the XS_ variables set here are read by the sourcing scripts
# A private X session for scripts and tests, sourced: an Xvfb on a display number the server
# picks itself (-displayfd, so sessions started at the same time never clash), a window
# manager, and DISPLAY exported once both answer. Everything is stopped by its own PID.
#
#   source tools/xsession.sh
#   xs_start || { echo "$XS_ERROR" >&2; exit 1; }
#   ...
#   xs_stop            # also run by the EXIT trap; safe to call twice
#   xs_poll SECONDS COMMAND...   # waits for COMMAND to succeed (xs_now_ms: the clock, in ms)
#
# Settings, read by xs_start:
#   XS_WM       openbox (default), kwin_x11, xfwm4, metacity, fluxbox, icewm, or none
#   XS_SCREEN   the screen, WxHxDEPTH (default 1280x800x24)
#   XS_XVFB     the X server's command (default Xvfb)
#   XS_LOG_DIR  where xvfb.log, wm.log (and dbus.log) go; default a folder of its own, removed
#               by xs_stop. A window manager that writes to its home gets XS_LOG_DIR/home.
# Set by xs_start: DISPLAY, XS_XVFB_PID, XS_WM_PID, XS_WM_COMPOSITES (yes when the manager
# composites, so window opacity shows on screen), XS_ERROR (why it failed).
#
# Safe under set -e. Call xs_start in the shell that calls xs_stop, not in a subshell: only
# the parent can reap them.
#
# Traps: xs_start adds xs_stop to the EXIT trap after whatever the caller's trap does (its own
# processes go before the display they draw on), and makes INT and TERM exit through it, after
# the caller's own handler for them. A caller that sets its EXIT trap later calls xs_stop from it.

XS_XVFB_PID=""
XS_WM_PID=""
XS_DBUS_PID=""
XS_WM_COMPOSITES=no
XS_ERROR=""
_XS_OWN_DIR=""
_XS_DISPLAY_BEFORE=""
_XS_HAD_DISPLAY=no

xs_now_ms() {
    local now=${EPOCHREALTIME/./}
    echo $((10#$now / 1000))
}

# Polls COMMAND every 50 ms for up to SECONDS (may be fractional); 1 on timeout. Also for the
# sourcing scripts.
xs_poll() {
    local whole=${1%%.*} frac=000
    [[ "$1" == *.* ]] && frac="${1#*.}000"
    local deadline=$(($(xs_now_ms) + 10#${whole:-0} * 1000 + 10#${frac:0:3}))
    shift
    until "$@"; do
        (($(xs_now_ms) < deadline)) || return 1
        sleep 0.05
    done
}

_xs_alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ -n "$state" && "$state" != Z* ]]
}
_xs_gone() { ! _xs_alive "$1"; }

# TERM, two seconds' grace, KILL, then reaps it.
_xs_stop_pid() {
    local pid=$1
    [[ -n "$pid" ]] || return 0
    if _xs_alive "$pid"; then
        kill -TERM "$pid" 2>/dev/null || true
        if ! xs_poll 2 _xs_gone "$pid"; then
            kill -KILL "$pid" 2>/dev/null || true
            xs_poll 2 _xs_gone "$pid" || true
        fi
    fi
    # The braces keep the shell's note of how it ended out of the output.
    { wait "$pid"; } 2>/dev/null || true
    return 0
}

_xs_fail() {
    XS_ERROR=$1
    xs_stop
    return 1
}

_xs_display_ready() { xdpyinfo >/dev/null 2>&1; }
_xs_wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Appends STOP (default xs_stop) to the EXIT trap and an exit to INT and TERM, keeping what
# was there.
_xs_chain_traps() {
    local stop=${1:-xs_stop} sig current code words
    for sig in EXIT INT TERM; do
        current=$(trap -p "$sig")
        code=""
        if [[ -n "$current" ]]; then
            # trap -p prints: trap -- 'CODE' SIG, quoted for the shell to read back.
            eval "words=($current)"
            code=${words[2]}
        fi
        case $sig in
        EXIT) [[ "$code" == *"$stop"* ]] || trap -- "${code:+$code; }$stop" EXIT ;;
        INT) [[ "$code" == *exit* ]] || trap -- "${code:+$code; }exit 130" INT ;;
        TERM) [[ "$code" == *exit* ]] || trap -- "${code:+$code; }exit 143" TERM ;;
        esac
    done
}

_xs_spawn() {
    local log=$1
    shift
    "$@" >"$XS_LOG_DIR/$log.log" 2>&1 &
}

# Starts XS_WM as a new user would meet it: default settings, a home of its own.
_xs_start_wm() {
    local home="$XS_LOG_DIR/home"
    mkdir -p "$home"
    case $XS_WM in
    openbox) _xs_spawn wm openbox --sm-disable ;;
    kwin_x11)
        XS_WM_COMPOSITES=yes
        _xs_spawn wm env HOME="$home" kwin_x11
        ;;
    xfwm4)
        # It wants a session bus: a private one, stopped with the session.
        command -v dbus-daemon >/dev/null || {
            _xs_fail "required tool 'dbus-daemon' is not installed"
            return 1
        }
        dbus-daemon --session --nofork --print-address=3 3>"$XS_LOG_DIR/dbus-address" \
            >"$XS_LOG_DIR/dbus.log" 2>&1 &
        XS_DBUS_PID=$!
        xs_poll 10 grep -q . "$XS_LOG_DIR/dbus-address" || {
            _xs_fail "the session bus gave no address"
            return 1
        }
        XS_WM_COMPOSITES=yes
        _xs_spawn wm env HOME="$home" \
            DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$XS_LOG_DIR/dbus-address")" xfwm4
        ;;
    metacity)
        XS_WM_COMPOSITES=yes
        _xs_spawn wm env HOME="$home" metacity
        ;;
    fluxbox)
        # Its default style sets a wallpaper, which fails here and says so in a window of its
        # own that takes the focus; no wallpaper keeps the session to the caller's windows.
        mkdir -p "$home/.fluxbox" && echo 'background: none' >"$home/.fluxbox/overlay"
        _xs_spawn wm env HOME="$home" fluxbox
        ;;
    icewm) _xs_spawn wm env HOME="$home" icewm ;;
    esac
    XS_WM_PID=$!
    xs_poll 15 _xs_wm_ready || {
        _xs_fail "$XS_WM did not take $DISPLAY (alive: $(_xs_alive "$XS_WM_PID" && echo yes || echo no))"
        return 1
    }
}

xs_start() {
    XS_WM=${XS_WM:-openbox}
    XS_SCREEN=${XS_SCREEN:-1280x800x24}
    XS_XVFB=${XS_XVFB:-Xvfb}
    XS_ERROR=""
    XS_WM_COMPOSITES=no
    if [[ -n "$XS_XVFB_PID" ]] && _xs_alive "$XS_XVFB_PID"; then
        XS_ERROR="an X session of this shell is running already (Xvfb pid $XS_XVFB_PID)"
        return 1
    fi
    case $XS_WM in
    openbox | kwin_x11 | xfwm4 | metacity | fluxbox | icewm | none) ;;
    *)
        XS_ERROR="unknown window manager '$XS_WM'"
        return 1
        ;;
    esac
    local tool tools=("$XS_XVFB")
    [[ "$XS_WM" == none ]] || tools+=("$XS_WM" xdpyinfo xprop)
    for tool in "${tools[@]}"; do
        command -v "$tool" >/dev/null || {
            XS_ERROR="required tool '$tool' is not installed"
            return 1
        }
    done
    if [[ -z "${XS_LOG_DIR:-}" ]]; then
        _XS_OWN_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-x.XXXXXX") || {
            XS_ERROR="mktemp failed"
            return 1
        }
        XS_LOG_DIR=$_XS_OWN_DIR
    fi
    mkdir -p "$XS_LOG_DIR"
    _XS_HAD_DISPLAY=no
    [[ -n "${DISPLAY+set}" ]] && _XS_HAD_DISPLAY=yes _XS_DISPLAY_BEFORE=$DISPLAY
    _xs_chain_traps xs_stop

    # -displayfd: the server picks a free display number and writes it once it accepts
    # connections. -noreset: a readiness probe's disconnect must not reset it.
    : >"$XS_LOG_DIR/displayfd"
    "$XS_XVFB" -displayfd 3 -screen 0 "$XS_SCREEN" -noreset -nolisten tcp \
        3>"$XS_LOG_DIR/displayfd" >"$XS_LOG_DIR/xvfb.log" 2>&1 &
    XS_XVFB_PID=$!
    xs_poll 10 grep -q '^[0-9][0-9]*$' "$XS_LOG_DIR/displayfd" || {
        _xs_fail "Xvfb did not report a display number (alive: $(_xs_alive "$XS_XVFB_PID" && echo yes || echo no))"
        return 1
    }
    DISPLAY=":$(head -n1 "$XS_LOG_DIR/displayfd")"
    export DISPLAY
    if [[ "$XS_WM" != none ]]; then
        xs_poll 10 _xs_display_ready || {
            _xs_fail "Xvfb on $DISPLAY does not answer"
            return 1
        }
        _xs_start_wm || return 1
    fi
    return 0
}

# Stops the manager (and its bus), then the server; gives DISPLAY back its value from before.
xs_stop() {
    local pid
    for pid in "$XS_WM_PID" "$XS_DBUS_PID" "$XS_XVFB_PID"; do _xs_stop_pid "$pid"; done
    XS_WM_PID="" XS_DBUS_PID=""
    if [[ -n "$XS_XVFB_PID" ]]; then
        XS_XVFB_PID=""
        if [[ "$_XS_HAD_DISPLAY" == yes ]]; then
            export DISPLAY=$_XS_DISPLAY_BEFORE
        else
            unset DISPLAY
        fi
    fi
    if [[ -n "$_XS_OWN_DIR" ]]; then
        rm -rf "$_XS_OWN_DIR"
        [[ "${XS_LOG_DIR:-}" == "$_XS_OWN_DIR" ]] && XS_LOG_DIR=""
        _XS_OWN_DIR=""
    fi
    return 0
}
