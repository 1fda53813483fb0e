#!/usr/bin/env bash
# The lock commands from a second process, with a probe window under the overlay:
# `kibchat --toggle-lock`, `--unlock` and `--lock` change the running copy's lock mode (clicks
# stop or start passing through), each exits 0, and --lock and --unlock are idempotent.
# Usage: lock_command.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin lock_command "$@"

h_overlay_over_probe
h_wait_click_state "$BODY_X" "$BODY_Y" pass 5 || fail "not locked at start"

# Usage: command OPTION EXPECTED_STATE (pass: locked, block: unlocked)
command() {
    timeout 10 "$APP" "$1" || fail "kibchat $1 exited with status $?, expected 0"
    h_wait_click_state "$BODY_X" "$BODY_Y" "$2" 5 || fail "after kibchat $1 the overlay is not $2"
    h_log "kibchat $1: clicks $2"
}
command --toggle-lock block
command --toggle-lock pass
command --unlock block
command --unlock block
command --lock pass
command --lock pass

h_alive "$APP_PID" || fail "the overlay exited during the test"
h_log "PASS"
