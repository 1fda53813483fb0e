#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Ends with ctest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
"$root/tools/build.sh"
cd "${KIBCHAT_BUILD_DIR:-$root/build}"
ctest --output-on-failure --timeout 300
