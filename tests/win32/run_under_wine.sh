#!/usr/bin/env bash
# Runs a Windows test program under wine in a private, throw-away setting: a fresh wine
# prefix and home under a temporary directory, and a private Xvfb (wine's user32 creates no
# window without a display). Everything started here is stopped by its own PID, or, for the
# wine server of the private prefix, through that prefix; the temporary directory goes too.
#
# Usage: run_under_wine.sh WINE WINESERVER XVFB PROGRAM.exe [ARGS...]
# Exit status: the program's; 124 when it ran past the time limit; 1 when the setting could
# not be made.

set -u
set -o pipefail

if (($# < 4)); then
    echo "usage: $0 WINE WINESERVER XVFB PROGRAM.exe [ARGS...]" >&2
    exit 2
fi
wine=$1 wineserver=$2 xvfb=$3
shift 3

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kibchat-wine.XXXXXX") || exit 1
# shellcheck source=SCRIPTDIR/../../tools/xsession.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/xsession.sh"

# shellcheck disable=SC2317 # reached through the EXIT trap
cleanup() {
    # Ends the programs of our prefix and its server (they can linger a few seconds).
    if [[ -d "$tmp/prefix" ]]; then
        timeout 5 "$wineserver" -k >/dev/null 2>&1
        timeout 5 "$wineserver" -w >/dev/null 2>&1
    fi
    xs_stop
    rm -rf "$tmp"
}
trap cleanup EXIT

# Nothing of wine's reaches the user's own files: prefix, menus and caches stay in $tmp.
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
export XDG_CACHE_HOME="$tmp/home/.cache"
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all
# No desktop menu entries, and no offer to install the .NET and HTML runtimes.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
mkdir -p "$HOME"
unset WAYLAND_DISPLAY

# No window manager: the program's windows need only a display.
# shellcheck disable=SC2034 # read by xs_start
XS_XVFB=$xvfb XS_WM=none XS_LOG_DIR=$tmp
if ! xs_start; then
    echo "$XS_ERROR:" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
fi

start=${EPOCHREALTIME/./}
# The run also creates the prefix: about 10 s here when idle, 20 s under load.
timeout --kill-after=3 40 "$wine" "$@"
status=$?
echo "wine run: exit status $status after $(((${EPOCHREALTIME/./} - start) / 1000)) ms"
((status == 124 || status == 137)) && echo "the program did not finish in time" >&2
exit "$status"
