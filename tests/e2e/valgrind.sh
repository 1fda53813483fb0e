#!/usr/bin/env bash
# The overlay under Valgrind memcheck against kibchat-sim: start, chat for RUN seconds
# (default 30), a short poll outage (HTTP 500) and its recovery, then SIGTERM and the normal
# shutdown. Fails when a definite leak was allocated by the overlay's own code: the first
# caller of malloc/new in the leak's stack is one of the project's source files (or, without
# line information, the kibchat binary). Library noise is suppressed (valgrind.supp), and any
# other definite leak is listed but not held against the project.
# Usage: valgrind.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR [RUN_SECONDS]
#        (KIBCHAT_SIM, KIBCHAT_XPING from the environment)

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
RUN=${5:-30}
e_begin valgrind "${@:1:4}"
command -v valgrind >/dev/null || fail "valgrind is not installed"
ROOT=$(cd "$E_DIR/../.." && pwd)

e_service normal sim --rate 20 --next 1 --seed 3 --fault poll=500,after=8
printf '[Config]\nroomName=vg-room\n' >"$WORKDIR/config.ini"
vglog="$H_TMP/memcheck.txt"
t0=$(h_now_ms)
# Forked children (libdbus tries to launch a bus) would print their own copy of our heap.
(cd "$WORKDIR" && exec valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --child-silent-after-fork=yes --num-callers=40 \
    --suppressions="$E_DIR/valgrind.supp" --log-file="$vglog" "$APP") >"$H_TMP/vg-app.log" 2>&1 &
VG_PID=$!
H_PIDS+=("$VG_PID")
h_wait_window "$VG_PID" classname '^kibchat$' 120
WIN=$H_WIN
h_log "window under memcheck after $(($(h_now_ms) - t0)) ms"

# Chat, then the outage the "after=8" rule starts, then we restart the simulator without
# faults so the overlay recovers: every code path of a normal session runs once at least.
deadline=$(($(h_now_ms) + RUN * 1000))
restarted=no
while (($(h_now_ms) < deadline)); do
    h_alive "$VG_PID" || fail "the overlay died under memcheck"
    if [[ "$restarted" == no ]] && (($(grep -c ' 500$' "$E_SVC_LOG") >= 3)); then
        e_service recovered sim --rate 20 --next 1 --seed 3
        restarted=yes
    fi
    sleep 0.5
done
[[ "$restarted" == yes ]] || fail "the outage never came within $RUN s (too few polls under memcheck)"
ok=$(grep -c ' /chatroom/msgs/.* 200$' "$E_SVC_LOG")
((ok >= 2)) || fail "chat did not recover under memcheck ($ok good polls after the outage)"
h_log "chat, an outage and its recovery ($ok good polls after it)"

t1=$(h_now_ms)
kill -TERM "$VG_PID"
h_wait_exit "$VG_PID" 120 || fail "the overlay under memcheck did not end within 120 s of SIGTERM"
h_log "exit status $H_STATUS, $(($(h_now_ms) - t1)) ms after SIGTERM"
cp "$vglog" "$ARTEFACTS/valgrind-memcheck.txt"
((H_STATUS == 0)) || fail "the overlay ended with status $H_STATUS under memcheck"
grep -q 'LEAK SUMMARY\|All heap blocks were freed' "$vglog" || fail "memcheck wrote no leak summary"

# The project's sources by base name; a leak is the project's when the first frame past the
# allocator is one of them (or the kibchat binary itself).
sources=$(cd "$ROOT" && find app client platform ui -name '*.cpp' -printf '%f\n' | tr '\n' '|')
sources="${sources%|}"
report=$(awk -v src="^(${sources//./[.]}|moc_.*[.]cpp)$" -v app="$APP" '
    / are definitely lost in loss record / { rec = $0; inrec = 1; first = ""; stack = ""; next }
    inrec && /^==[0-9]+== *$/ {
        if (first != "") { print (mine ? "PROJECT " : "OTHER ") rec; printf "%s", stack }
        inrec = 0; next
    }
    inrec {
        stack = stack $0 "\n"
        if ($0 ~ / at 0x/ || first != "") next
        # The first "by" frame: the code that called the allocator.
        first = $0; mine = 0
        if (match(first, /\(([A-Za-z0-9_]+\.(cpp|h)):[0-9]+\)$/)) {
            file = substr(first, RSTART + 1, RLENGTH - 2); sub(/:[0-9]+$/, "", file)
            mine = file ~ src
        } else if (index(first, "(in " app ")")) mine = 1
    }' "$vglog")
definite=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes in \([0-9,]*\) blocks.*/\1 bytes in \2 blocks/p' "$vglog" | head -n1)
suppressed=$(sed -n 's/.*suppressed: \([0-9,]*\) bytes in \([0-9,]*\) blocks.*/\1 bytes in \2 blocks/p' "$vglog" | head -n1)
errors=$(sed -n 's/.*ERROR SUMMARY: \(.*\)/\1/p' "$vglog" | head -n1)
h_log "memcheck: definitely lost ${definite:-0 bytes}; suppressed ${suppressed:-0 bytes}; errors: $errors"
others=$(grep -c '^OTHER ' <<<"$report")
((others == 0)) || h_log "definite leaks of library code (not the project's; add to valgrind.supp once understood): $others"
if grep -q '^PROJECT ' <<<"$report"; then
    printf '%s\n' "$report" | awk '/^PROJECT /{on = 1} /^OTHER /{on = 0} on' | head -n 60 >&2
    fail "definite leaks allocated by the overlay's own code: $(grep -c '^PROJECT ' <<<"$report") (stacks above; full log in $ARTEFACTS/valgrind-memcheck.txt)"
fi
h_log "no definite leak allocated by the overlay's own code"
h_log "PASS"
