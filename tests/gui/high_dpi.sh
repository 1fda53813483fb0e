#!/usr/bin/env bash
# High-DPI scaling on X11, as a table: Xft.dpi 96, 144 and 192 with no Qt variable, and
# Xft.dpi 96 with QT_SCALE_FACTOR 1.5 and 2, on a 3840x2160 screen, against the simulator.
# Each row: the window is 277x312 times the factor, at its default place scaled
# (3840 - 327 x factor, 100 x factor, within a pixel); the close glyph is 8 x factor rows
# high and the hover strip's + icon 8 x factor (title bar and strip drawn at the same scale);
# the chat area shows as many lines as at 100 % (within one: the fonts scale with the window);
# at factor 2 the strip's gear and the lock icon are their @2x pictures pixel for pixel.
# Usage: high_dpi.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR   (KIBCHAT_SIM: the simulator)

source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
H_SCREEN_W=3840
H_SCREEN_H=2160
h_begin high_dpi "$@"
[[ -x "${KIBCHAT_SIM:-}" ]] || fail "simulator '${KIBCHAT_SIM:-}' not found"

h_spawn sim "$KIBCHAT_SIM" --port 0 --seed 7 --rate 8 --next 1
h_poll 10 grep -q '^listening' "$H_TMP/sim.log" || fail "the simulator did not start"
address=$(sed -n 's/^listening \([0-9.:]*\).*/\1/p' "$H_TMP/sim.log")
export KIBCHAT_ROOMINFO_URL="http://$address" KIBCHAT_CHAT_URL="http://$address"

scaled() { awk -v a="$1" -v f="$2" 'BEGIN { printf "%d", a * f + 0.5 }'; }
near() { (($1 - $2 <= 1 && $2 - $1 <= 1)); }

# Height in rows of the bright pixels (grey above 80) in the screen rectangle X Y W H.
bright_rows() {
    h_grab rows "$@"
    convert "$H_TMP/rows.png" -colorspace Gray -threshold 31% -trim -format '%h' info:- 2>/dev/null
}

# Number of text lines in the rectangle X Y W H: runs of rows holding a lit pixel, where a gap
# of fewer than MIN_GAP rows (the gaps inside one line of glyphs) does not part two lines.
text_lines() {
    h_grab lines "${@:1:4}"
    convert "$H_TMP/lines.png" -colorspace Gray -threshold 20% -filter box -resize "1x${4}!" \
        -depth 8 txt:- 2>/dev/null |
        awk -F'[(),]' -v min_gap="$5" 'NR > 1 {
            if ($3 + 0 > 0) { if (n == 0 || gap >= min_gap) n++; gap = 0 } else gap++
        } END { print n + 0 }'
}

# Pixels differing (beyond rounding) between the screen rectangle X Y 24 24 and the picture
# FILE laid on black.
differs_from_picture() {
    h_grab crop "$1" "$2" 24 24
    convert "$3" -background black -flatten "$H_TMP/picture.png"
    compare -fuzz 4% -metric AE "$H_TMP/crop.png" "$H_TMP/picture.png" null: 2>&1 | sed 's/ .*//'
}

LINES_1X=""
for row in "96 - 1" "144 - 1.5" "192 - 2" "96 1.5 1.5" "96 2 2"; do
    read -r dpi qt_scale f <<<"$row"
    name="${dpi}dpi-qt${qt_scale}"
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi
" || fail "cannot set Xft.dpi"
    printf '[Config]\nroomName=demo-room\n' >"$WORKDIR/config.ini"
    if [[ "$qt_scale" == - ]]; then unset QT_SCALE_FACTOR; else export QT_SCALE_FACTOR=$qt_scale; fi
    h_start_app "app-$name"
    APP_PID=$H_LAST_PID
    h_wait_window "$APP_PID" classname '^kibchat$'
    h_wait_settled "$H_WIN" || fail "$name: the window keeps moving"
    OX=$GX OY=$GY OW=$GW OH=$GH
    want_w=$(scaled 277 "$f") want_h=$(scaled 312 "$f")
    want_x=$((H_SCREEN_W - $(scaled 327 "$f"))) want_y=$(scaled 100 "$f")
    [[ "$OW" == "$want_w" && "$OH" == "$want_h" ]] && near "$OX" "$want_x" && near "$OY" "$want_y" ||
        fail "$name: window at $OX,$OY ${OW}x${OH}; expected $want_x,$want_y ${want_w}x${want_h}"

    h_wait_line_colours 20 "$OX" "$OY" "$OW" "$OH"
    xdotool key F10 mousemove "$((OX + OW / 2))" "$((OY + OH / 2))" || fail "xdotool failed"
    plus=("$((OX + $(scaled 22 "$f")))" "$((OY + $(scaled 25 "$f")))" "$(scaled 14 "$f")"
        "$(scaled 14 "$f")")
    h_poll 5 eval '(($(h_region_max "${plus[@]}") > 120))' || fail "$name: no hover strip"
    sleep 1 # a few more lines, so the log is full
    h_screenshot "high_dpi-$name" "$OX" "$OY" "$OW" "$OH" || fail "screenshot failed"

    close=$(bright_rows "$((OX + OW - $(scaled 18 "$f")))" "$OY" "$(scaled 12 "$f")" \
        "$(scaled 22 "$f")")
    plus_rows=$(bright_rows "${plus[@]}")
    lines=$(text_lines "$((OX + $(scaled 4 "$f")))" "$((OY + $(scaled 50 "$f")))" \
        "$((OW - $(scaled 8 "$f")))" "$((OH - $(scaled 54 "$f")))" "$(scaled 3 "$f")")
    h_log "$name: ${OW}x${OH} at $OX,$OY; close glyph $close rows, + icon $plus_rows rows," \
        "$lines chat lines"
    near "$close" "$(scaled 8 "$f")" || fail "$name: close glyph $close rows high"
    near "$plus_rows" "$(scaled 8 "$f")" || fail "$name: + icon $plus_rows rows high"
    [[ -n "$LINES_1X" ]] || LINES_1X=$lines
    ((lines >= 8)) && near "$lines" "$LINES_1X" ||
        fail "$name: $lines chat lines, at 100 % $LINES_1X"
    if [[ "$f" == 2 ]]; then
        # A 1x picture stretched to twice its size differs on 200 to 330 pixels here.
        gear=$(differs_from_picture "$((OX + 228))" "$((OY + 52))" \
            "$IMAGES/buttons/icon_setting@2x.png")
        lock=$(differs_from_picture "$((OX + OW - 164))" "$((OY + 12))" \
            "$IMAGES/buttons/icon_notLock@2x.png")
        h_log "$name: gear $gear, lock icon $lock pixels off their @2x pictures"
        ((gear == 0 && lock == 0)) || fail "$name: a picture is not its @2x one"
    fi

    xdotool mousemove "$((OX + OW - $(scaled 12 "$f")))" "$((OY + $(scaled 13 "$f")))" click 1 ||
        fail "xdotool click failed"
    h_wait_exit "$APP_PID" 5 || fail "$name: the close button did not end the overlay"
done
h_log "PASS"
