#!/usr/bin/env bash
# Under sway the desktop owns the keys: a binding `bindsym F10 exec kibchat --toggle-lock`
# locks and unlocks the overlay, which has no key watcher of its own there. Locked by the key,
# clicks go to the fullscreen window beneath and the overlay holds no keyboard (by the
# compositor's own events, from WAYLAND_DEBUG); the binding consumes F10, so the window beneath
# never sees it. Where the desktop has the shortcut portal, the overlay asks it for the key
# instead and starts locked. The overlay runs as the compositor's user, as on a desktop, so
# that the binding's command reaches it.
# shellcheck source=SCRIPTDIR/wl_harness.sh
source "$(dirname "$0")/wl_harness.sh"
W_SWAY_CONFIG="bindsym F10 exec $1 --toggle-lock"
w_begin wayland_lock_key "$@"
command -v wtype >/dev/null || fail "required tool 'wtype' is not installed"

[[ -x "${KIBCHAT_FAKE_PORTAL:-}" ]] || fail "the test portal KIBCHAT_FAKE_PORTAL is not built"
# No session bus at first: no shortcut portal either.
unset DBUS_SESSION_BUS_ADDRESS

w_start_probe
# A working directory the compositor's user owns.
work="$SS_RUNTIME_DIR/work"
mkdir -p "$work" && ln -s "$(cd "$IMAGES" && pwd)" "$work/images"
owner="$(stat -c %U "$SS_RUNTIME_DIR"):"
[[ -n "${SS_RUN_AS[*]}" ]] && chown -R "$owner" "$work"
# Starts the overlay as the compositor's user, with the environment VAR=VALUE... WAYLAND_DEBUG:
# the log shows who has the keyboard.
start_app() {
    (cd "$work" && exec "${SS_RUN_AS[@]}" env XDG_RUNTIME_DIR="$SS_RUNTIME_DIR" \
        HOME="$SS_RUNTIME_DIR" WAYLAND_DEBUG=1 "$@" "$APP") >"$H_TMP/app.log" 2>&1 &
    APP_PID=$!
    H_PIDS+=("$APP_PID")
    h_poll 10 w_pixel_is $((OX + 200)) $((OY + 250)) 102,102,102 ||
        fail "no overlay at $((OX + 200)),$((OY + 250)): $(w_pixel $((OX + 200)) $((OY + 250)))"
}
start_app

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

# The desktop's shortcut portal, a stand-in on a private session bus: the overlay asks it for
# F10 and starts locked; the portal's key toggles it; a session the desktop ends unlocks it.
h_stop "$APP_PID"
mkdir -p "$SS_RUNTIME_DIR/bus"
[[ -n "${SS_RUN_AS[*]}" ]] && chown "$owner" "$SS_RUNTIME_DIR/bus"
bus_address="unix:path=$SS_RUNTIME_DIR/bus/socket"
h_spawn bus "${SS_RUN_AS[@]}" env XDG_RUNTIME_DIR="$SS_RUNTIME_DIR" HOME="$SS_RUNTIME_DIR" \
    dbus-daemon --session --nofork --address="$bus_address"
_bus_up() { [[ -S "$SS_RUNTIME_DIR/bus/socket" ]]; }
h_poll 5 _bus_up || fail "no private session bus"
mkfifo "$H_TMP/portal.in"
exec 7<>"$H_TMP/portal.in"
# Its commands come through the pipe (a background command's own input would be empty).
"${SS_RUN_AS[@]}" env DBUS_SESSION_BUS_ADDRESS="$bus_address" "$KIBCHAT_FAKE_PORTAL" \
    <"$H_TMP/portal.in" >"$H_TMP/portal.log" 2>&1 &
H_PIDS+=("$!")
_portal_says() { grep -q -x "$1" "$H_TMP/portal.log"; }
h_poll 5 _portal_says ready || fail "the test portal did not start"
start_app DBUS_SESSION_BUS_ADDRESS="$bus_address"
h_poll 5 _portal_says "bind F10" || fail "the overlay did not ask the portal for F10"
h_poll 5 w_click_reaches_probe $((OX + 200)) $((OY + 250)) ||
    fail "with the portal's key bound the overlay did not start locked"
printf 'press\nrelease\n' >&7
h_poll 5 _blocked || fail "the portal's key did not unlock the overlay"
printf 'press\nrelease\n' >&7
h_poll 5 w_click_reaches_probe $((OX + 200)) $((OY + 250)) ||
    fail "the portal's key did not lock the overlay again"
h_log "the portal bound F10; it started locked, and the portal's key unlocked and locked it"
printf 'close\n' >&7
h_poll 5 _blocked || fail "the session the desktop ended left the overlay locked"
h_log "the desktop ended the portal's session: the overlay unlocked itself"
