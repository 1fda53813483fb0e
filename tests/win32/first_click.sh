#!/usr/bin/env bash
# The first click on a window just taken out of click-through, under wine, while another wine
# window is active: a stand-in for the overlay (the smoke program's click-window: topmost,
# tool, layered, click-through, unlocked after 2 s) must get that first click.
# Usage: first_click.sh WINE WINESERVER SMOKE_EXE IMAGES ARTEFACTS

wine=$1 wineserver=$2 smoke=$3
source "$(dirname "${BASH_SOURCE[0]}")/../gui/harness.sh"
h_begin first_click "$wine" "$smoke" "$4" "$5"
source "$(dirname "${BASH_SOURCE[0]}")/wine_prefix.sh"
wine_prefix "$wine" "$wineserver"

h_spawn keys "$wine" "$smoke" key-window
h_wait_window "$H_LAST_PID" name '^kibchat key window$' 30
KEYS=$H_WIN
h_spawn clicks "$wine" "$smoke" click-window
CLICKS_PID=$H_LAST_PID
h_wait_window "$CLICKS_PID" name '^kibchat click window$' 30
xdotool windowactivate "$KEYS" 2>/dev/null
# shellcheck disable=SC2317 # called through h_poll
keys_focused() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$KEYS" ]]; }
h_poll 10 keys_focused || fail "the other wine window did not get the focus"
h_poll 10 grep -q '^unlocked' "$H_TMP/clicks.log" || fail "the click window did not unlock"
h_log "$(tr -d '\r' <"$H_TMP/clicks.log")"
xdotool mousemove 550 200 click 1
downs() { tr -d '\r' <"$H_TMP/clicks.log" | grep -c '^down'; }
h_poll 3 grep -q '^down' "$H_TMP/clicks.log"
first=$(downs)
xdotool click 1
# shellcheck disable=SC2317 # called through h_poll
second_arrived() { (($(downs) > first)); }
h_poll 3 second_arrived
h_log "after two clicks: $(tr -d '\r' <"$H_TMP/clicks.log" | tr '\n' ' ')"
((first == 1)) || fail "the first click after the unlock was not delivered"
h_log "PASS"
