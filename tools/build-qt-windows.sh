#!/usr/bin/env bash
# Cross-builds Qt 5.15.8's qtbase for 64-bit Windows with Debian's MinGW-w64 (posix threads:
# the code uses std::mutex and std::condition_variable) from Debian's own source package, into
# a cache outside the repository. Does nothing when that cache is complete.
# Prints the prefix on its last line of standard output.
#
# Environment: KIBCHAT_QT_CACHE (default ~/.cache/kibchat), KIBCHAT_QT_JOBS (default nproc).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=5.15.8
cache=${KIBCHAT_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kibchat}
jobs=${KIBCHAT_QT_JOBS:-$(nproc)}

# Raster widgets only: no OpenGL. The +dfsg tarball lacks wintab.h, which the tablet support
# and the Direct2D plugin include. SQL is not used.
options=(
  -opensource -confirm-license -release -shared
  -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype
  -no-feature-sql -no-feature-tabletevent -no-direct2d
)
key=$(printf '%s\n' "$version" "${options[@]}" | sha256sum | cut -c1-10)
prefix=$cache/qt-$version-mingw64-$key
stamp=$prefix/.complete

if [[ -f $stamp ]]; then
    echo "$prefix"
    exit 0
fi

# The posix-thread compilers under the plain names the mkspec calls.
tools=$cache/mingw-posix-bin
mkdir -p "$tools"
for t in gcc g++; do
    real=$(command -v "x86_64-w64-mingw32-$t-posix") || {
        echo "x86_64-w64-mingw32-$t-posix is missing (tools/install-deps.sh installs it)" >&2
        exit 1
    }
    ln -sf "$real" "$tools/x86_64-w64-mingw32-$t"
done
export PATH=$tools:$PATH

work=$cache/qt-$version-build-$key
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
start=$SECONDS
echo "Fetching Debian's qtbase source" >&2
apt-get source --download-only qtbase-opensource-src >&2
tarball=$(ls qtbase-opensource-src_"$version"*.orig.tar.xz) || {
    echo "Debian's qtbase source is not version $version" >&2
    exit 1
}
tar -xf "$tarball"
# Named in the Windows package's licence notice.
source_record=$tarball
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qtbase-*' -print -quit)
[[ -x $src/configure ]] || { echo "no configure in the unpacked source" >&2; exit 1; }

mkdir build
cd build
echo "Configuring (log: $work/configure.log)" >&2
"$src/configure" "${options[@]}" -prefix "$prefix" >"$work/configure.log" 2>&1 || {
    tail -n 40 "$work/configure.log" >&2
    exit 1
}
echo "Building with $jobs jobs (log: $work/build.log)" >&2
{ make -j"$jobs" && make -j"$jobs" install; } >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    exit 1
}
for f in bin/Qt5Core.dll bin/Qt5Gui.dll bin/Qt5Network.dll bin/Qt5Widgets.dll bin/Qt5Test.dll \
    plugins/platforms/qwindows.dll lib/cmake/Qt5/Qt5Config.cmake; do
    [[ -f $prefix/$f ]] || { echo "the build made no $f" >&2; exit 1; }
done
echo "Qt $version for Windows built in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s" >&2
echo "$source_record" >"$prefix/debian-source.txt"
touch "$stamp"
cd /
rm -rf "$work"
echo "$prefix"
