#!/usr/bin/env bash
# Usage: tools/install-deps.sh [--build-only | --run]
# Installs the Debian packages KibChat needs, skipping those present: to build it (the
# program, the simulator and the unit tests: a plain `cmake -S . -B build`), and with them
# those the whole test suite needs (tools/test.sh). --build-only installs the first list only;
# --run (tools/run.sh) the first list, and without a display (no DISPLAY) the few that run
# the overlay under Xvfb and take its screenshots.
set -euo pipefail

# To build, from a plain configure up to the Debian package (cpack).
build_packages=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev libqt5x11extras5-dev libcpp-httplib-dev
  libx11-dev libxi-dev libxcb1-dev libxcb-shape0-dev
  liblayershellqtinterface-dev libwayland-dev
)
# Without a display, what runs the overlay in a private X session (tools/xsession.sh) and
# takes its screenshots, with the CJK font its chat lines need.
headless_run_packages=(xvfb openbox x11-utils xdotool imagemagick fonts-wqy-microhei)
# The whole test suite besides: the desktop and end-to-end sessions (X server, window
# managers, a tray (trayer), xdotool, ImageMagick, the CJK font and cursor theme the overlay is
# drawn with), the Windows build and its tests (MinGW-w64, wine, NSIS), the benchmarks,
# valgrind and strace, the hardening build (clang), the Wayland tests (headless sway and
# weston, screenshots, keys, the Qt Wayland and layer-shell plugins), and a private session bus
# (dbus) for the shortcut portal's stand-in.
test_packages=(
  "${headless_run_packages[@]}"
  adwaita-icon-theme libxdamage-dev libxfixes-dev gifsicle trayer
  kwin-x11 xfwm4 metacity fluxbox icewm dbus
  g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix wine64 nsis zip unzip xz-utils
  libbenchmark-dev valgrind strace python3 iproute2 ccache
  clang-14 libclang-rt-14-dev llvm-14
  sway weston grim wtype wayland-utils qtwayland5 layer-shell-qt
)
case "${1:-}" in
'') packages=("${build_packages[@]}" "${test_packages[@]}") ;;
--build-only) packages=("${build_packages[@]}") ;;
--run)
  packages=("${build_packages[@]}")
  [ -n "${DISPLAY:-}" ] || packages+=("${headless_run_packages[@]}")
  ;;
*)
  echo "usage: $0 [--build-only | --run]" >&2
  exit 2
  ;;
esac

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Qt for Windows is built from Debian's own qtbase source (tools/build-qt-windows.sh): a
# source entry for the same archive and suites as the binary one (not for --build-only).
src_list=/etc/apt/sources.list.d/kibchat-src.sources
need_update=
if [ -z "${1:-}" ] && [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ] &&
    ! grep -qs '^Types:.*deb-src' /etc/apt/sources.list.d/debian.sources; then
  sed -n '/^Types:/,/^$/p' /etc/apt/sources.list.d/debian.sources |
    awk 'BEGIN{RS="";ORS="\n\n"} /deb.debian.org\/debian$|deb.debian.org\/debian\n/ {sub(/^Types: deb/,"Types: deb-src"); print; exit}' |
    "${sudo[@]}" tee "$src_list" >/dev/null
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && [ -z "$need_update" ] && exit 0
if [ ${#missing[@]} -eq 0 ]; then
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  exit 0
fi

echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
