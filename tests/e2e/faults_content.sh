#!/usr/bin/env bash
# The overlay against replies whose content is hostile (faultsrv.py). Rules cover the first
# N requests of their kind, so each fault stops by itself. Phases:
#   huge-startup  the first three requests (room lookups) get 100 MiB bodies
#   huge-poll | many | bigtext | hostile | back | next-5 | next0 | repeats
#                 chat flows, then the server restarts on the same port with the fault on
#                 its first polls: 100 MiB bodies, 100 000 entries, 1 MB texts, control
#                 characters / bidi marks / markup, a cursor jumping back, delays -5 and 0,
#                 6 MiB of a key repeated with array values (which Qt's parser would leak)
# Checked throughout: alive, the window answers a ping within a second, memory under the
# bound. After: normal chat back on screen within two seconds of the faults stopping, and
# what each phase adds.
# Usage: faults_content.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR PHASE
#        (KIBCHAT_XPING, KIBCHAT_PYTHON3 from the environment)

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
PHASE=${5:-}
e_begin "content_${PHASE:-none}" "${@:1:4}"

GAP_LOW=900
GAP_HIGH=1600
# A reply above 8 MiB is a failed request: the overlay stops reading it. What the server
# got out before the hang-up is that plus the two sockets' buffers, far below 100 MiB.
HUGE_SENT_LIMIT=$((32 << 20))
# A refused 6 MiB reply costs the body and a copy or two while it is read and checked.
REPEATS_GROWTH_KB=64000

