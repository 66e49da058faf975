#!/usr/bin/env bash
# Renders the picture sources to the PNG files that the build embeds: each button
# picture at its own size and at twice that size for high-density screens, the
# application icon at the sizes desktops ask for. Needs rsvg-convert
# (Debian package librsvg2-bin); run it after changing an SVG and commit both.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p png

render() {  # source size output
    rsvg-convert --width "$2" --height "$2" "$1" --output "$3"
}

for bitmap in 147 148 162 172; do
    render "bitmap$bitmap.svg" 32 "png/bitmap$bitmap.png"
    render "bitmap$bitmap.svg" 64 "png/bitmap$bitmap@2x.png"
done
for bitmap in 112 173 177; do
    render "bitmap$bitmap.svg" 24 "png/bitmap$bitmap.png"
    render "bitmap$bitmap.svg" 48 "png/bitmap$bitmap@2x.png"
done
rsvg-convert --width 32 --height 16 bitmap166.svg --output png/bitmap166.png
rsvg-convert --width 64 --height 32 bitmap166.svg --output png/bitmap166@2x.png
for size in 16 24 32 48 64 128 256; do
    render icon128.svg "$size" "png/icon128-$size.png"
done
