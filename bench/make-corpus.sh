#!/usr/bin/env bash
# Writes the benchmark's GIF files into the folder given (default build/bench-corpus): larger
# images than the test corpus holds, photographic and flat, single-frame and animated, all made
# by imagemagick (/usr/bin/convert; a stand-in "convert" may shadow it on PATH).
set -euo pipefail
out=${1:-build/bench-corpus}
mkdir -p "$out"
IM=/usr/bin/convert
[ -f "$out/.done" ] && exit 0
$IM logo: -resize 1600x1200! "$out/logo_1600x1200.gif"
$IM rose: -resize 1200x800! "$out/rose_photo_1200x800.gif"
$IM wizard: -resize 200% "$out/wizard_2x.gif"
$IM netscape: -resize 1024x768! "$out/netscape_1024x768.gif"
$IM granite: -resize 1024x1024! "$out/granite_texture_1024.gif"
$IM -size 1024x768 -seed 3 plasma:fractal "$out/plasma_1024x768.gif"
$IM -size 1024x768 -seed 3 plasma:fractal -interlace GIF "$out/plasma_interlaced_1024x768.gif"
$IM -size 2000x2000 gradient:navy-gold "$out/gradient_2000.gif"
$IM -size 2000x2000 xc:white -fill red -draw "circle 1000,1000 1000,200" -fill blue \
    -draw "rectangle 100,100 600,1900" "$out/flat_shapes_2000.gif"
$IM -size 640x480 xc: +noise Random -colors 16 "$out/noise16_640x480.gif"
$IM -size 640x480 xc: +noise Random "$out/noise256_640x480.gif"
$IM -delay 5 -loop 0 -size 480x360 -seed 5 plasma:fractal -seed 6 plasma:fractal -seed 7 plasma:fractal \
    -seed 8 plasma:fractal -seed 9 plasma:fractal -seed 10 plasma:fractal "$out/plasma_anim_6x480x360.gif"
touch "$out/.done"
