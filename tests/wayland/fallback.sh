#!/usr/bin/env bash
# Where the compositor has no layer shell (weston), the overlay runs through XWayland when
# there is an X server (an Xvfb stands in for it here) and says so; with no X server either it
# runs as a plain Wayland window and says that. Each copy ends on SIGTERM with config.ini.
# shellcheck source=SCRIPTDIR/wl_harness.sh
source "$(dirname "$0")/wl_harness.sh"
W_COMPOSITOR=weston
w_begin wayland_fallback "$@"
{ command -v Xvfb && command -v xdotool; } >/dev/null || fail "Xvfb and xdotool are needed"

ss_has_global zwlr_layer_shell_v1 && fail "weston offers the layer shell: nothing falls back"

# No X server: a plain Wayland window.
h_start_app plain
pid=$H_LAST_PID
h_poll 10 grep -q 'native Wayland without the layer shell' "$H_TMP/plain.log" ||
    fail "the overlay did not say it runs without the layer shell: $(cat "$H_TMP/plain.log")"
h_alive "$pid" || fail "the overlay ended on weston"
h_stop "$pid"
[[ -f "$WORKDIR/config.ini" ]] || fail "no config.ini after SIGTERM on weston"
rm -f "$WORKDIR/config.ini"
h_log "weston alone: plain Wayland window, said so"

# With an X server beside it: through XWayland (here Xvfb), on the X11 backend.
# shellcheck disable=SC2034 # read by xs_start
XS_WM=none XS_LOG_DIR=$H_TMP
xs_start || fail "$XS_ERROR"
h_start_app xwayland
pid=$H_LAST_PID
h_poll 10 grep -q 'running through XWayland' "$H_TMP/xwayland.log" ||
    fail "the overlay did not say it runs through XWayland: $(cat "$H_TMP/xwayland.log")"
h_wait_window "$pid" classname '^kibchat$'
h_stop "$pid"
[[ -f "$WORKDIR/config.ini" ]] || fail "no config.ini after SIGTERM through XWayland"
h_log "weston with an X server: the X11 window, said so"
