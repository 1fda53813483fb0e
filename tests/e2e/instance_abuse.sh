#!/usr/bin/env bash
# The single-instance guard under abuse: twenty copies started at once give exactly one
# window and nineteen exits with status 1 (the settings file untouched by them); after a
# SIGKILL of the survivor the guard file stays behind and the next copy still starts; a
# stale guard file with other contents and no permissions does not block either; copies
# started while the running one shuts down never make two windows.
# Usage: instance_abuse.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e_begin instance_abuse "$@"

GUARD="$XDG_RUNTIME_DIR/1592dd92-f147-42d0-9ee4-56f8b573d3d4.lock"
printf '[Config]\nroomName=abuse-room\n' >"$WORKDIR/config.ini"
config_before=$(md5sum <"$WORKDIR/config.ini")

visible_windows() { xdotool search --all --onlyvisible --classname '^kibchat$' 2>/dev/null | grep -c .; }

# --- twenty at once ----------------------------------------------------------------------
pids=()
for i in $(seq 1 20); do
    h_start_app "copy$i"
    pids+=("$H_LAST_PID")
done
# Nineteen must end; bounded wait for each.
deadline=$(($(h_now_ms) + 20000))
declare -A status=()
while ((${#status[@]} < 19)) && (($(h_now_ms) < deadline)); do
    for pid in "${pids[@]}"; do
        [[ -n "${status[$pid]:-}" ]] && continue
        if ! h_alive "$pid"; then
            wait "$pid"
            status[$pid]=$?
            h_forget "$pid"
        fi
    done
    sleep 0.05
done
((${#status[@]} == 19)) || fail "${#status[@]} of 20 simultaneous copies ended, expected 19"
for pid in "${!status[@]}"; do
    ((status[$pid] == 1)) || fail "copy $pid ended with status ${status[$pid]}, expected 1"
done
survivor=""
for pid in "${pids[@]}"; do [[ -z "${status[$pid]:-}" ]] && survivor=$pid; done
h_wait_window "$survivor" classname '^kibchat$' 10
# Give a late copy time to show a second window before counting.
sleep 1
n=$(visible_windows)
((n == 1)) || fail "$n overlay windows after twenty simultaneous starts, expected 1"
[[ "$(md5sum <"$WORKDIR/config.ini")" == "$config_before" ]] ||
    fail "the copies that gave up changed config.ini: $(cat "$WORKDIR/config.ini")"
h_log "20 at once: 19 exited with status 1, one window (pid $survivor)"

# --- SIGKILL leaves the guard file behind; it does not block -----------------------------
kill -KILL "$survivor"
# (bash reports the killed job on stderr; that is no failure)
h_wait_exit "$survivor" 5 2>/dev/null || fail "the survivor outlived SIGKILL"
[[ -e "$GUARD" ]] || fail "no guard file at $GUARD: the test would prove nothing"
h_start_app after-kill
next=$H_LAST_PID
h_wait_window "$next" classname '^kibchat$' 10
h_log "after SIGKILL, with $GUARD left behind: a new copy (pid $next) shows its window"

# --- a stale guard file with other contents and mode 000 ---------------------------------
h_stop "$next"
head -c 4096 /dev/urandom >"$GUARD"
chmod 000 "$GUARD"
h_start_app stale
stale=$H_LAST_PID
h_wait_window "$stale" classname '^kibchat$' 10
h_log "a stale guard file (random bytes, mode 000) did not block pid $stale"

# --- copies started while the running one shuts down -------------------------------------
kill -TERM "$stale"
late=()
for i in $(seq 1 5); do
    h_start_app "late$i"
    late+=("$H_LAST_PID")
    sleep 0.02
done
h_wait_exit "$stale" 5 || fail "SIGTERM did not end pid $stale"
sleep 2
n=$(visible_windows)
running=0
for pid in "${late[@]}"; do h_alive "$pid" && running=$((running + 1)); done
((n <= 1 && running <= 1)) ||
    fail "$running copies running and $n windows after starts during a shutdown, expected at most 1"
if ((running == 0)); then
    # All of them came while the guard was still held: one more start must now succeed.
    h_start_app last
    h_wait_window "$H_LAST_PID" classname '^kibchat$' 10
fi
h_log "5 starts during a shutdown: $running of them kept running, $n window(s)"
h_log "PASS"
