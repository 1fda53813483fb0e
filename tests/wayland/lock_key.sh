#!/usr/bin/env bash
# Under sway the desktop owns the keys: a binding `bindsym F10 exec kibchat --toggle-lock`
# locks and unlocks the overlay, which has no key watcher of its own there. Locked by the key,
# clicks go to the fullscreen window beneath and the overlay holds no keyboard (by the
# compositor's own events, from WAYLAND_DEBUG); the binding consumes F10, so the window beneath
# never sees it. The overlay runs as
# the compositor's user, as on a desktop, so that the binding's command reaches it.
# shellcheck source=SCRIPTDIR/wl_harness.sh
source "$(dirname "$0")/wl_harness.sh"
W_SWAY_CONFIG="bindsym F10 exec $1 --toggle-lock"
w_begin wayland_lock_key "$@"
command -v wtype >/dev/null || fail "required tool 'wtype' is not installed"

w_start_probe
# A working directory the compositor's user owns.
work="$SS_RUNTIME_DIR/work"
mkdir -p "$work" && ln -s "$(cd "$IMAGES" && pwd)" "$work/images"
[[ -n "${SS_RUN_AS[*]}" ]] && chown -R "$(stat -c %U "$SS_RUNTIME_DIR"):" "$work"
# WAYLAND_DEBUG: the log shows who has the keyboard.
(cd "$work" && exec "${SS_RUN_AS[@]}" env XDG_RUNTIME_DIR="$SS_RUNTIME_DIR" HOME="$SS_RUNTIME_DIR" \
    WAYLAND_DEBUG=1 "$APP") >"$H_TMP/app.log" 2>&1 &
APP_PID=$!
H_PIDS+=("$APP_PID")
h_poll 10 w_pixel_is $((OX + 200)) $((OY + 250)) 102,102,102 ||
    fail "no overlay at $((OX + 200)),$((OY + 250)): $(w_pixel $((OX + 200)) $((OY + 250)))"

# Whether the overlay holds no keyboard, by the compositor's enter and leave events, and got
# none since it last asked for no keyboard.
keyboard_gone() {
    awk '/wl_keyboard@[0-9]+\.enter\(/ {holds = 1; if (since) back = 1}
         /wl_keyboard@[0-9]+\.leave\(/ {holds = 0}
         /set_keyboard_interactivity\(0\)/ {since = 1; back = 0}
         END {exit !(since && !holds && !back)}' "$H_TMP/app.log"
}
# No watcher on Wayland: it starts unlocked, where it may have the keyboard (sway 1.7 gives
# it to every layer surface that takes keys on demand).
before=$(h_probe_lines)
wtype -k F10
h_poll 5 w_click_reaches_probe $((OX + 200)) $((OY + 250)) ||
    fail "the bound F10 did not lock the overlay"
h_poll 5 keyboard_gone || fail "locked, the overlay kept the keyboard (or got it back)"
wtype -k F7
sleep 0.3
keyboard_gone || fail "locked, a key typed gave the overlay the keyboard again"
tail -n +$((before + 1)) "$PROBE_LOG" | grep -q 'key F10' && fail "the probe saw the bound F10"
h_log "F10 bound to kibchat --toggle-lock locked it; clicks reach the window beneath, the keyboard left it"

wtype -k F10
_blocked() { ! w_click_reaches_probe $((OX + 200)) $((OY + 250)); }
h_poll 5 _blocked || fail "the bound F10 did not unlock the overlay"
h_log "F10 again unlocked it"
