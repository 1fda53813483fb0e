#!/usr/bin/env bash
# Cross-builds KibChat for 64-bit Windows and packs what a streamer downloads, under
# build-windows/ (or $KIBCHAT_WINDOWS_DIR):
#   KibChat-<version>-win64.zip        a portable folder KibChat/
#   KibChat-<version>-win64-setup.exe  a per-user installer (NSIS)
# Builds Qt for Windows first when its cache is missing (tools/build-qt-windows.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${KIBCHAT_WINDOWS_DIR:-$root/build-windows}
jobs=${KIBCHAT_JOBS:-$(nproc)}

qt=$("$root/tools/build-qt-windows.sh" | tail -n1)
httplib=$("$root/tools/fetch-httplib.sh" | tail -n1)

build=$out/build
# The preset "windows" takes the two folders from the environment.
(cd "$root" && KIBCHAT_QT_WINDOWS=$qt KIBCHAT_HTTPLIB_INCLUDE=$httplib \
    cmake --preset windows -B "$build" >/dev/null)
nice -n 10 cmake --build "$build" --parallel "$jobs"

version=$(sed -n 's/^project(KibChat VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
"$root/packaging/windows/pack.sh" "$root" "$build" "$qt" "$version" "$out"
