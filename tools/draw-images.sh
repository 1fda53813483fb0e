#!/bin/sh
# Redraws the button and combo-box PNGs with an already built kibchat-draw-images.
#
# Usage: tools/draw-images.sh <kibchat-draw-images binary> [images dir]
#   cmake --build build --target kibchat-draw-images
#   tools/draw-images.sh build/tools/kibchat-draw-images
# The images dir defaults to images/ next to this tools/ folder.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    sed -n '4,6s/^# \{0,1\}//p' "$0" >&2
    exit 2
fi

binary=$1
out=${2:-$(dirname "$0")/../images}

# No display is needed to paint into QImages.
QT_QPA_PLATFORM=offscreen exec "$binary" "$out"
