#!/usr/bin/env bash
# Sourced by the wine desktop tests after tests/gui/harness.sh's h_begin: a fresh wine prefix
# and home under the test's temporary folder, nothing of wine's reaching the user's files, its
# server ended with the harness (EXIT trap). Fails the test when the prefix cannot be made.
# Usage: wine_prefix WINE WINESERVER

wine_prefix() {
    WP_WINESERVER=$2
    # The Windows Qt must pick its own platform plugin.
    unset QT_QPA_PLATFORM
    export HOME="$H_TMP/home" WINEPREFIX="$H_TMP/prefix" WINEDEBUG=-all
    # No desktop menu entries, and no offer to install the .NET and HTML runtimes.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    mkdir -p "$HOME"
    trap _wp_cleanup EXIT
    timeout 90 "$1" wineboot --init >"$H_TMP/wineboot.log" 2>&1 || fail "wineboot --init failed"
}

# shellcheck disable=SC2317 # reached through the EXIT trap
_wp_cleanup() {
    # Ends the programs of our prefix and its server (they can linger a few seconds).
    if [[ -d "$WINEPREFIX" ]]; then
        timeout 5 "$WP_WINESERVER" -k >/dev/null 2>&1
        timeout 5 "$WP_WINESERVER" -w >/dev/null 2>&1
    fi
    h_cleanup
}
