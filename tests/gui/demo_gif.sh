#!/usr/bin/env bash
# tools/make-demo-gif.sh, which records the README's picture: it runs and writes a small
# animated GIF, one of whose frames shows every chat line colour (quantising must not lose
# them) and whose last frame shows the settings panel (the end of the recorded steps).
# Usage: demo_gif.sh APP PROBE IMAGES_DIR ARTEFACTS_DIR   (KIBCHAT_SIM: the simulator)

# shellcheck source=SCRIPTDIR/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
# The script makes its own X session: only the harness's helpers and scratch folder here.
H_NAME=demo_gif
ARTEFACTS=$4
H_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-gui.XXXXXX") || fail "mktemp failed"
trap h_cleanup EXIT
trap 'exit 130' INT TERM
[[ -x "${KIBCHAT_SIM:-}" ]] || fail "simulator '${KIBCHAT_SIM:-}' not found"
mkdir -p "$ARTEFACTS" || fail "cannot create '$ARTEFACTS'"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

gif="$H_TMP/demo.gif"
KIBCHAT_APP=$1 timeout 60 bash "$root/tools/make-demo-gif.sh" "$gif" >"$H_TMP/make.log" 2>&1 ||
    fail "make-demo-gif.sh ended with status $?"
h_log "$(tail -n1 "$H_TMP/make.log")"

[[ "$(identify -format '%m\n' "$gif" | head -n1)" == GIF ]] || fail "$gif is not a GIF"
kb=$(($(stat -c %s "$gif") / 1024))
((kb <= 400)) || fail "the picture takes $kb kB; the README's should stay within 400"
convert "$gif" -coalesce "$H_TMP/frame-%03d.png" || fail "cannot decode $gif"
frames=("$H_TMP"/frame-*.png)
((${#frames[@]} >= 10)) || fail "only ${#frames[@]} frames: not an animation"

all_colours() {
    cp "$1" "$H_TMP/overlay.png"
    local role
    for role in "${!H_LINE_COLOURS[@]}"; do
        (($(h_colour_pixels "${H_LINE_COLOURS[$role]}") >= 3)) || return 1
    done
}
shown=""
for frame in "${frames[@]}"; do
    all_colours "$frame" && shown=$frame && break
done
[[ -n "$shown" ]] || fail "no frame of ${#frames[@]} shows all five line colours"
h_log "all line colours in ${shown##*/}"

cp "${frames[-1]}" "$ARTEFACTS/demo_gif-last.png"
panel=$(convert "${frames[-1]}" -crop 220x120+25+60 +repage -fuzz 3% -fill black \
    +opaque 'rgb(230,231,232)' -fill white -opaque 'rgb(230,231,232)' \
    -format '%[fx:int(mean*w*h+0.5)]' info:)
((panel > 5000)) || fail "the last frame shows no settings panel ($panel light grey pixels)"
h_log "PASS: $kb kB, ${#frames[@]} frames"
