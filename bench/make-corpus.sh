#!/usr/bin/env bash
# Writes the benchmark's GIF files into the folder given (default build/bench-corpus): larger
# images than the test corpus holds, single frames of several kinds (photographic, flat colour,
# dithered, noise, interlaced) and animations (full frames, optimised ones of small changing
# rectangles, long ones with a colour table per frame, small ones of many tiny frames), all made by
# imagemagick (/usr/bin/convert; a stand-in "convert" may shadow it on PATH). Takes a minute or
# two; a second run does nothing (the marker's name changes whenever the corpus gains files).
set -euo pipefail
out=${1:-build/bench-corpus}
mkdir -p "$out"
IM=/usr/bin/convert
[ -f "$out/.done-2" ] && exit 0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---- single frames ----
$IM logo: -resize 1600x1200! "$out/logo_1600x1200.gif"
$IM rose: -resize 1200x800! "$out/rose_photo_1200x800.gif"
$IM rose: -resize 1200x800! -interlace GIF "$out/rose_photo_interlaced_1200x800.gif"
$IM wizard: -resize 200% "$out/wizard_2x.gif"
$IM netscape: -resize 1024x768! "$out/netscape_1024x768.gif"
$IM granite: -resize 1024x1024! "$out/granite_texture_1024.gif"
$IM -size 1024x768 -seed 3 plasma:fractal "$out/plasma_1024x768.gif"
$IM -size 1024x768 -seed 3 plasma:fractal -interlace GIF "$out/plasma_interlaced_1024x768.gif"
$IM -size 1024x768 -seed 4 plasma:fractal -blur 0x12 -dither FloydSteinberg -colors 16 "$out/dither_fs16_1024x768.gif"
$IM -size 1024x768 -seed 4 plasma:fractal -blur 0x12 -ordered-dither o8x8,4 "$out/dither_ordered_1024x768.gif"
$IM -size 1024x768 -seed 4 plasma:fractal -blur 0x12 -ordered-dither o8x8,4 -interlace GIF \
    "$out/dither_ordered_interlaced_1024x768.gif"
$IM -size 2000x2000 gradient:navy-gold "$out/gradient_2000.gif"
$IM -size 2000x2000 xc:white -fill red -draw "circle 1000,1000 1000,200" -fill blue \
    -draw "rectangle 100,100 600,1900" "$out/flat_shapes_2000.gif"
$IM -size 2000x2000 xc:white -fill red -draw "circle 1000,1000 1000,200" -fill blue \
    -draw "rectangle 100,100 600,1900" -interlace GIF "$out/flat_shapes_interlaced_2000.gif"
$IM -size 4000x3000 xc:white -fill black -draw "rectangle 0,0 3999,9" "$out/flat_blank_4000x3000.gif"
$IM -size 640x480 xc: +noise Random -colors 16 "$out/noise16_640x480.gif"
$IM -size 640x480 xc: +noise Random "$out/noise256_640x480.gif"

# ---- animations ----
# Full frames of photographic content.
$IM -delay 5 -loop 0 -size 480x360 -seed 5 plasma:fractal -seed 6 plasma:fractal -seed 7 plasma:fractal \
    -seed 8 plasma:fractal -seed 9 plasma:fractal -seed 10 plasma:fractal "$out/plasma_anim_6x480x360.gif"
# A wide banner scrolling by: 240 full frames of 1000 x 175 cut from one flat-coloured strip.
$IM -size 3000x175 xc:navy -fill gold -draw "rectangle 200,40 900,130" -fill white \
    -draw "circle 1500,87 1500,20" -fill tomato -draw "rectangle 2000,10 2600,160" "$tmp/strip.png"
frames=()
for ((x = 0; x < 2000; x += 8)); do frames+=("(" "$tmp/strip.png" -crop "1000x175+$x+0" +repage ")"); done
$IM -delay 4 -loop 0 "${frames[@]}" "$out/banner_anim_250x1000x175.gif"
# A photograph panned and zoomed: 32 full frames of 320 x 240, dithered.
frames=()
for ((i = 0; i < 32; ++i)); do
  frames+=("(" rose: -resize $((320 + 4 * i))x$((240 + 3 * i))! -crop 320x240+$((2 * i))+$i +repage ")")
done
$IM -delay 8 -loop 0 "${frames[@]}" -dither FloydSteinberg "$out/rose_pan_anim_32x320x240.gif"
# A ball moving over a still background, optimised into small changing rectangles.
frames=()
for ((i = 0; i < 60; ++i)); do
  frames+=("(" -size 800x600 gradient:white-skyblue -fill red -draw "circle $((100 + 10 * i)),300 $((140 + 10 * i)),300" ")")
done
$IM -delay 4 -loop 0 "${frames[@]}" -layers Optimize "$out/ball_optimised_anim_60x800x600.gif"
# Large photographic frames, interlaced.
$IM -delay 10 -loop 0 -size 1024x768 -seed 11 plasma:fractal -seed 12 plasma:fractal -seed 13 plasma:fractal \
    -seed 14 plasma:fractal -interlace GIF "$out/plasma_interlaced_anim_4x1024x768.gif"
# A long animation of full frames, each with a colour table of its own and long runs of one colour
# (a few kilobytes per frame), where what each frame costs before its first pixel shows.
frames=()
for ((i = 0; i < 259; ++i)); do
  frames+=("(" -size 1000x175 "xc:rgb($((i % 200 + 20)),$((90 + i % 37)),$((250 - i % 180)))" \
    -fill "rgb($((255 - i % 97)),$((40 + i % 150)),$((i % 64)))" -draw "rectangle $((3 * i)),30 $((3 * i + 220)),140" \
    -fill "rgb($((i % 50)),$((i % 50)),$((200 - i % 50)))" -draw "rectangle 0,$((i % 160)) 999,$((i % 160 + 8))" \
    -fill white -draw "circle $((700 - 2 * i)),87 $((700 - 2 * i)),17" ")")
done
$IM -delay 4 -loop 0 "${frames[@]}" "$out/local_tables_anim_259x1000x175.gif"
# A short animation of many tiny frames: a dot circling, optimised into the few pixels each frame
# changes. (On a 64 x 64 canvas stb_image's reader crashes on what this makes.)
frames=()
for ((i = 0; i < 72; ++i)); do
  x=$(awk -v i=$i 'BEGIN { printf "%d", 48 + 32 * cos(i * 3.14159265 / 36) }')
  y=$(awk -v i=$i 'BEGIN { printf "%d", 48 + 32 * sin(i * 3.14159265 / 36) }')
  frames+=("(" -size 96x96 xc:white -fill teal -draw "circle $x,$y $((x + 5)),$y" ")")
done
$IM -delay 3 -loop 0 "${frames[@]}" -layers Optimize "$out/tiny_frames_anim_72x96x96.gif"
rm -f "$out/.done"
touch "$out/.done-2"
