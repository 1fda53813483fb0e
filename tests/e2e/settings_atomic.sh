#!/usr/bin/env bash
# config.ini is written atomically. 1) Under strace, a normal shutdown writes a temporary
# file beside config.ini and renames it onto config.ini, and never opens config.ini itself
# for writing. 2) TRIES shutdowns (default 20) are cut by SIGKILL at random moments within
# the time a shutdown takes; after each, config.ini is either the old file byte for byte or
# a complete new one, never a torn one; what the kills leave behind blocks neither a later
# write nor a later shutdown. A large kept section makes the write last long enough for
# kills to land inside it.
# Usage: settings_atomic.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR [TRIES]

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
TRIES=${5:-20}
e_begin settings_atomic "${@:1:4}"
command -v strace >/dev/null || fail "strace is not installed"

KEEP_KEYS=20000
# The old file: two Config keys and a kept section of about 1.3 MB ending in a marker.
write_old() {
    {
        printf '[Config]\nroomName=atomic-%s\nappWidth=300\n\n[Keep]\n' "$1"
        awk -v n="$KEEP_KEYS" 'BEGIN { for (i = 0; i < n; i++) printf "k%05d=value-%05d-abcdefghijklmnopqrstuvwxyz-0123456789\n", i, i }'
        printf 'zzlast=end\n'
    } >"$2"
}

# Prints old, new or torn for FILE against the old bytes in OLD. New = what the overlay
# writes: all eight Config keys, the room kept, the whole kept section, the marker.
classify() {
    local file=$1 old=$2 room=$3
    if [[ -f "$file" ]] && cmp -s "$file" "$old"; then
        echo old
        return
    fi
    [[ -f "$file" ]] || {
        echo torn
        return
    }
    local key
    for key in roomName bBold Alpha fontFamily fontSize lineHeight appWidth appHeight; do
        grep -q "^$key=" "$file" || {
            echo torn
            return
        }
    done
    if grep -qx "roomName=$room" "$file" && grep -qx 'zzlast=end' "$file" &&
        (($(grep -c '^k[0-9]\{5\}=value-' "$file") == KEEP_KEYS)); then
        echo new
    else
        echo torn
    fi
}

# The check itself can fail: a cut copy of the old file is torn.
write_old self "$H_TMP/self-old.ini"
head -c 700000 "$H_TMP/self-old.ini" >"$H_TMP/self-cut.ini"
[[ "$(classify "$H_TMP/self-old.ini" "$H_TMP/self-old.ini" atomic-self)" == old ]] ||
    fail "the classifier does not know the old file"
[[ "$(classify "$H_TMP/self-cut.ini" "$H_TMP/self-old.ini" atomic-self)" == torn ]] ||
    fail "the classifier takes a cut file for a complete one"

# --- 1) strace: temporary file, then rename onto config.ini -------------------------------
write_old strace "$WORKDIR/config.ini"
trace="$H_TMP/strace.txt"
(cd "$WORKDIR" && exec strace -f -qq -o "$trace" \
    -e trace=rename,renameat,renameat2,openat,linkat,write,pwrite64,writev,ftruncate,close "$APP") \
    >"$H_TMP/strace-app.log" 2>&1 &
STRACE_PID=$!
H_PIDS+=("$STRACE_PID")
h_poll 20 eval 'xdotool search --onlyvisible --classname "^kibchat$" >/dev/null 2>&1' ||
    fail "the overlay under strace showed no window"
win=$(xdotool search --onlyvisible --classname '^kibchat$' | head -n1)
app_pid=$(xdotool getwindowpid "$win") || fail "no pid for window $win"
kill -TERM "$app_pid"
h_wait_exit "$STRACE_PID" 15 || fail "the overlay under strace did not end after SIGTERM"
cp "$trace" "$ARTEFACTS/settings_atomic-strace.txt"
# The new contents go to a temporary name beside config.ini ...
rename=$(grep -E 'rename(at2?)?\(.*"[^"]*/config\.ini\.[^"/]+",.*"[^"]*/config\.ini"' "$trace" | grep ' = 0$')
[[ -n "$rename" ]] ||
    fail "no rename of a temporary file onto config.ini: $(grep -F config.ini "$trace" | tail -n 5)"