# Every huge reply of the current log was cut off by the client, early.
check_huge_cut() {
    local what=$1 line sent
    local lines
    lines=$(grep ' sent=' "$E_SVC_LOG")
    [[ -n "$lines" ]] || fail "$what: no huge reply was sent"
    while read -r line; do
        [[ "$line" == *' hangup' ]] || fail "$what: the overlay read a 100 MiB reply to the end: $line"
        sent=${line##* sent=}
        sent=${sent%% *}
        ((sent < HUGE_SENT_LIMIT)) ||
            fail "$what: the overlay took $sent bytes of a huge reply before hanging up (limit $HUGE_SENT_LIMIT)"
    done <<<"$lines"
    E_HUGE_SENT=$(grep -o 'sent=[0-9]*' <<<"$lines" | cut -d= -f2 | tr '\n' ' ')
}

huge_startup_phase() {
    e_service startup faultsrv --rate 20 --fault all=huge:100,first=3
    e_start_overlay e2e-room
    e_wait_first_poll 20 huge-startup
    check_huge_cut huge-startup
    e_check_gaps "huge-startup: lookup retries" "$GAP_LOW" "$GAP_HIGH" <<<"$(e_attempts lookup 4)"
    e_grab_chat startup-before
    e_wait_chat_change startup-before 5 huge-startup || fail "huge-startup: no chat lines reached the screen"
    e_healthy huge-startup
    h_log "huge-startup: 3 huge lookups cut after $E_HUGE_SENT bytes, retries ${E_LAST_GAPS}ms apart; ping ${E_LAST_PING} ms; peak rss ${E_LAST_PEAK} kB"
}

# content_phase NAME RULE LINES KIND
# The first LINES polls get RULE. KIND "failed": the replies are failed requests (retried
# after a second); "content": they are read and shown, their records paced over the 1 s
# delay, so the faults stop a second after the last one arrived; "instant": read and shown
# at once (a delay of 0 or less).
content_phase() {
    local name=$1 rule=$2 lines=$3 kind=$4
    # Chat flows first, so the fault interrupts a running poll chain.
    e_service normal faultsrv --rate 20
    e_start_overlay e2e-room
    e_wait_log 2 ' /chatroom/msgs/.* 200' 15 || fail "$name: chat did not start"
    local t_phase
    t_phase=$(h_now_ms)
    e_service "$name" faultsrv --rate 20 --fault "poll=$rule,first=$lines"
    local deadline=$((t_phase + 30000))
    while (($(e_requests poll | wc -l) < lines + 1)); do
        (($(h_now_ms) < deadline)) || fail "$name: fewer than $((lines + 1)) polls in 30 s"
        e_healthy "$name"
        sleep 0.1
    done
    # The first normal poll is under way: what is on screen now is the faulty replies' work.
    e_grab_chat "$name-faulty"
    local last_fault first_ok stop
    last_fault=$(e_requests poll | sed -n "${lines}p" | cut -d' ' -f1)
    first_ok=$(e_requests poll | sed -n "$((lines + 1))p")
    stop=$last_fault
    [[ "$kind" == content ]] && stop=$((last_fault + 1000))
    [[ "$first_ok" == *' 200 next=1 '* ]] || fail "$name: the first poll after the faults was not a normal reply: $first_ok"
    local ok_after=$((${first_ok%% *} - stop))
    ((ok_after <= E_RESUME_MS)) ||
        fail "$name: the next normal poll came $ok_after ms after the faults stopped (limit $E_RESUME_MS)"
    e_wait_chat_change "$name-faulty" 5 "$name" || fail "$name: no normal chat lines on screen after the faults"
    # A normal reply can hold no message when it follows the one before within a few ms;
    # then the lines are due after the first normal reply that had some. (Lines of a reply
    # painted before our grab are not seen as new: the figure errs on the long side.)
    local since=$stop note="the faults stopped" with_msgs
    with_msgs=$(e_requests poll | tail -n +$((lines + 1)) | grep -m1 ' next=1 .*msgs=[1-9]' | cut -d' ' -f1)
    [[ -n "$with_msgs" ]] || fail "$name: no normal reply with messages after the faults"
    if ((with_msgs > stop)); then
        since=$with_msgs
        note="the first normal reply with messages"
    fi
    local resume=$((E_CHANGED_MS - (E_SVC_T0 + since)))
    ((resume <= E_RESUME_MS)) ||
        fail "$name: normal lines reached the screen $resume ms after $note (limit $E_RESUME_MS)"
    e_healthy "$name"
    E_PHASE_SUMMARY="next normal poll ${ok_after} ms after the faults stopped, lines on screen ${resume} ms after $note; ping ${E_LAST_PING} ms; peak rss $(e_rss_peak "$t_phase") kB"
}

# Markup must show as typed: the hostile texts would paint pure green if taken as HTML.
count_colour() {
    convert "$H_TMP/$1.png" -fuzz "$3" -fill black +opaque "rgb($2)" \
        -fill white -opaque "rgb($2)" -format '%[fx:int(mean*w*h+0.5)]' info:
}

case $PHASE in
huge-startup) huge_startup_phase ;;
huge-poll)
    content_phase huge-poll huge:100 3 failed
    check_huge_cut huge-poll
    e_check_gaps "huge-poll: poll retries" "$GAP_LOW" "$GAP_HIGH" <<<"$(e_attempts poll 4)"
    h_log "huge-poll: 3 polls cut after $E_HUGE_SENT bytes, retries ${E_LAST_GAPS}ms apart; $E_PHASE_SUMMARY"
    ;;
many)
    content_phase many many:100000 1 content
    bytes=$(e_requests poll | sed -n '1s/.* bytes=\([0-9]*\).*/\1/p')
    ((${bytes:-0} > 0 && bytes < (8 << 20))) ||
        fail "many: the 100 000-entry reply must stay under 8 MiB to be read (${bytes:-no} bytes)"
    h_log "many: 100 000 entries in $bytes bytes; $E_PHASE_SUMMARY"
    ;;
bigtext)
    content_phase bigtext bigtext:1000000 3 content
    h_log "bigtext: 2 entries a poll with 1 MB texts; $E_PHASE_SUMMARY"
    ;;
