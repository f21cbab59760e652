#!/usr/bin/env bash
# Regenerates the image strips and icons under res/art/ from the free icon
# themes shipped by Debian.  The build uses the committed files; this script
# only records how they were made, so they can be redone or touched up.
#
# Needs: tango-icon-theme, adwaita-icon-theme, imagemagick (convert,
# compare), librsvg2-bin (rsvg-convert).
#
#   scripts/make-art.sh              write res/art/*
#   scripts/make-art.sh --preview F  also write a 3x preview PNG to F
#
# Strips (small.bmp, toolbar.bmp, toolbar_hot.bmp) are 24-bit BMPs whose
# transparent colour is pure magenta, RGB(255,0,255): the program loads them
# with ImageList_LoadImage(..., CLR_DEFAULT mask = RGB(255,0,255)).  Alpha
# is cut at 50% (no pink fringes) and opaque pixels that happen to be pure
# magenta are nudged to RGB(254,0,254).
#
# Where each picture comes from (T = Tango, A = Adwaita legacy colour set,
# "drawn" = ImageMagick primitives in the Tango palette):
#
#   small.bmp, 16x16 each
#    0 red cross ................ drawn
#    1 magnifying glass ......... T actions/system-search
#    2 orange disc, filled tick . drawn
#    3 orange disc, ringed tick . drawn
#    4 floppy disk .............. T devices/media-floppy
#    5 document + floppy ........ T mimetypes/text-x-generic + T devices/media-floppy
#    6 clock + green arrow ...... drawn (Tango palette)
#    7 house .................... T actions/go-home
#    8 envelope ................. drawn (Tango greys)
#    9 green tick ............... drawn
#   10 computer ................. T devices/computer
#   11 document + gears ......... T mimetypes/text-x-generic + T categories/applications-system (x2)
#   12 user + red cross ......... T apps/system-users (front person only) + drawn cross
#   13 two users ................ T apps/system-users
#   14 installer box + disc ..... T mimetypes/package-x-generic + T devices/media-optical
#   15 document + letter T ...... T mimetypes/empty + drawn T
#   16 folder + window .......... T places/folder + drawn window
#   17 application window ....... drawn (Tango colours)
#   18 book ..................... A legacy/accessories-dictionary
#   19 folder + red tick ........ T places/folder + drawn tick
#   20 page + red cross ......... T mimetypes/text-x-generic + drawn cross
#   21 four-colour window flag .. drawn
#
#   toolbar.bmp / toolbar_hot.bmp, 32x32 each (hot = brightened copy)
#    0 scan ..................... T actions/system-search
#    1 repair all ............... drawn (orange disc, ringed tick)
#    2 repair selected .......... drawn (green tick)
#    3 backup ................... T devices/media-floppy
#    4 restore .................. T mimetypes/text-x-generic + T actions/edit-undo (22px)
#    5 history .................. clock + green arrow, as small 6
#
#   app.ico      16, 32, 48 ..... T actions/edit-clear (broom)
#   progress.ico 32 ............. T devices/media-floppy
#   history.ico  16, 32 ......... clock + green arrow, as small 6
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/res/art"
TANGO=/usr/share/icons/Tango
ADWAITA=/usr/share/icons/Adwaita
PREVIEW=
if [ "${1:-}" = "--preview" ]; then PREVIEW=${2:?preview file name}; fi

for f in "$TANGO/scalable/apps/system-users.svg" "$ADWAITA/24x24/legacy/accessories-dictionary.png"; do
    [ -e "$f" ] || { echo "missing $f (install tango-icon-theme / adwaita-icon-theme)" >&2; exit 1; }
done
for p in convert compare rsvg-convert; do
    command -v "$p" >/dev/null || { echo "missing $p" >&2; exit 1; }
done

W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
mkdir -p "$OUT"

# Tango's hand-tuned bitmap for a size (16, 22, 24, 32).
tango() { echo "$TANGO/${1}x${1}/$2.png"; }

# Render an SVG to an N x N RGBA PNG.
svg() { rsvg-convert -w "$2" -h "$2" "$1" -o "$3"; }

# Drawn pictures are laid out on a 128 x 128 canvas and scaled down, so the
# same drawing serves every size.  draw OUT N <convert drawing options...>
draw() {
    local out=$1 n=$2; shift 2
    convert -size 128x128 xc:none "$@" -filter Box -resize "${n}x${n}" "$out"
}

