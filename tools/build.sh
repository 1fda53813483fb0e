#!/usr/bin/env bash
# Configures and builds into build/ (or $KIBCHAT_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIBCHAT_BENCH=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"
