#!/bin/sh
# Draws the 48x48 desktop icon packaging/kibchat.png from the overlay's own live indicator:
# a rounded, nearly opaque black card (the overlay's look) with the red live dot in its
# corner and three chat lines in the overlay's name, text and gift colours. The PNG is kept
# in the repository, so building and packaging need no ImageMagick; rerun this after
# changing the images.
# Usage: packaging/draw-icon.sh [output.png]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
images="$here/../images/buttons"
out=${1:-$here/kibchat.png}

# -strip and the dropped date chunks keep the file byte-identical between runs, so a redraw
# does not show up as a change.
convert -size 48x48 xc:none \
    -fill 'rgba(20,20,20,0.94)' -draw 'roundrectangle 1,1 46,46 8,8' \
    \( "$images/icon_live.png" -resize 16x16 \) -geometry +5+5 -composite \
    -fill '#5aa0ff' -draw 'rectangle 24,9 41,12' \
    -fill '#5aa0ff' -draw 'rectangle 7,24 17,27' -fill '#f0f0f0' -draw 'rectangle 20,24 40,27' \
    -fill '#5aa0ff' -draw 'rectangle 7,32 14,35' -fill '#f0f0f0' -draw 'rectangle 17,32 33,35' \
    -fill '#ffc21a' -draw 'rectangle 7,40 26,42' \
    -strip +set date:create +set date:modify -define png:exclude-chunks=date,time \
    "PNG32:$out"