# Place an emblem of size E over a base picture, bottom-right corner.
# emblem BASE EMBLEM E N OUT
emblem() {
    local off=$(( $4 - $3 ))
    convert "$1" -resize "${4}x${4}" \( "$2" -resize "${3}x${3}" \) \
        -geometry "+${off}+${off}" -compose over -composite "$5"
}

# --- drawn pictures -------------------------------------------------------

red_cross() {   # OUT N
    draw "$1" "$2" -fill none -stroke '#a40000' -strokewidth 34 \
        -draw 'stroke-linecap round line 30,30 98,98' \
        -draw 'stroke-linecap round line 98,30 30,98' \
        -stroke '#ef2929' -strokewidth 18 \
        -draw 'stroke-linecap round line 30,30 98,98' \
        -draw 'stroke-linecap round line 98,30 30,98'
}

tick() {        # OUT N DARK LIGHT
    draw "$1" "$2" -fill none -stroke "$3" -strokewidth 32 \
        -draw 'stroke-linecap round stroke-linejoin round polyline 22,68 50,96 106,32' \
        -stroke "$4" -strokewidth 14 \
        -draw 'stroke-linecap round stroke-linejoin round polyline 22,68 50,96 106,32'
}

orange_filled() {   # OUT N
    draw "$1" "$2" -fill '#f57900' -stroke '#ce5c00' -strokewidth 8 \
        -draw 'circle 64,64 64,6' \
        -fill none -stroke white -strokewidth 18 \
        -draw 'stroke-linecap round stroke-linejoin round polyline 34,66 56,88 94,42'
}

orange_ringed() {   # OUT N
    draw "$1" "$2" -fill '#fcaf3e' -stroke '#ce5c00' -strokewidth 8 \
        -draw 'circle 64,64 64,6' \
        -fill none -stroke white -strokewidth 10 -draw 'circle 64,64 64,20' \
        -stroke '#ce5c00' -strokewidth 26 \
        -draw 'stroke-linecap round stroke-linejoin round polyline 38,64 58,84 92,44' \
        -stroke white -strokewidth 10 \
        -draw 'stroke-linecap round stroke-linejoin round polyline 38,64 58,84 92,44'
}

flag() {        # OUT N
    draw "$1" "$2" -stroke '#2e3436' -strokewidth 3 \
        -fill '#ef2929' -draw 'polygon 10,22 60,16 60,62 10,68' \
        -fill '#73d216' -draw 'polygon 68,15 118,9  118,55 68,61' \
        -fill '#3465a4' -draw 'polygon 10,76 60,70 60,116 10,122' \
        -fill '#fce94f' -draw 'polygon 68,69 118,63 118,109 68,115'
}

# A plain application window, drawn at its final size so the edges are crisp.
window() {      # OUT WIDTH HEIGHT
    local w=$2 h=$3 tb=$(( $3 >= 12 ? 4 : 3 ))
    convert -size "${w}x${h}" xc:none \
        -fill white -stroke '#555753' -draw "rectangle 0,0 $((w-1)),$((h-1))" \
        -stroke none -fill '#3465a4' -draw "rectangle 1,1 $((w-2)),$((tb-1))" \
        -fill '#729fcf' -draw "rectangle 1,1 $((w-2)),1" \
        -fill '#eeeeec' -draw "rectangle 1,$tb $((w-2)),$((h-2))" \
        -fill white -draw "rectangle 2,$((tb+1)) $((w-3)),$((h-3))" \
        "$1"
}

# Letter T on Tango's blank 16x16 page.
page_t() {      # OUT
    convert "$(tango 16 mimetypes/empty)" -fill '#204a87' \
        -draw 'rectangle 4,4 11,5' -draw 'rectangle 7,6 8,12' "$1"
}

