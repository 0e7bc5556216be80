#!/bin/sh
# Draws the splash picture that the About box shows behind its texts (our
# own design: a band with rings, the envelope mark and a rule under the
# title; the texts are drawn over it at run time). Run once after changing
# the design; the PNG is kept in the tree and compiled into the program.
set -eu
out="${1:-$(dirname "$0")/../toolkit/resources/splash.png}"
convert -size 400x240 gradient:'#f7fbff-#dce9f7' \
  -fill '#1d4e89' -draw "rectangle 0,0 400,70" \
  -fill none -stroke '#ffffff50' -strokewidth 14 -draw "circle 350,-30 440,40" \
  -strokewidth 6 -draw "circle 350,-30 400,20" \
  -stroke none -fill '#1d4e89' -draw "roundrectangle 18,88 80,132 6,6" \
  -fill none -stroke '#ffffff' -strokewidth 3 -draw "polyline 21,92 49,115 77,92" \
  -stroke '#f2a900' -strokewidth 4 -draw "line 0,70 400,70" \
  -strokewidth 2 -draw "line 90,145 386,145" \
  -strip -define png:bit-depth=8 "PNG24:$out"
