#!/usr/bin/env bash
# Draws the program's icons and its idle picture into ui/res/:
#   scripts/make-art.sh [OUTPUT_DIR]        (default: ui/res of this repository)
#
# Everything is drawn here from ImageMagick primitives and Debian's fonts
# (fonts-dejavu-core, fonts-wqy-microhei); the results are committed, and the
# build only reads the committed files. Running the script again with the
# same packages gives the same bytes.
#
#   app.ico            107, 147  camera lens on a blue rounded square
#   disconnected.ico   135       the same, greyed, with a red "x" badge
#   waiting.ico        136       the same, muted, with an amber "..." badge
#     each 64, 48, 32, 24 and 16 pixels, 32 bits per pixel
#   bluetooth.ico      145       16 x 16 blue Bluetooth rune
#   usb.ico            146       16 x 16 grey USB trident (status bar)
#   record.ico, record-off.ico             130, 131   green / grey dot
#   stop.ico, stop-off.ico                 132, 133   red / grey square
#   disconnect.ico, disconnect-off.ico     140, 142   red / grey broken plug
#   settings.ico                           144        blue gear
#   idle.bmp           134       495 x 391, 32 bits per pixel
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$repo/ui/res}
mkdir -p "$out"

latin_bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
latin=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
chinese=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
for f in "$latin_bold" "$latin" "$chinese"; do
  [ -f "$f" ] || { echo "make-art: missing $f; run scripts/install-packages.sh" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "make-art: ImageMagick is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No dates, comments or profiles in what is written: same input, same bytes.
im() { convert "$@"; }
clean=(-strip +set date:create +set date:modify)

# --- the lens icon, drawn once at 256 x 256 -----------------------------------

# Blue rounded square with a soft top-to-bottom gradient.
im -size 256x256 gradient:'#4A9BF5'-'#0D4FB3' "$work/ground.png"
im -size 256x256 xc:none -fill white -draw "roundrectangle 10,10 245,245 52,52" "$work/mask.png"
im "$work/ground.png" "$work/mask.png" -alpha off -compose CopyOpacity -composite "$work/square.png"

# The lens: a light bezel, a dark barrel, blue glass, iris, pupil and a glint;
# a small flash window at the top right.
im "$work/square.png" \
  -fill '#E8EEF5' -draw "circle 128,136 128,54" \
  -fill '#9FB3C8' -draw "circle 128,136 128,62" \
  -fill '#1F2A36' -draw "circle 128,136 128,68" \
  -fill '#0E2F57' -draw "circle 128,136 128,84" \
  -fill '#2367B8' -draw "circle 128,136 128,106" \
  -fill '#07111E' -draw "circle 128,136 128,120" \
  -fill '#FFFFFFCC' -draw "ellipse 106,112 16,10 0,360" \
  -fill '#FFFFFF88' -draw "circle 150,158 150,153" \
  -fill '#FFFFFFE6' -draw "roundrectangle 180,34 214,52 6,6" \
  "$work/lens.png"

# Badges for the two states that are not "connected".
badge_ground() {  # <fill> <file>
  im -size 256x256 xc:none \
    -fill white -draw "circle 192,192 192,134" \
    -fill "$1" -draw "circle 192,192 192,144" "$2"
}
badge_ground '#E53935' "$work/badge-red.png"
im "$work/badge-red.png" -stroke white -strokewidth 14 -draw "line 172,172 212,212" \
  -draw "line 212,172 172,212" "$work/badge-x.png"
badge_ground '#FFA000' "$work/badge-amber.png"
im "$work/badge-amber.png" -fill white -stroke none \
  -draw "circle 170,192 170,182" -draw "circle 192,192 192,182" -draw "circle 214,192 214,182" \
  "$work/badge-dots.png"

im "$work/lens.png" -colorspace Gray -level -25%,100% -colorspace sRGB \
  "$work/badge-x.png" -composite "$work/disconnected.png"
im "$work/lens.png" -modulate 100,45,100 "$work/badge-dots.png" -composite "$work/waiting.png"

# An icon file with every size, each a 32-bit bitmap image.
icon_sizes() {  # <master png> <ico>
  local master=$1 ico=$2 parts=() s
  for s in 64 48 32 24 16; do
    im "$master" -filter Lanczos -resize ${s}x${s} "${clean[@]}" "$work/part-$s.png"
    parts+=("$work/part-$s.png")
  done
  im "${parts[@]}" "${clean[@]}" "$ico"
}
icon_sizes "$work/lens.png" "$out/app.ico"
icon_sizes "$work/disconnected.png" "$out/disconnected.ico"
icon_sizes "$work/waiting.png" "$out/waiting.ico"

# --- 16 x 16 glyphs, drawn at 64 x 64 and scaled down --------------------------

glyph() {  # <ico> <draw arguments...>
  local ico=$1
  shift
  im -size 64x64 xc:none "$@" -filter Lanczos -resize 16x16 "${clean[@]}" "$work/g.png"
  im "$work/g.png" "${clean[@]}" "$ico"
}

glyph "$out/bluetooth.ico" -fill none -stroke '#1565C0' -strokewidth 7 \
  -draw "polyline 14,18 46,46 30,60 30,4 46,18 14,46"

usb() {  # <colour> <ico>
  glyph "$2" -fill none -stroke "$1" -strokewidth 5 \
    -draw "line 32,8 32,54" -draw "polyline 32,40 14,28 14,18" -draw "polyline 32,32 50,22 50,14" \
    -fill "$1" -stroke none -draw "circle 32,54 32,61" -draw "circle 14,16 14,22" \
    -draw "rectangle 45,7 55,16" -draw "polygon 32,2 25,12 39,12"
}
usb '#7A7A7A' "$out/usb.ico"

glyph "$out/record.ico" -fill '#2E9E4F' -stroke '#1B6E34' -strokewidth 3 -draw "circle 32,32 32,8"
glyph "$out/record-off.ico" -fill '#A8A8A8' -stroke '#7A7A7A' -strokewidth 3 -draw "circle 32,32 32,8"
glyph "$out/stop.ico" -fill '#D93025' -stroke '#9E1F17' -strokewidth 3 -draw "roundrectangle 10,10 54,54 6,6"
glyph "$out/stop-off.ico" -fill '#A8A8A8' -stroke '#7A7A7A' -strokewidth 3 -draw "roundrectangle 10,10 54,54 6,6"

unplug() {  # <colour> <ico>
  glyph "$2" -fill "$1" -stroke none \
    -draw "roundrectangle 2,24 24,40 4,4" -draw "rectangle 24,27 30,30" -draw "rectangle 24,34 30,37" \
    -draw "roundrectangle 40,24 62,40 4,4" -draw "rectangle 34,30 40,34" \
    -fill none -stroke "$1" -strokewidth 4 -draw "line 30,10 34,18" -draw "line 34,46 30,54"
}
unplug '#D93025' "$out/disconnect.ico"
unplug '#8A8A8A' "$out/disconnect-off.ico"

gear=(-fill '#1565C0' -stroke none)
for a in 0 45 90 135; do
  gear+=(-draw "push graphic-context translate 32,32 rotate $a rectangle -6,-29 6,29 pop graphic-context")
done
glyph "$out/settings.ico" "${gear[@]}" -draw "circle 32,32 32,10" -fill none -stroke white \
  -strokewidth 0 -fill white -draw "circle 32,32 32,23"

# --- the idle picture ---------------------------------------------------------

im "$work/lens.png" -filter Lanczos -resize 128x128 "$work/logo.png"
im -size 495x391 xc:white \
  "$work/logo.png" -geometry +46+104 -composite \
  -font "$latin_bold" -pointsize 58 -fill '#1565C0' -annotate +196+172 'Pavix' \
  -font "$latin" -pointsize 26 -fill '#5A6270' -annotate +200+212 'For PC' \
  -fill '#DDE3EA' -draw "rectangle 196,232 446,233" \
  -font "$latin" -pointsize 16 -fill '#1565C0' -annotate +198+258 'www.pavix.example' \
  -font "$chinese" -pointsize 14 -fill '#6B7280' -gravity SouthEast \
  -annotate +14+12 '提示：在窗口中单击鼠标右键，打开功能菜单' \
  -alpha set -define bmp3:alpha=true "${clean[@]}" BMP3:"$out/idle.bmp"

echo "make-art: wrote $(ls "$out" | wc -l) files to $out"
