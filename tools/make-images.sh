#!/usr/bin/env bash
# Draws the picture assets under data/: the Go button's emblem (74 x 77) and the window
# icon in the sizes the desktop asks for. The PNGs are committed; run this only to change
# them. Needs ImageMagick's convert (Debian package imagemagick).
set -euo pipefail
cd "$(dirname "$0")/../data"

# The emblem: a survey disc (blue rim, light face) with a red triangulation mark and its
# station point, and the word GO underneath, so the button reads as "go and fetch marks".
convert -size 74x77 xc:none \
  -fill '#0b3d6e' -stroke '#06223d' -strokewidth 2 -draw 'circle 37,36 37,2' \
  -fill '#dff3ff' -stroke '#7fb3d9' -strokewidth 2 -draw 'circle 37,36 37,9' \
  -stroke '#9cc4e0' -strokewidth 1 -draw 'line 37,11 37,61' -draw 'line 12,36 62,36' \
  -fill '#d62828' -stroke '#7a0f0f' -strokewidth 2 -draw 'polygon 37,15 56,49 18,49' \
  -fill white -stroke '#7a0f0f' -strokewidth 1 -draw 'circle 37,38 37,34' \
  -fill '#0b3d6e' -stroke none -draw 'roundrectangle 20,60 54,76 5,5' \
  -font DejaVu-Sans-Bold -pointsize 13 -fill white -gravity north -annotate +0+61 'GO' \
  PNG32:cmdGo.png

# The window and desktop icon: the same disc and mark without the word, drawn large and
# scaled down so the small sizes stay crisp.
convert -size 256x256 xc:none \
  -fill '#0b3d6e' -stroke '#06223d' -strokewidth 8 -draw 'circle 128,128 128,6' \
  -fill '#dff3ff' -stroke '#7fb3d9' -strokewidth 6 -draw 'circle 128,128 128,30' \
  -fill '#d62828' -stroke '#7a0f0f' -strokewidth 8 -draw 'polygon 128,46 204,184 52,184' \
  -fill white -stroke '#7a0f0f' -strokewidth 5 -draw 'circle 128,138 128,122' \
  /tmp/tervane-icon-256.png
for size in 16 32 48 64 128; do
  convert /tmp/tervane-icon-256.png -resize ${size}x${size} PNG32:tervane-${size}.png
done
rm -f /tmp/tervane-icon-256.png

# The placemark icons packed into KMZ packages (data/icons/), one per shape of the style
# table. Each is white or light grey with a thin dark edge: a viewer multiplies the icon by
# its style's colour, so the face takes that colour and the edge keeps the shape visible on
# any map. Drawn at 128 x 128 and scaled to 32 x 32; no date chunks, so the same drawing
# gives the same bytes.
mkdir -p icons
edge='#2b2b2b'
finish=(-resize 32x32 -strip -define png:exclude-chunks=date,time)

# Shaded dot: a ball lit from the upper left.
convert -size 128x128 -define gradient:center=48,44 -define gradient:radii=84,84 \
  radial-gradient:white-'#9a9a9a' -alpha set \
  \( -size 128x128 xc:none -fill white -draw 'circle 64,64 64,10' \) -compose DstIn -composite \
  -compose Over -fill none -stroke "$edge" -strokewidth 5 -draw 'circle 64,64 64,10' \
  "${finish[@]}" PNG32:icons/shaded_dot.png

# Star: five points on a circle of radius 58, the notches at radius 24.
star=$(awk 'BEGIN { pi = atan2(0, -1); s = "";
  for (i = 0; i < 10; i++) { r = (i % 2) ? 24 : 58; a = -pi / 2 + i * pi / 5;
    s = s sprintf("%.1f,%.1f ", 64 + r * cos(a), 66 + r * sin(a)) } print s }')
convert -size 128x128 xc:none -fill white -stroke "$edge" -strokewidth 5 -draw "polygon $star" \
  "${finish[@]}" PNG32:icons/star.png

convert -size 128x128 xc:none -fill white -stroke "$edge" -strokewidth 5 \
  -draw 'polygon 64,10 118,112 10,112' "${finish[@]}" PNG32:icons/triangle.png

convert -size 128x128 xc:none -fill white -stroke "$edge" -strokewidth 5 \
  -draw 'rectangle 18,18 110,110' "${finish[@]}" PNG32:icons/square.png

# Donut: a white ring between two dark edges, open in the middle.
convert -size 128x128 xc:none -fill none -stroke "$edge" -strokewidth 30 -draw 'circle 64,64 64,20' \
  -stroke white -strokewidth 22 -draw 'circle 64,64 64,20' "${finish[@]}" PNG32:icons/donut.png
