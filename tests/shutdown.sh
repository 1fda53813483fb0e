#!/usr/bin/env bash
# Desktop requests to end the overlay (SIGTERM, SIGINT, SIGHUP) run the normal shutdown: the
# settings file is written and the process exits 0 within a second, also while the room
# client is in a pacing wait or a retry pause.
# Usage: shutdown.sh KIBCHAT KIBCHAT_SIM IMAGES_DIR
set -uo pipefail
app=$(realpath "$1") sim=$(realpath "$2") images=$(realpath "$3")
tmp=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$tmp"

# A busy room with a long poll delay: the client spends its time in pacing waits.
# shellcheck source=SCRIPTDIR/../tools/simulator.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tools/simulator.sh"
sim_start "$tmp/sim.out" "$sim" --seed 3 --rate 50 --next 20 --log "$tmp/pacing.log" ||
    fail "$SIM_ERROR"
pids+=("$SIM_PID")
address=$SIM_ADDRESS

# run_case SIGNAL NAME URL: starts the overlay, waits until it is where the case wants it (a
# poll sent, or a second into its retry pauses), sends the signal and checks the exit.
run_case() {
    local sig=$1 name=$2 url=$3
    local dir="$tmp/$name-$sig"
    mkdir -p "$dir" && ln -s "$images" "$dir/images"
    printf '[Config]\nroomName=busy\n' >"$dir/config.ini"
    local before
    before=$(grep -c '/chatroom/msgs/' "$tmp/pacing.log" 2>/dev/null)
    (cd "$dir" && KIBCHAT_ROOMINFO_URL=$url KIBCHAT_CHAT_URL=$url exec "$app") \
        >"$dir/out.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    if [ "$name" = pacing ]; then
        local n=0
        until (($(grep -c '/chatroom/msgs/' "$tmp/pacing.log") > before)); do
            ((n++ < 200)) || fail "$name: the overlay never polled"
            sleep 0.05
        done
    fi
    sleep 1 # inside a pacing wait or a retry pause now
    kill -0 "$pid" 2>/dev/null || fail "$name: the overlay ended by itself"
    local start=$EPOCHREALTIME
    kill "-$sig" "$pid"
    local n=0
    while kill -0 "$pid" 2>/dev/null; do
        ((n++ < 40)) || fail "$name: still running 2 s after SIG$sig"
        sleep 0.05
    done
    wait "$pid"
    local status=$? took=$(((${EPOCHREALTIME/./} - ${start/./}) / 1000))
    ((status == 0)) || fail "$name: SIG$sig ended the overlay with status $status"
    ((took < 1000)) || fail "$name: SIG$sig took ${took} ms"
    grep -q '^appHeight=' "$dir/config.ini" || fail "$name: SIG$sig did not write config.ini"
    echo "ok: $name, SIG$sig: exit 0 after ${took} ms, settings written"
}

for sig in TERM INT HUP; do
    run_case "$sig" pacing "http://$address"
done
# Nothing listens on port 9: the client sits in its retry pauses.
run_case TERM retrying "http://127.0.0.1:9"
echo "shutdown: all cases passed"
