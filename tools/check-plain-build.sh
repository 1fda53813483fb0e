#!/usr/bin/env bash
# The plain build as someone with only the build packages runs it: `cmake -S . -B build-plain`
# and `cmake --build build-plain`, no preset, no option (or $KIBCHAT_PLAIN_BUILD_DIR), always
# from scratch. As root, in a mount namespace of its own where every program of the test
# suites' tools (Xvfb, xdotool, ImageMagick, wine, MinGW, valgrind, clang...) is hidden, so that
# a configure-time need of any of them fails here. Then checks that it built kibchat,
# kibchat-sim and every unit test, and no program or test of an optional suite.
# Ends with "plain build passed" or "plain build FAILED: ..."; exit status 1 on failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIBCHAT_PLAIN_BUILD_DIR:-$root/build-plain}
jobs=${KIBCHAT_JOBS:-$(nproc)}

fail() {
    echo "plain build FAILED: $*"
    exit 1
}

# The programs hidden from the build: what the test-suite packages put on PATH, and wine's
# loader, which Debian keeps off it.
hidden=(Xvfb openbox kwin_x11 xfwm4 metacity fluxbox icewm dbus-daemon xdotool xdpyinfo xprop
    xwininfo xev import convert compare identify x86_64-w64-mingw32-g++ x86_64-w64-mingw32-gcc
    x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-win32 wine wine64 /usr/lib/wine/wine64
    /usr/lib/wine/wineserver makensis zip unzip valgrind strace clang++-14 clang-14 llvm-symbolizer
    python3)

rm -rf "$build" "$build.log"
t0=$SECONDS
if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null; then
    echo "configuring and building $build with the test tools hidden"
    # Each program is covered by an empty file without execute permission: find_program (and
    # anything else) passes over it.
    blank=$(mktemp)
    # shellcheck disable=SC2016 # expanded by the inner shell
    status=0
    unshare --mount --propagation private bash -c '
        set -euo pipefail
        root=$1 build=$2 jobs=$3 blank=$4
        shift 4
        for tool in "$@"; do
            path=$(type -P "$tool" 2>/dev/null) || path=$tool
            [[ -f $path ]] || continue
            mount --bind "$blank" "$(readlink -f "$path")"
        done
        xdotool=$(type -P xdotool) && [[ -x $xdotool ]] && { echo "xdotool is still there"; exit 1; }
        cmake -S "$root" -B "$build" >"$build.log" 2>&1
        cmake --build "$build" --parallel "$jobs" >>"$build.log" 2>&1
    ' hide "$root" "$build" "$jobs" "$blank" "${hidden[@]}" || status=$?
    rm -f "$blank"
    ((status == 0)) || fail "see $build.log: $(tail -n 20 "$build.log" 2>&1)"
else
    echo "configuring and building $build (not root: the test tools stay visible)"
    { cmake -S "$root" -B "$build" && cmake --build "$build" --parallel "$jobs"; } >"$build.log" 2>&1 ||
        fail "see $build.log: $(tail -n 20 "$build.log")"
fi
mv "$build.log" "$build/plain-build.log"
echo "built in $((SECONDS - t0)) s"

for program in app/kibchat sim/kibchat-sim; do
    [[ -x $build/$program ]] || fail "no $program"
done
# Every test program that tests/CMakeLists.txt itself defines is a unit test.
mapfile -t units < <(grep -oE '^(kibchat_add_test|add_executable)\((tst_[a-z0-9_]+)' \
    "$root/tests/CMakeLists.txt" | sed 's/.*(//' | sort -u)
((${#units[@]} >= 10)) || fail "only ${#units[@]} unit tests found in tests/CMakeLists.txt"
listed=$(cd "$build" && ctest -N)
for unit in "${units[@]}"; do
    [[ -x $build/tests/$unit ]] || fail "the unit test $unit was not built"
    grep -qE "Test +#[0-9]+: $unit\$" <<<"$listed" || fail "ctest does not list $unit"
done
all=$(sed -n 's/^Total Tests: //p' <<<"$listed")
unit=$(cd "$build" && ctest -N -L '^unit$' | sed -n 's/^Total Tests: //p')
[[ -n $all && $all == "$unit" ]] ||
    fail "$all tests, of which $unit are unit tests: $(cd "$build" && ctest -N -LE '^unit$' | grep 'Test *#')"
optional=$(find "$build" -type f \( -name 'kibchat-probe' -o -name 'kibchat-xping' -o \
    -name 'kibchat-cursor' -o -name 'kibchat-bench-*' -o -name 'kibchat-first-paint' -o \
    -name 'kibchat-render-driver' -o -name 'fuzz_*' \) -print)
[[ -z $optional ]] || fail "an optional suite was built: $optional"
echo "plain build passed: kibchat, kibchat-sim and ${#units[@]} unit test programs ($all tests)"
