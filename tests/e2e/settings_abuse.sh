#!/usr/bin/env bash
# config.ini under abuse. For each case the overlay starts (its window appears with the
# defaults or the values that can be read), its window answers a ping, and SIGTERM ends it
# with status 0 within 5 s, whatever becomes of the write:
#   garbage     64 KiB of random bytes                      -> default size 277x312
#   huge        10 MB: readable [Config] then 10 MB of junk  -> its width 300; junk kept
#   duplicate   [Config] twice, keys split between the two   -> both halves read
#   directory   config.ini is a directory (the write fails even for root) -> defaults
#   immutable   the working directory is immutable (chattr +i; root cannot write in it)
#               -> the stored values are read; the write fails; the file stays as it was
#   nobody      run as user nobody in a root-owned directory with a world-writable file
#               (setpriv): the usual "read-only directory" of an ordinary user
# Usage: settings_abuse.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
e_begin settings_abuse "$@"

# The immutable flag outlives us unless cleared: clear it before the harness removes files.
IMMUTABLE_DIRS=()
# shellcheck disable=SC2317 # the EXIT trap calls it
cleanup_all() {
    local d
    for d in "${IMMUTABLE_DIRS[@]}"; do chattr -i "$d" 2>/dev/null; done
    h_cleanup
}
trap cleanup_all EXIT

# run_case NAME DIR [COMMAND_PREFIX...]: starts the overlay in DIR, checks window, ping and a
# prompt clean exit on SIGTERM; sets W H (window size) for the caller's own checks.
run_case() {
    local name=$1 dir=$2
    shift 2
    (cd "$dir" && exec "$@" "$APP") >"$H_TMP/$name.log" 2>&1 &
    APP_PID=$!
    H_PIDS+=("$APP_PID")
    h_wait_window "$APP_PID" classname '^kibchat$' 15
    WIN=$H_WIN
    h_geometry "$WIN"
    W=$GW H=$GH
    e_ping "$name"
    h_alive "$APP_PID" || fail "$name: the overlay died after showing its window"
    local t0
    t0=$(h_now_ms)
    kill -TERM "$APP_PID"
    h_wait_exit "$APP_PID" 5 || fail "$name: SIGTERM did not end the overlay within 5 s"
    ((H_STATUS == 0)) || fail "$name: the overlay ended with status $H_STATUS"
    E_EXIT_MS=$(($(h_now_ms) - t0))
}

new_dir() {
    local dir="$H_TMP/$1"
    mkdir -p "$dir" && ln -s "$(cd "$IMAGES" && pwd)" "$dir/images"
    echo "$dir"
}

# --- garbage -----------------------------------------------------------------------------
dir=$(new_dir garbage)
head -c 65536 /dev/urandom >"$dir/config.ini"
run_case garbage "$dir"
((W == 277 && H == 312)) || fail "garbage: window ${W}x${H}, expected the default 277x312"
h_log "garbage: defaults (${W}x${H}), exit 0 in $E_EXIT_MS ms"

# --- huge --------------------------------------------------------------------------------
dir=$(new_dir huge)
{
    printf '[Config]\nroomName=huge-room\nappWidth=300\n\n[Junk]\n'
    # 10 MB of keys, and one 1 MB line among them.
    awk 'BEGIN { for (i = 0; i < 150000; i++) printf "key%06d=%s\n", i, "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz" }'
    printf 'longline=%s\n' "$(head -c 1000000 /dev/zero | tr '\0' 'x')"
    printf 'lastkey=end\n'
} >"$dir/config.ini"
size=$(stat -c %s "$dir/config.ini")
((size >= 10000000)) || fail "huge: test file only $size bytes"
run_case huge "$dir"
((W == 300)) || fail "huge: window width $W, expected the stored 300"
grep -q '^lastkey=end$' "$dir/config.ini" || fail "huge: the other section lost its last key on writing"
grep -q '^roomName=huge-room$' "$dir/config.ini" || fail "huge: roomName lost on writing"
h_log "huge ($size bytes): width $W read, exit 0 in $E_EXIT_MS ms, file rewritten with $(stat -c %s "$dir/config.ini") bytes"

# --- duplicate sections --------------------------------------------------------------------
dir=$(new_dir duplicate)
printf '[Config]\nroomName=first\nappWidth=290\n[Other]\na=1\n[Config]\nroomName=second\nappHeight=330\n[Other]\na=2\n' \
    >"$dir/config.ini"
run_case duplicate "$dir"
((W == 290 && H == 330)) || fail "duplicate: window ${W}x${H}, expected 290x330 from the two halves"
room=$(sed -n 's/^roomName=//p' "$dir/config.ini")
[[ "$room" == first || "$room" == second ]] || fail "duplicate: roomName became '$room'"
h_log "duplicate: ${W}x${H} from both halves, room kept as '$room', exit 0 in $E_EXIT_MS ms"

# --- config.ini is a directory --------------------------------------------------------------
dir=$(new_dir directory)
mkdir "$dir/config.ini"
run_case directory "$dir"
((W == 277 && H == 312)) || fail "directory: window ${W}x${H}, expected the default 277x312"
[[ -d "$dir/config.ini" ]] || fail "directory: config.ini is no longer a directory"
h_log "directory: defaults, exit 0 in $E_EXIT_MS ms, the write failed (still a directory)"

# --- immutable working directory ----------------------------------------------------------
dir=$(new_dir immutable)
printf '[Config]\nroomName=immutable-room\nappWidth=310\n' >"$dir/config.ini"
before=$(md5sum <"$dir/config.ini")
chattr +i "$dir" || fail "immutable: chattr +i failed (needs an ext2/3/4-like file system and root)"
IMMUTABLE_DIRS+=("$dir")
touch "$dir/probe-write" 2>/dev/null && fail "immutable: root can still create files in $dir"
run_case immutable "$dir"
((W == 310)) || fail "immutable: window width $W, expected the stored 310"
[[ "$(md5sum <"$dir/config.ini")" == "$before" ]] || fail "immutable: config.ini changed"
h_log "immutable directory: width $W read, exit 0 in $E_EXIT_MS ms, file unchanged"

# --- user nobody in a root-owned directory ---------------------------------------------------
dir=$(new_dir nobody)
printf '[Config]\nroomName=nobody-room\nappWidth=320\n' >"$dir/config.ini"
chmod 666 "$dir/config.ini"
chmod 755 "$dir"
before=$(md5sum <"$dir/config.ini")
# nobody needs a way in to the directory and a runtime directory of its own.
chmod 711 "$H_TMP"
runtime="$H_TMP/runtime-nobody"
mkdir -p "$runtime" && chown nobody "$runtime" && chmod 700 "$runtime"
# shellcheck disable=SC2016 # expanded by the inner shell
setpriv --reuid=nobody --regid=nogroup --clear-groups sh -c 'test -w "$1"' _ "$dir" &&
    fail "nobody: the user nobody can write in $dir"
run_case nobody "$dir" env XDG_RUNTIME_DIR="$runtime" \
    setpriv --reuid=nobody --regid=nogroup --clear-groups
((W == 320)) || fail "nobody: window width $W, expected the stored 320"
[[ "$(md5sum <"$dir/config.ini")" == "$before" ]] || fail "nobody: config.ini changed"
h_log "nobody in a read-only directory: width $W read, exit 0 in $E_EXIT_MS ms, file unchanged"
h_log "PASS"
