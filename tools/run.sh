#!/usr/bin/env bash
# Installs what is missing, builds, and runs the overlay. Without a display it runs the overlay
# under a private Xvfb for a few seconds and writes a screenshot instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_BUILD_DIR:-$root/build}
"$root/tools/install-deps.sh"
"$root/tools/build.sh"

# The overlay finds its pictures (and keeps its settings) in its working directory.
workdir="$root/run"
mkdir -p "$workdir"
ln -sfn "$root/images" "$workdir/images"
cd "$workdir"

if [ -n "${DISPLAY:-}" ]; then
  echo "KibChat starts locked: clicks pass through it. Press F10 to unlock it, F10 again to lock."
  exec "$build/app/kibchat"
fi

shot="$build/screenshots/overlay.png"
mkdir -p "$(dirname "$shot")"
pids=()
# Stop what we started, newest first, each by its own pid.
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT

scratch=$(mktemp -d)
trap 'cleanup; rm -rf "$scratch"' EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
export XDG_RUNTIME_DIR="$scratch"
"$build/app/kibchat" &
pids+=($!)
wid=$(timeout 20 xdotool search --sync --onlyvisible --classname kibchat | head -n1)
sleep 3
import -window "$wid" "$shot"
echo "No display: ran KibChat under Xvfb for a few seconds; screenshot written to $shot"
