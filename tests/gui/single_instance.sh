#!/usr/bin/env bash
# One copy per session: while one runs, a second (other working directory, same
# XDG_RUNTIME_DIR) exits with status 1 without creating or mapping any window, while a lock
# command (--toggle-lock) reaches the running copy and exits 0; once the first is killed with
# SIGKILL, a lock command finds no copy (status 1), and a new copy starts, shows its window and
# answers lock commands again.
# Usage: single_instance.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
h_begin single_instance "$@"

h_start_app first
FIRST_PID=$H_LAST_PID
h_wait_window "$FIRST_PID" classname '^kibchat$'
h_log "first copy (pid $FIRST_PID) shows window $H_WIN"

# Watch every window created or mapped on the screen while the second copy runs; two root
# property marks bracket that time in the watcher's output.
h_watch root -root substructure
h_watch_mark root -root KIBCHAT_TEST_START

OTHER_DIR="$H_TMP/other"
mkdir -p "$OTHER_DIR" && ln -s "$(cd "$IMAGES" && pwd)" "$OTHER_DIR/images"
h_start_app second "$OTHER_DIR"
SECOND_PID=$H_LAST_PID
h_wait_exit "$SECOND_PID" 10 || fail "the second copy is still running after 10 s"
((H_STATUS == 1)) || fail "the second copy exited with status $H_STATUS, expected 1"
# A lock command is no second copy: it reaches the first and shows nothing either.
(cd "$OTHER_DIR" && timeout 10 "$APP" --toggle-lock) ||
    fail "--toggle-lock with a copy running exited with status $?, expected 0"
h_watch_mark root -root KIBCHAT_TEST_END
events=$(h_watch_events root KIBCHAT_TEST_START KIBCHAT_TEST_END | sort | uniq -c)
grep -qE ' (CreateNotify|MapNotify|MapRequest|ReparentNotify)$' <<<"$events" &&
    fail "a window was created or mapped while the second copy ran:" \
    "$(tr '\n' ' ' <<<"$events")"
h_alive "$FIRST_PID" || fail "the first copy died when the second started"
h_log "second copy (pid $SECOND_PID): status 1, no window created or mapped"

# A copy killed outright leaves no guard behind.
kill -KILL "$FIRST_PID"
h_wait_exit "$FIRST_PID" 5 || fail "the first copy survived SIGKILL"
timeout 10 "$APP" --toggle-lock
status=$?
((status == 1)) || fail "--toggle-lock with no copy running exited with status $status, expected 1"
h_log "lock command: status 0 with a copy running, 1 with none"
h_start_app third
THIRD_PID=$H_LAST_PID
h_wait_window "$THIRD_PID" classname '^kibchat$' 10
h_log "after SIGKILL of the first, a new copy (pid $THIRD_PID) shows window $H_WIN"
# The watcher does see a copy that starts: the check above was not blind.
h_watch_mark root -root KIBCHAT_TEST_AFTER
seen=$(h_watch_events root KIBCHAT_TEST_END KIBCHAT_TEST_AFTER | sort -u | tr '\n' ' ')
[[ "$seen" == *CreateNotify* && "$seen" == *MapNotify* ]] ||
    fail "the xev watcher did not see the new copy's window appear (saw: $seen)"
h_alive "$THIRD_PID" || fail "the new copy exited"
# The killed copy's socket was left behind: the new copy took it over.
timeout 10 "$APP" --lock || fail "--lock to the new copy exited with status $?, expected 0"
h_log "the new copy answers lock commands"
h_log "PASS"