# Clock with a green arrow running anticlockwise round it (history).  The
# theme clocks wash out below 32 pixels, so the face is drawn: white dial,
# dark rim, black hands.  The arrow head points along the arc.
clock_arrow() { # OUT N
    local geo
    geo=$(awk 'BEGIN {
        pi = atan2(0, -1); cx = 64; cy = 64; r = 55
        a0 = 20 * pi / 180; a1 = 135 * pi / 180
        x0 = cx + r * cos(a0); y0 = cy + r * sin(a0)
        x1 = cx + r * cos(a1); y1 = cy + r * sin(a1)
        dx = sin(a1); dy = -cos(a1); nx = -dy; ny = dx
        tx = x1 + 22 * dx; ty = y1 + 22 * dy
        bx = x1 - 4 * dx;  by = y1 - 4 * dy
        printf "M %.1f,%.1f A %d,%d 0 1,0 %.1f,%.1f|%.1f,%.1f %.1f,%.1f %.1f,%.1f\n",
            x0, y0, r, r, x1, y1, tx, ty, bx + 19 * nx, by + 19 * ny, bx - 19 * nx, by - 19 * ny
    }')
    local arc=${geo%|*} head=${geo#*|}
    draw "$1" "$2" \
        -fill white -stroke '#2e3436' -strokewidth 9 -draw 'circle 64,64 64,22' \
        -fill none -stroke '#d3d7cf' -strokewidth 5 -draw 'circle 64,64 64,30' \
        -fill '#888a85' -stroke none \
        -draw 'circle 64,33 64,28' -draw 'circle 95,64 100,64' \
        -draw 'circle 64,95 64,100' -draw 'circle 33,64 28,64' \
        -fill none -stroke '#2e3436' -strokewidth 9 \
        -draw 'stroke-linecap round line 64,64 64,36' \
        -draw 'stroke-linecap round line 64,64 84,76' \
        -stroke '#4e9a06' -strokewidth 15 -draw "path '$arc'" \
        -stroke '#8ae234' -strokewidth 6 -draw "path '$arc'" \
        -stroke '#4e9a06' -strokewidth 4 -fill '#8ae234' \
        -draw "stroke-linejoin round polygon $head"
}

# A closed envelope, drawn at 16x16.
envelope() {    # OUT
    convert -size 16x16 xc:none -fill white -stroke '#555753' -strokewidth 1 \
        -draw 'rectangle 0,3 15,13' -fill '#eeeeec' -stroke none -draw 'rectangle 1,9 14,12' \
        -fill none -stroke '#888a85' -draw 'polyline 1,4 7.5,9.5 14,4' \
        -draw 'line 1,12 5.5,8' -draw 'line 14,12 9.5,8' "$1"
}

# One person out of Tango's two-user picture, centred on its own canvas.
one_user() {    # OUT N
    sed '/inkscape:label="cipek"/,/style=/ s/display:inline/display:none/' \
        "$TANGO/scalable/apps/system-users.svg" > "$W/user.svg"
    svg "$W/user.svg" 192 "$W/user192.png"
    convert "$W/user192.png" -trim +repage -background none -gravity center \
        -extent "$(convert "$W/user192.png" -trim -format '%[fx:max(w,h)]x%[fx:max(w,h)]' info:)" \
        -resize "${2}x${2}" "$1"
}

# --- strips ----------------------------------------------------------------

# Hard-edged alpha over magenta, as a 24-bit BMP.
to_bmp() {      # IN.png OUT.bmp
    convert "$1" +repage -alpha on -channel A -threshold 50% +channel \
        -alpha off -fill 'rgb(254,0,254)' -opaque 'rgb(255,0,255)' -alpha on \
        -background 'rgb(255,0,255)' -flatten -alpha off -type TrueColor "BMP3:$2"
}

s=$W/s
T16() { tango 16 "$1"; }
T32() { tango 32 "$1"; }

red_cross      "$s-00.png" 16
cp "$(T16 actions/system-search)" "$s-01.png"
orange_filled  "$s-02.png" 16
orange_ringed  "$s-03.png" 16
cp "$(T16 devices/media-floppy)" "$s-04.png"
svg "$TANGO/scalable/devices/media-floppy.svg" 10 "$W/floppy10.png"
emblem "$(T16 mimetypes/text-x-generic)" "$W/floppy10.png" 10 16 "$s-05.png"
clock_arrow    "$s-06.png" 16
cp "$(T16 actions/go-home)" "$s-07.png"
envelope       "$s-08.png"
tick           "$s-09.png" 16 '#4e9a06' '#8ae234'
cp "$(T16 devices/computer)" "$s-10.png"
convert "$(T16 mimetypes/text-x-generic)" \
    \( "$(T16 categories/applications-system)" -modulate 75,160 -resize 7x7 \) -geometry +1+9 -composite \
    \( "$(T16 categories/applications-system)" -modulate 75,160 -resize 10x10 \) -geometry +6+6 -composite "$s-11.png"
one_user       "$W/user16.png" 16
red_cross      "$W/cross8.png" 8
emblem "$W/user16.png" "$W/cross8.png" 8 16 "$s-12.png"
cp "$(T16 apps/system-users)" "$s-13.png"
svg "$TANGO/scalable/devices/media-optical.svg" 9 "$W/cd9.png"
emblem "$(T16 mimetypes/package-x-generic)" "$W/cd9.png" 9 16 "$s-14.png"
page_t         "$s-15.png"
window         "$W/win9.png" 10 9
convert "$(T16 places/folder)" "$W/win9.png" -geometry +6+7 -composite "$s-16.png"
window         "$W/win16.png" 16 14
convert -size 16x16 xc:none "$W/win16.png" -geometry +0+1 -composite "$s-17.png"
convert "$ADWAITA/24x24/legacy/accessories-dictionary.png" -filter Box -resize 16x16 "$s-18.png"
tick           "$W/rtick10.png" 10 '#a40000' '#ef2929'
emblem "$(T16 places/folder)" "$W/rtick10.png" 10 16 "$s-19.png"
red_cross      "$W/cross10.png" 10
emblem "$(T16 mimetypes/text-x-generic)" "$W/cross10.png" 10 16 "$s-20.png"
flag           "$s-21.png" 16

convert "$s"-??.png +append +repage "$W/small.png"

t=$W/t
cp "$(T32 actions/system-search)" "$t-0.png"
orange_ringed  "$t-1.png" 32
tick           "$t-2.png" 32 '#4e9a06' '#8ae234'
cp "$(T32 devices/media-floppy)" "$t-3.png"
convert "$(T32 mimetypes/text-x-generic)" -gravity northeast -background none -extent 32x32 \
    "$(tango 22 actions/edit-undo)" -gravity southwest -composite +repage "$t-4.png"
clock_arrow    "$t-5.png" 32

convert "$t"-?.png +append +repage "$W/toolbar.png"
convert "$W/toolbar.png" -modulate 118,110 "$W/toolbar_hot.png"

to_bmp "$W/small.png"       "$OUT/small.bmp"
to_bmp "$W/toolbar.png"     "$OUT/toolbar.bmp"
to_bmp "$W/toolbar_hot.png" "$OUT/toolbar_hot.bmp"

# --- icons -------------------------------------------------------------------

svg "$TANGO/scalable/actions/edit-clear.svg" 48 "$W/broom48.png"
convert "$(T16 actions/edit-clear)" "$(T32 actions/edit-clear)" "$W/broom48.png" "$OUT/app.ico"
convert "$(T32 devices/media-floppy)" "$OUT/progress.ico"
convert "$s-06.png" "$t-5.png" "$OUT/history.ico"

# --- check: magenta exactly where the picture is transparent ----------------
for b in small toolbar toolbar_hot; do
    convert "$W/$b.png" +repage -alpha on -channel A -threshold 50% +channel \
        -alpha extract -negate "$W/$b-clear.png"
    convert "$OUT/$b.bmp" -fill black +opaque 'rgb(255,0,255)' \
        -fill white -opaque 'rgb(255,0,255)' "$W/$b-magenta.png"
    diff=$(compare -metric AE "$W/$b-clear.png" "$W/$b-magenta.png" null: 2>&1 || true)
    [ "$diff" = 0 ] || { echo "$b.bmp: $diff pixels disagree with the mask" >&2; exit 1; }
done

if [ -n "$PREVIEW" ]; then
    # Strips on grey and on white (list views), icons at every size, all 3x.
    row() {
        convert "$1" -fill "$2" -opaque 'rgb(255,0,255)' -filter point -resize 300% \
            -bordercolor '#a0a0a0' -border 0x8 "$3"
    }
    row "$OUT/small.bmp" '#a0a0a0' "$W/p1.png"
    row "$OUT/small.bmp" white "$W/p2.png"
    row "$OUT/toolbar.bmp" '#a0a0a0' "$W/p3.png"
    row "$OUT/toolbar_hot.bmp" '#a0a0a0' "$W/p4.png"
    convert -background '#a0a0a0' "$OUT/app.ico[0]" "$OUT/app.ico[1]" "$OUT/app.ico[2]" \
        "$OUT/progress.ico" "$OUT/history.ico[0]" "$OUT/history.ico[1]" +repage \
        -bordercolor none -border 6 -gravity south +append -flatten \
        -filter point -resize 300% "$W/p5.png"
    convert -background '#a0a0a0' "$W"/p[1-5].png -gravity northwest -append \
        -bordercolor '#a0a0a0' -border 12 "$PREVIEW"
fi
