#!/bin/sh
# Writes the small sample images that image_decode_test.cc reads. Run once from this folder;
# the outputs are committed, so the tests need no image tools.
#
# Most samples are 16 x 16 in four 8 x 8 quadrants: red top left, green top right,
# blue bottom left, white bottom right.
set -eu
strip="-strip -define png:exclude-chunks=date,time"

convert -size 8x8 xc:red xc:lime +append \( -size 8x8 xc:blue xc:white +append \) -append -strip quadrants.ppm
convert quadrants.ppm -quality 95 -sampling-factor 1x1 -strip quadrants.jpg
convert quadrants.ppm -colorspace CMYK -quality 95 -sampling-factor 1x1 -strip quadrants_cmyk.jpg
convert quadrants.ppm -define webp:lossless=true -strip quadrants_lossless.webp
convert quadrants.ppm -quality 90 -strip quadrants_lossy.webp
convert quadrants.ppm -depth 8 -compress lzw -strip quadrants.tif
convert quadrants.ppm -strip quadrants.gif
convert quadrants.ppm -interlace GIF -strip quadrants_interlaced.gif
convert quadrants.ppm $strip PNG8:quadrants_palette.png
convert quadrants.ppm $strip PNG48:quadrants_16bit.png

# Grey levels 0, 85, 170, 255 in the four quadrants.
convert -size 8x8 xc:'gray(0)' xc:'gray(85)' +append \( -size 8x8 xc:'gray(170)' xc:'gray(255)' +append \) -append \
  -strip -type Grayscale grey.pgm
convert grey.pgm $strip -define png:color-type=0 -define png:bit-depth=8 grey.png
convert grey.pgm -strip -quality 95 grey.jpg

# White bottom-right quadrant transparent; the other quadrants opaque.
convert quadrants.ppm -transparent white -strip quadrants_transparent.gif
convert quadrants.ppm -transparent white $strip PNG8:quadrants_transparent_palette.png
# Bottom-right quadrant white at alpha 128 (straight, not premultiplied).
convert quadrants.ppm -alpha set -region 8x8+8+8 -channel A -evaluate set 50.19607843% +channel +region \
  -strip half_alpha.pam
convert half_alpha.pam $strip PNG32:half_alpha.png
convert half_alpha.pam -compress lzw -strip half_alpha.tif
convert half_alpha.pam -define webp:lossless=true -strip half_alpha.webp
# Grey with alpha: grey 85 at alpha 128.
convert -size 4x4 xc:'graya(85,0.50196)' $strip -define png:color-type=4 grey_alpha.png

# A 4 x 4 red frame placed at (8, 4) on a 16 x 16 logical screen.
convert -size 4x4 xc:red -page 16x16+8+4 -strip offset_frame.gif
# Two images: a red one first, then a blue one.
convert -size 4x4 xc:red xc:blue -strip two_images.gif
convert -size 4x4 xc:red xc:blue -compress lzw -strip two_images.tif

rm -f quadrants.ppm grey.pgm half_alpha.pam

# Region decoding: a 150 x 110 plasma in every JPEG subsampling, progressive, grey and CMYK
# (large enough for blocks to matter), and a 48 x 36 cut of it in the other formats.
convert -size 150x110 -seed 7 plasma:red-blue -strip region.ppm
convert region.ppm -quality 85 -sampling-factor 2x2 -strip region_420.jpg
convert region.ppm -quality 85 -sampling-factor 2x1 -interlace JPEG -strip region_422_progressive.jpg
convert region.ppm -quality 85 -sampling-factor 1x1 -strip region_444.jpg
convert region.ppm -colorspace Gray -quality 85 -strip region_grey.jpg
convert region.ppm -colorspace CMYK -quality 85 -strip region_cmyk.jpg
convert region.ppm -crop 48x36+50+40 +repage small.ppm
convert small.ppm $strip PNG24:region.png
convert small.ppm $strip -interlace PNG PNG24:region_interlaced.png
convert small.ppm $strip -colors 64 PNG8:region_palette.png
convert small.ppm $strip PNG48:region_16bit.png
convert small.ppm -alpha set -channel A -fx 'i/w' +channel $strip PNG32:region_alpha.png
convert small.ppm -strip -quality 80 region.webp
convert small.ppm -compress lzw -strip region.tif
convert small.ppm -colors 64 -strip region.gif
rm -f region.ppm small.ppm
