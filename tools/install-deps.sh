#!/usr/bin/env bash
# Installs the Debian packages KibChat needs to build, run and test, skipping those present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev libqt5x11extras5-dev libcpp-httplib-dev adwaita-icon-theme
  libx11-dev libxi-dev libxcb1-dev libxcb-shape0-dev libxdamage-dev
  xvfb openbox xdotool x11-utils imagemagick
  kwin-x11 xfwm4 metacity fluxbox icewm dbus
  fonts-wqy-microhei
  g++-mingw-w64-x86-64-win32 wine64
  libbenchmark-dev valgrind strace python3
  clang-14 libclang-rt-14-dev llvm-14
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
