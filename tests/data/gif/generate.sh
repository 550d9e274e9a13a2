#!/usr/bin/env bash
# Regenerates the GIF test corpus in this folder: files written by imagemagick, by giflib's
# gifbuild, and by gifcorpus.py (cases no encoder produces on demand), plus truncated copies.
# The files are committed; run this only to change the corpus.
set -euo pipefail
cd "$(dirname "$0")"
IM=/usr/bin/convert   # a stand-in "convert" may shadow imagemagick's on PATH

python3 gifcorpus.py

# imagemagick: real encoder output over built-in images and drawings.
$IM -size 1x1 xc:red im_1x1.gif
$IM -size 2x2 pattern:checkerboard -colors 2 im_2x2.gif
$IM -size 3x5 gradient:red-blue -colors 4 im_3x5.gif
$IM rose: im_rose.gif
$IM rose: -interlace GIF im_rose_interlaced.gif
$IM logo: im_logo.gif
$IM logo: -resize 640x481! -interlace GIF im_logo_interlaced.gif
$IM granite: im_granite.gif
$IM netscape: im_netscape.gif
$IM wizard: -resize 50% im_wizard.gif
$IM -size 256x64 gradient:black-white im_gray_gradient.gif
$IM -size 64x64 gradient:yellow-navy -colors 16 im_16colors.gif
$IM rose: -fuzz 15% -transparent "#4a3a33" im_rose_transparent.gif
$IM -size 20x20 xc:none -fill blue -draw "circle 10,10 10,3" im_circle_transparent.gif
$IM -delay 20 -loop 0 rose: granite: netscape: -resize 70x46! im_anim.gif
$IM -size 30x20 xc:green -comment "made for the tests" im_comment.gif
$IM -size 2000x2000 xc:white -fill red -draw "circle 1000,1000 1000,200" -fill blue \
    -draw "rectangle 100,100 600,1900" -fill "#208040" -draw "polygon 1900,100 1200,1900 1900,1900" im_2000.gif
$IM -size 400x300 plasma:fractal -seed 7 -colors 256 im_plasma.gif

# giflib: its encoder (a round trip through gifbuild's text form) and its extension writer.
gifbuild -d im_rose.gif | gifbuild > gb_rose.gif
gifbuild -d im_anim.gif | gifbuild > gb_anim.gif
gifbuild gb_extensions.txt > gb_extensions.gif

# Truncated copies: in the header, in the global colour table, inside a data sub-block, at a
# block boundary, and without the trailer.
head -c 9 im_rose.gif > trunc_header.gif
head -c 100 im_rose.gif > trunc_colortable.gif
size=$(stat -c %s im_rose.gif)
head -c $((size / 2)) im_rose.gif > trunc_subblock.gif
head -c $((size - 2)) im_rose.gif > trunc_boundary.gif
head -c $((size - 1)) im_rose.gif > trunc_notrailer.gif
