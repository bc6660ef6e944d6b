#!/bin/sh
# Draws the chip panel's two socket pictures, 175 x 240 JPEG: J0 the empty
# socket with its lever up, J1 the socket holding an 8-pin chip in its upper
# position with the lever down. The build embeds the JPEG files as they are;
# this script is only run to change the artwork (it needs ImageMagick).
set -eu
cd "$(dirname "$0")"

holes=""
for i in $(seq 0 19); do
    y=$((58 + i * 8))
    holes="$holes circle 58,$y 58,$((y + 2)) circle 112,$y 112,$((y + 2))"
done

socket() {
    lever=$1
    shift
    convert -size 175x240 xc:'#dfe6dc' \
        -fill '#0b5d2c' -draw "rectangle 0,0 174,239" \
        -fill '#1e7a3d' -draw "rectangle 6,6 168,233" \
        -fill '#2a2a2a' -draw "roundrectangle 34,44 136,228 6,6" \
        -fill '#3c3c3c' -draw "roundrectangle 40,50 130,222 4,4" \
        -fill '#111111' -draw "$holes" \
        -fill '#c9c9c9' -stroke '#7a7a7a' -draw "$lever" \
        -stroke none "$@"
}

# The lever hinges at the socket's lower right corner.
socket "rectangle 141,212 149,226 roundrectangle 143,24 149,220 3,3 roundrectangle 139,14 153,34 4,4" \
    -quality 90 J0.jpg
socket "rectangle 141,212 149,226 roundrectangle 143,60 149,220 3,3 roundrectangle 139,52 153,70 4,4" \
    -fill '#b8b8b8' \
    -draw "rectangle 52,55 64,61 rectangle 52,63 64,69 rectangle 52,71 64,77 rectangle 52,79 64,85" \
    -draw "rectangle 106,55 118,61 rectangle 106,63 118,69 rectangle 106,71 118,77 rectangle 106,79 118,85" \
    -fill '#151515' -draw "roundrectangle 62,52 108,90 3,3" \
    -fill '#2e2e2e' -draw "circle 69,59 69,62" \
    -fill '#151515' -draw "circle 85,52 85,56" \
    -quality 90 J1.jpg
