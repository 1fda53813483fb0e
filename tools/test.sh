#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain suite (ctest, the preset
# "full": every optional suite on), then the hardening checks (tools/test-hardening.sh: the
# suite under ASan and UBSan, a fuzz smoke), and checks the plain build
# (tools/check-plain-build.sh: no option, only the build packages' tools).
# Ends with one summary line; exit status 1 when anything failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_BUILD_DIR:-$root/build}
"$root/tools/install-deps.sh"
"$root/tools/build.sh"

# The Windows zip and installer (Qt for Windows is built first when its cache is missing),
# then tried under wine in the suite (label windows).
windows_log=$build/windows-build.log
echo "Building the Windows packages (log: $windows_log)"
if ! nice -n 10 "$root/tools/build-windows.sh" >"$windows_log" 2>&1; then
    echo "--- Windows build failed ($windows_log):"
    tail -n 40 "$windows_log"
    rm -f "$root"/build-windows/KibChat-*-win64*  # never test an older build's packages
fi
# Without the packages their tests (on in the full build) fail in the suite.

# Most of the plain suite waits on timers, servers and windows: the hardening builds and the
# plain build (only the build packages' tools, no option: what a packager runs) use the
# processor time it leaves idle, at the lowest priority so that the tests' timing is kept.
hardening_log=$build/hardening-build.log
nice -n 19 "$root/tools/test-hardening.sh" --build-only >"$hardening_log" 2>&1 &
hardening_build=$!
plain_log=$build/plain-build-check.log
nice -n 19 "$root/tools/check-plain-build.sh" >"$plain_log" 2>&1 &
plain_check=$!

plain=passed
(cd "$build" && ctest --output-on-failure --timeout 300) || plain=FAILED

plain_build=passed
if wait "$plain_check"; then
    tail -n 1 "$plain_log"
else
    plain_build=FAILED
    echo "--- plain build failed ($plain_log):"
    tail -n 40 "$plain_log"
fi
if ! wait "$hardening_build"; then
    echo "--- hardening build failed ($hardening_log):"
    tail -n 40 "$hardening_log"
fi
# Builds whatever the background build left undone (nothing when it succeeded), then runs.
hardening=passed
"$root/tools/test-hardening.sh" || hardening=FAILED

echo "plain suite $plain; hardening $hardening; plain build $plain_build"
[ "$plain" = passed ] && [ "$hardening" = passed ] && [ "$plain_build" = passed ]
