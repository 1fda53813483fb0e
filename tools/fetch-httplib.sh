#!/usr/bin/env bash
# Debian's httplib.h is the declarations only (the rest is in its Linux library), so a
# Windows build of the simulator takes the whole header-only library from Debian's
# cpp-httplib source package, kept in a cache outside the repository.
# Prints the folder holding httplib.h on its last line of standard output.
set -euo pipefail
cache=${KIBCHAT_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kibchat}
version=0.11.4
dir=$cache/cpp-httplib-$version
if [[ -f $dir/httplib.h ]]; then
    echo "$dir"
    exit 0
fi
work=$(mktemp -d "$cache/httplib.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source --download-only cpp-httplib >&2
tarball=$(ls cpp-httplib_"$version"*.orig.tar.*) || {
    echo "Debian's cpp-httplib source is not version $version" >&2
    exit 1
}
tar -xf "$tarball"
header=$(find "$work" -mindepth 2 -maxdepth 2 -name httplib.h -print -quit)
# The whole library: its implementation is in the header, not behind CPPHTTPLIB_* switches.
grep -q 'inline void Server::stop' "$header" || {
    echo "$header is not the header-only library" >&2
    exit 1
}
mkdir -p "$dir"
cp "$header" "$dir/httplib.h"
echo "$dir"