temp=$(sed -n 's/.*rename[a-z0-9]*([^"]*"\([^"]*config\.ini\.[^"]*\)".*/\1/p' <<<"$rename" | head -n1)
# ... which came into being with its contents: opened by name, or an unnamed O_TMPFILE linked
# to that name.
grep -F "\"$temp\"" "$trace" | grep -qE 'openat\(.*O_CREAT|linkat\(.*/proc/self/fd/[0-9]+.* = 0$' ||
    fail "the temporary file $temp did not come from an openat or linkat we saw"
# config.ini itself is never written or truncated through a descriptor of its own.
in_place=$(awk '
    /openat\(/ && /"[^"]*\/config\.ini"[,)]/ && / = [0-9]+$/ { cfg[$NF] = 1; next }
    $2 ~ /^close\(/ { fd = $2; sub(/^close\(/, "", fd); sub(/\).*/, "", fd); delete cfg[fd]; next }
    $2 ~ /^(write|pwrite64|writev|ftruncate)\(/ {
        fd = $2; sub(/^[a-z0-9]+\(/, "", fd); sub(/[,)].*/, "", fd); if (fd in cfg) print
    }' "$trace")
[[ -z "$in_place" ]] || fail "config.ini was written in place: $(head -n 3 <<<"$in_place")"
[[ "$(classify "$WORKDIR/config.ini" /dev/null atomic-strace)" == new ]] ||
    fail "the traced shutdown left no complete new file"
h_log "strace: $(grep -F "\"$temp\"" "$trace" | grep -E 'openat|linkat' | cut -d' ' -f2- | head -n1)"
h_log "strace: $(cut -d' ' -f2- <<<"$rename")"

# --- 2) SIGKILL at random moments of the shutdown -------------------------------------------
# What a killed write leaves behind (the lock file, a temporary file) stays for the next try:
# it must block neither the next write nor the next shutdown.
rm -f "$WORKDIR"/config.ini*
declare -A seen=([old]=0 [new]=0)
span=0
for ((try = 1; try <= TRIES + 1; try++)); do
    write_old "$try" "$H_TMP/old.ini"
    cp "$H_TMP/old.ini" "$WORKDIR/config.ini"
    h_start_app "kill$try"
    pid=$H_LAST_PID
    h_wait_window "$pid" classname '^kibchat$' 15
    t0=$(h_now_ms)
    kill -TERM "$pid"
    if ((try == 1 || try == TRIES + 1)); then
        # The first and the last run to the end: the first measures how long a shutdown
        # takes, the last shows that the leftovers of the kills do not hold it up.
        h_wait_exit "$pid" 5 || fail "try $try: SIGTERM did not end the overlay within 5 s"
        ((H_STATUS == 0)) || fail "try $try: the overlay ended with status $H_STATUS"
        took=$(($(h_now_ms) - t0))
        ((try == 1)) && span=$took
        delay="no kill (exit after $took ms)"
    else
        # Kills spread over the shutdown and a little past it.
        delay=$((RANDOM % (span * 3 / 2 + 1)))
        sleep "$(awk -v ms="$delay" 'BEGIN {printf "%.3f", ms / 1000}')"
        kill -KILL "$pid" 2>/dev/null
        # (bash reports the killed job on stderr; that is no failure)
        h_wait_exit "$pid" 10 2>/dev/null || fail "try $try: the overlay outlived SIGKILL"
        delay="SIGKILL at $delay ms"
    fi
    verdict=$(classify "$WORKDIR/config.ini" "$H_TMP/old.ini" "atomic-$try")
    if [[ "$verdict" == torn ]]; then
        cp "$WORKDIR/config.ini" "$ARTEFACTS/settings_atomic-torn.ini" 2>/dev/null
        fail "try $try: $delay into the shutdown left a torn config.ini (kept as artefact)"
    fi
    seen[$verdict]=$((seen[$verdict] + 1))
    leftovers=$(find "$WORKDIR" -maxdepth 1 -name 'config.ini?*' -printf '%f ')
    h_log "try $try: $delay (a whole shutdown: ${span} ms) -> $verdict${leftovers:+; beside it: $leftovers}"
done
[[ "$verdict" == new ]] || fail "the last, uninterrupted shutdown did not write the new file"
((seen[new] >= 2)) || fail "no killed try ended with the new file: the kills never let a write finish"
h_log "$((TRIES - 1)) killed shutdowns and 2 whole ones: ${seen[old]} old, ${seen[new]} new, 0 torn"
h_log "PASS"