hostile)
    content_phase hostile hostile 4 content
    cp "$H_TMP/hostile-faulty.png" "$ARTEFACTS/content-hostile.png"
    green=$(count_colour hostile-faulty 0,255,0 10%)
    white=$(count_colour hostile-faulty 255,255,255 3%)
    ((white > 50)) || fail "hostile: the hostile lines left no text on screen ($white white pixels)"
    ((green == 0)) || fail "hostile: $green pure green pixels: markup in chat text was rendered"
    h_log "hostile: markup shown as text (0 green, $white white pixels); $E_PHASE_SUMMARY"
    ;;
back)
    # The cursor jumps back 1000 twice: the overlay asks from where the service says.
    content_phase back back:1000 2 content
    froms=$(e_requests poll | head -n 3 | cut -d/ -f5 | tr '\n' ' ')
    read -r f1 f2 f3 <<<"$froms"
    ((f2 == f1 - 1000 && f3 == f2 - 1000)) || fail "back: the overlay did not follow the cursor back: $froms"
    h_log "back: cursor followed back ($froms); $E_PHASE_SUMMARY"
    ;;
next-5 | next0)
    # Delays of -5 and 0 both mean "poll again at once": the overlay sends the clamped 0, and
    # still polls at most once a second, so a service cannot make it spin.
    delay=${PHASE#next}
    content_phase "$PHASE" "next:$delay" 4 instant
    times=$(e_requests poll | sed -n '1,5p' | cut -d' ' -f1 | tr '\n' ' ')
    read -r -a at <<<"$times"
    for i in 1 2 3 4; do
        gap=$((at[i] - at[i - 1]))
        ((gap >= 900 && gap <= 1600)) || fail "$PHASE: polls $gap ms apart ($times), not one a second"
    done
    (($(e_requests poll | sed -n '2,5p' | grep -vc '/0 200 ') == 0)) ||
        fail "$PHASE: a poll after a reply with next=$delay did not ask for 0: $(e_requests poll | sed -n 2,5p)"
    h_log "$PHASE: polls at $times, each after the first asking next=0; $E_PHASE_SUMMARY"
    ;;
repeats)
    # Each of these replies would leak some 170 MB if parsed; they are refused unparsed, like
    # invalid JSON, so memory stays near where it was and chat resumes after them.
    content_phase repeats repeats:6 10 failed
    bytes=$(e_requests poll | sed -n '1s/.* bytes=\([0-9]*\).*/\1/p')
    ((${bytes:-0} > (4 << 20) && bytes < (8 << 20))) ||
        fail "repeats: the replies must be read, between 4 and 8 MiB (${bytes:-no} bytes)"
    t_first=$((E_SVC_T0 + $(e_requests poll | head -n 1 | cut -d' ' -f1)))
    before=$(awk -v to="$t_first" '$1 / 1000 < to && $2 > max {max = $2} END {print max + 0}' \
        "$H_TMP/rss-sampler.log")
    ((before > 0)) || fail "repeats: no memory sample before the first faulty reply"
    peak=$(e_rss_peak "$t_first")
    ((peak - before < REPEATS_GROWTH_KB)) ||
        fail "repeats: resident memory grew by $((peak - before)) kB over 10 replies (limit $REPEATS_GROWTH_KB kB)"
    e_check_gaps "repeats: poll retries" "$GAP_LOW" "$GAP_HIGH" <<<"$(e_attempts poll 10)"
    h_log "repeats: 10 replies of $bytes bytes refused, retries ${E_LAST_GAPS}ms apart; rss $before kB before, peak $peak kB; $E_PHASE_SUMMARY"
    ;;
*) fail "unknown phase '$PHASE' (huge-startup huge-poll many bigtext hostile back next-5 next0 repeats)" ;;
esac

e_rss_check "whole run"
h_log "peak resident memory: $E_LAST_PEAK kB (limit $E_RSS_LIMIT_KB kB)"
h_log "PASS"
