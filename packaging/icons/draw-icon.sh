#!/usr/bin/env bash
# Draws the program's icon with ImageMagick and writes the hicolor sizes
# next to this script (the PNGs are kept in the repository, so a build does
# not need ImageMagick). Run again after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT
# A teal tile with a USB stick and four signal bars rising to its right.
convert -size 256x256 xc:none \
  -fill '#0f7c80' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#13a3a8' -draw 'roundrectangle 8,8 247,128 44,44' -draw 'rectangle 8,84 247,128' \
  -fill '#0f7c80' -draw 'rectangle 8,128 247,140' \
  -fill '#f4f7f7' -draw 'roundrectangle 40,92 132,212 14,14' \
  -fill '#c9d3d4' -draw 'rectangle 56,60 116,96' \
  -fill '#0f7c80' -draw 'rectangle 68,70 78,82' -draw 'rectangle 94,70 104,82' \
  -fill '#ffb020' -draw 'circle 86,180 86,192' \
  -fill '#f4f7f7' -draw 'rectangle 150,180 166,212' -draw 'rectangle 174,156 190,212' \
                  -draw 'rectangle 198,132 214,212' -draw 'rectangle 222,108 238,212' \
  "$big"
for s in 16 22 24 32 48 64 128 256; do
  mkdir -p "${s}x${s}"
  convert "$big" -resize "${s}x${s}" -strip -define png:exclude-chunks=date,time \
    "${s}x${s}/korvianet.png"
done
