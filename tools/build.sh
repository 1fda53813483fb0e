#!/usr/bin/env bash
# Configures and builds the full test build (the preset "full" of CMakePresets.json: every
# suite and the benchmarks) into build/ (or $KIBCHAT_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_BUILD_DIR:-$root/build}
(cd "$root" && cmake --preset full -B "$build" >/dev/null)
cmake --build "$build" --parallel "$(nproc)"
