#!/usr/bin/env bash
# Regenerates the pictures served by the stand-in network object and read by the JPEG tests: one
# 32x16 picture of four 16x8 quadrants (red, lime / blue, white) in each format, plus grey-scale
# progressive and CMYK JPEG forms, and a photograph. Quadrant edges fall on JPEG block edges, so the colours survive
# compression closely. The files are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert   # a stand-in "convert" may shadow imagemagick's on PATH

quadrants=(-size 16x8 xc:red -size 16x8 xc:lime +append \( -size 16x8 xc:blue -size 16x8 xc:white +append \) -append)
$IM "${quadrants[@]}" -strip quadrants.gif
$IM "${quadrants[@]}" -strip -type TrueColor BMP3:quadrants.bmp
$IM "${quadrants[@]}" -strip -quality 95 -sampling-factor 1x1 quadrants.jpg
$IM "${quadrants[@]}" -strip -quality 95 -sampling-factor 1x1 -interlace Plane quadrants_progressive.jpg
$IM "${quadrants[@]}" -strip -colorspace Gray -quality 95 quadrants_gray.jpg
$IM "${quadrants[@]}" -strip -colorspace CMYK -quality 95 -sampling-factor 1x1 quadrants_cmyk.jpg
$IM "${quadrants[@]}" -strip quadrants.png
printf 'not a picture\n' > notes.txt
# A photograph over several Read calls, and how imagemagick's JPEG decoder renders it.
$IM rose: -strip -quality 90 rose.jpg
$IM rose.jpg -type TrueColor BMP3:rose_decoded.bmp
