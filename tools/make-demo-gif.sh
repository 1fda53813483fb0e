#!/usr/bin/env bash
# Records the README's picture: the real overlay against the bundled room simulator (on
# 127.0.0.1) in a private X session, as an animated GIF of its window. Chat and gifts flow
# while it is locked, F10 unlocks it, the pointer over the title bar brings up the hover
# strip, and the strip's gear button opens the settings panel.
#
# Usage: tools/make-demo-gif.sh [OUT.gif]      (default docs/demo.gif)
# Environment: KIBCHAT_BUILD_DIR (default build/), or KIBCHAT_APP / KIBCHAT_SIM for the two
# programs; KIBCHAT_DEMO_FRAMES, a folder that keeps the recorded PNG frames.
# Each step is checked on screen before the next; the script fails (status 1) when one does
# not happen within its time.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KIBCHAT_BUILD_DIR:-$root/build}
app=${KIBCHAT_APP:-$build/app/kibchat}
sim=${KIBCHAT_SIM:-$build/sim/kibchat-sim}
out=${1:-$root/docs/demo.gif}
for f in "$app" "$sim"; do
    [[ -x "$f" ]] || { echo "missing $f: build first (tools/build.sh)" >&2 && exit 1; }
done
for tool in xdotool xwininfo import convert gifsicle; do
    command -v "$tool" >/dev/null || { echo "missing $tool (tools/install-deps.sh)" >&2 && exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-demo.XXXXXX")
pids=()
# The private X session (xs_start, xs_stop, xs_poll) and the simulator's start (sim_start).
# shellcheck source=tools/simulator.sh
source "$root/tools/simulator.sh"
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        { wait "${pids[i]}"; } 2>/dev/null || true
    done
    xs_stop
    rm -rf "$scratch"
}
trap cleanup EXIT

die() {
    echo "make-demo-gif: $*" >&2
    local log
    for log in "$scratch"/*.log; do
        [[ -s "$log" ]] && { echo "--- ${log##*/}" && tail -n 10 "$log"; } >&2
    done
    exit 1
}

# A new user's first start: no settings of its own, the pictures beside it.
export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config"
export XDG_CACHE_HOME="$scratch/cache" XDG_DATA_HOME="$scratch/data"
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
work="$scratch/work"
mkdir -p "$work"
ln -s "$root/images" "$work/images"
printf '[Config]\nroomName=\\x661f\\x5149\\x821e\\x53f0\n' >"$work/config.ini"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

XS_LOG_DIR=$scratch
xs_start || die "$XS_ERROR"

sim_start "$scratch/sim.log" "$sim" --seed 7 --rate 2 --next 1 || die "$SIM_ERROR"
pids+=("$SIM_PID")

# The pointer starts away from where the overlay opens.
xdotool mousemove 20 20
(cd "$work" && exec "$app") >"$scratch/app.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")
win_shown() { xdotool search --onlyvisible --pid "$app_pid" --classname '^kibchat$' 2>/dev/null | grep -q .; }
xs_poll 15 win_shown || die "the overlay showed no window"
win=$(xdotool search --onlyvisible --pid "$app_pid" --classname '^kibchat$' | head -n1)
info=$(xwininfo -id "$win")
wx=$(awk -F: '/Absolute upper-left X/ {gsub(/ /, "", $2); print $2}' <<<"$info")
wy=$(awk -F: '/Absolute upper-left Y/ {gsub(/ /, "", $2); print $2}' <<<"$info")
ww=$(awk -F: '/^ *Width/ {gsub(/ /, "", $2); print $2}' <<<"$info")
wh=$(awk -F: '/^ *Height/ {gsub(/ /, "", $2); print $2}' <<<"$info")
crop="${ww}x${wh}+${wx}+${wy}"

# Saves the window's rectangle X Y W H as $scratch/probe.png.
grab() {
    import -window root -crop "${3}x${4}+$((wx + $1))+$((wy + $2))" +repage "$scratch/probe.png"
}
# Brightest grey level (0-255) in the window's rectangle X Y W H.
level() {
    grab "$@" && convert "$scratch/probe.png" -colorspace Gray -format '%[fx:int(255*maxima)]' info:
}
# Pixels of the window's rectangle X Y W H within 3% of the colour R,G,B.
colour_count() {
    local colour=$1
    shift
    grab "$@" && convert "$scratch/probe.png" -fuzz 3% -fill black +opaque "rgb($colour)" \
        -fill white -opaque "rgb($colour)" -format '%[fx:int(mean*w*h+0.5)]' info:
}

frames="$scratch/frames"
mkdir -p "$frames"
n=0
last_ms=$(xs_now_ms)
delays=()
shot() {
    n=$((n + 1))
    import -window root -crop "$crop" +repage "$frames/$(printf '%03d' "$n").png"
}
# Records frames for MS milliseconds, one about every 200 ms, each shown as long as it was on
# screen.
record() {
    local end=$(($(xs_now_ms) + $1)) t
    while (($(xs_now_ms) < end)); do
        shot
        sleep 0.15
        t=$(xs_now_ms)
        delays+=($(((t - last_ms + 5) / 10)))
        last_ms=$t
    done
}

# Locked: chat and gift lines arrive. Waits for the first gift (gold) before recording.
gold_shown() { (($(colour_count 255,215,0 0 22 "$ww" "$((wh - 22))" || echo 0) >= 3)); }
xs_poll 20 gold_shown || die "no gift line reached the screen"
record 3500

# F10 unlocks: the lock button's icon and text change.
lock_look() { grab $((ww - 84)) 6 60 14 && convert "$scratch/probe.png" -format '%#' info:; }
lock_before=$(lock_look)
xdotool key F10
lock_changed() { [[ "$(lock_look)" != "$lock_before" ]]; }
xs_poll 5 lock_changed || die "F10 did not change the lock button"
record 1200

# The pointer over the title bar's caption: the hover strip shows (its + icon lights up).
xdotool mousemove $((wx + 38)) $((wy + 11))
strip_shown() { (($(level 22 25 14 14 || echo 0) > 120)); }
xs_poll 5 strip_shown || die "the hover strip did not show"
record 1500

# The strip's gear button opens the settings panel (its light grey background).
xdotool mousemove $((wx + 120)) $((wy + 32))
record 600
xdotool click 1
panel_shown() { (($(colour_count 230,231,232 25 60 220 120 || echo 0) > 5000)); }
xs_poll 5 panel_shown || die "the settings panel did not open"
record 2500

# Real-time playback, then a pause on the last frame before it loops.
delays[-1]=200
args=()
for ((i = 1; i <= n; i++)); do
    args+=(-delay "${delays[i - 1]}" "$frames/$(printf '%03d' "$i").png")
done
mkdir -p "$(dirname "$out")"
# Chat text scrolls the whole window at every line, so every frame is mostly new: 64 colours
# and gifsicle's optimiser keep it to a few hundred kB; the line colours survive.
convert "${args[@]}" -loop 0 -layers Optimize "$scratch/frames.gif"
gifsicle -O3 --colors 64 "$scratch/frames.gif" -o "$scratch/demo.gif"
mv "$scratch/demo.gif" "$out"
if [[ -n "${KIBCHAT_DEMO_FRAMES:-}" ]]; then
    mkdir -p "$KIBCHAT_DEMO_FRAMES"
    cp "$frames"/*.png "$KIBCHAT_DEMO_FRAMES/"
fi
echo "wrote $out: $n frames of ${ww}x${wh}, $(($(stat -c %s "$out") / 1024)) kB"
