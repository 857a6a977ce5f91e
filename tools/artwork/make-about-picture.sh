#!/bin/sh
# Renders the about box picture (460 x 300 JPEG): three phase voltages and their currents
# on a polar grid, our own artwork. Usage: tools/artwork/make-about-picture.sh OUTPUT.jpg
set -eu
convert -size 460x300 gradient:'#f4f8fb'-'#dfe9f2' \
    -font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf -fill '#1d3d5c' -pointsize 30 \
    -draw "text 262,118 'KALVO'" -pointsize 14 -fill '#4a6b8a' \
    -draw "text 264,140 'meter interface client'" \
    -fill '#F0FFF0' -stroke '#808080' -draw 'circle 120,150 120,40' \
    -fill '#FFFFF0' -draw 'circle 120,150 120,62' \
    -fill none -stroke '#C0C0C0' -strokewidth 2 \
    -draw 'line 120,150 120,40' -draw 'line 120,150 215,205' -draw 'line 120,150 25,205' \
    -stroke '#FF0000' -strokewidth 3 -draw 'line 120,150 120,48' \
    -stroke '#008000' -draw 'line 120,150 208,201' \
    -stroke '#0000FF' -draw 'line 120,150 32,201' \
    -stroke '#FF0000' -strokewidth 2 -draw 'line 120,150 150,80' \
    -stroke '#008000' -draw 'line 120,150 170,196' \
    -stroke '#0000FF' -draw 'line 120,150 52,110' \
    -stroke none -fill '#ffffff' -draw 'rectangle 250,8 456,72' \
    -fill '#ffffff' -draw 'rectangle 20,220 440,292' \
    -quality 90 "$1"
