#!/usr/bin/env bash
# Regenerates every image of this folder: the Norvale logos and icons, the
# colour swatches and the small style-sheet pictures.
# Needs ImageMagick 6 (/usr/bin/convert) and the DejaVu fonts.
#   resources/images/make-images.sh
set -euo pipefail

IM=/usr/bin/convert
OUT=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# A geometric face reads best for the word mark; DejaVu is the fallback.
FONT=/usr/share/fonts/opentype/urw-base35/URWGothic-Demi.otf
[ -f "$FONT" ] || FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
TAGFONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
for f in "$FONT" "$TAGFONT"; do
    [ -f "$f" ] || { echo "missing font $f (apt-get install fonts-dejavu-core)" >&2; exit 1; }
done

ORANGE='#ffa02f'
ORANGE_DARK='#d7801a'
TEXT_LIGHT='#f0f0f0'
BACKGROUND='#323232'

# PNGs without time stamps or comments, so reruns give identical files.
# shellcheck disable=SC2054  # the comma separates ImageMagick chunk names
png_opts=(-strip -define png:compression-level=9 -define png:exclude-chunks=date,time)

# The Norvale mark on a 1000 x 1000 grid: a lattice mast under a radiator dot
# with waves on both sides. $1 = number of wave pairs, $2 = stroke width,
# $3 = whether to brace the mast. Small icons get fewer, thicker strokes so
# the mark survives down to 16 pixels.
mark_draw() {
    local waves=$1 stroke=$2 brace=$3
    awk -v waves="$waves" -v sw="$stroke" -v brace="$brace" 'BEGIN {
        cx = 500; cy = 330; a = 38 * atan2(0, -1) / 180
        if (waves == 3)      { r[1] = 170; r[2] = 290; r[3] = 410 }
        else if (waves == 2) { r[1] = 215; r[2] = 395 }
        else                 { r[1] = 300 }
        printf "stroke-width %d stroke-linecap round stroke-linejoin round ", sw
        printf "fill none "
        for (i = 1; i <= waves; i++) {
            dx = r[i] * cos(a); dy = r[i] * sin(a)
            printf "path \"M %.1f,%.1f A %d,%d 0 0 1 %.1f,%.1f\" ", cx + dx, cy - dy, r[i], r[i], cx + dx, cy + dy
            printf "path \"M %.1f,%.1f A %d,%d 0 0 1 %.1f,%.1f\" ", cx - dx, cy + dy, r[i], r[i], cx - dx, cy - dy
        }
        top = cy + 95; foot = 935; spread = 110 + sw / 2
        printf "path \"M %d,%d L %d,%d L %d,%d\" ", cx - spread, foot, cx, top, cx + spread, foot
        if (brace) {
            y1 = 640; y2 = 800
            x1 = spread * (y1 - top) / (foot - top); x2 = spread * (y2 - top) / (foot - top)
            printf "path \"M %.1f,%d L %.1f,%d M %.1f,%d L %.1f,%d\" ", cx - x1, y1, cx + x1, y1, cx - x2, y2, cx + x2, y2
        }
        printf "stroke none fill black circle %d,%d %d,%d", cx, cy, cx, cy - 55 - sw / 4
    }'
}

# render_mark OUT PAINT WAVES STROKE BRACE: the mark, trimmed, on transparency.
# PAINT is a colour or "orange" for the accent gradient.
render_mark() {
    local out=$1 paint=$2
    local draw
    draw=$(mark_draw "$3" "$4" "$5")
    "$IM" -size 1000x1000 xc:none -stroke black -fill black -draw "$draw" \
        -alpha extract "$WORK/mask.png"
    if [ "$paint" = orange ]; then
        "$IM" -size 1000x1000 "gradient:$ORANGE-$ORANGE_DARK" "$WORK/paint.png"
    else
        "$IM" -size 1000x1000 "xc:$paint" "$WORK/paint.png"
    fi
    "$IM" "$WORK/paint.png" "$WORK/mask.png" -alpha off -compose CopyOpacity -composite \
        "$out"
}

# word OUT COLOUR POINTSIZE: the word mark, trimmed.
word() {
    "$IM" -background none -fill "$2" -font "$FONT" -pointsize "$3" -kerning 4 \
        label:Norvale -trim +repage "$1"
}

# tagline OUT COLOUR POINTSIZE
tagline() {
    "$IM" -background none -fill "$2" -font "$TAGFONT" -pointsize "$3" -kerning 14 \
        label:'ANTENNA SYSTEMS' -trim +repage "$1"
}

# --- Logos -------------------------------------------------------------------

render_mark "$WORK/mark_white.png" white 3 50 1
render_mark "$WORK/mark_orange.png" orange 3 50 1

# White variant, stacked, for the dark panel: 1558 x 1000.
"$IM" "$WORK/mark_white.png" -trim +repage -resize x520 "$WORK/m.png"
word "$WORK/w.png" white 300
"$IM" "$WORK/w.png" -resize '1400x240>' "$WORK/w.png"
tagline "$WORK/t.png" white 62
"$IM" -size 1558x1000 xc:none \
    "$WORK/m.png" -gravity north -geometry +0+60 -composite \
    "$WORK/w.png" -gravity north -geometry +0+630 -composite \
    "$WORK/t.png" -gravity north -geometry +0+890 -composite \
    "${png_opts[@]}" "PNG32:$OUT/Logomarca Branco.png"

# Colour variant, side by side, legible on #323232: 1559 x 556.
"$IM" "$WORK/mark_orange.png" -trim +repage -resize x470 "$WORK/m.png"
word "$WORK/w.png" "$TEXT_LIGHT" 300
"$IM" "$WORK/w.png" -resize '880x280>' "$WORK/w.png"
tagline "$WORK/t.png" "$ORANGE" 62
"$IM" "$WORK/t.png" -resize '880x>' "$WORK/t.png"
"$IM" -size 1559x556 xc:none \
    "$WORK/m.png" -gravity west -geometry +60+0 -composite \
    "$WORK/w.png" -gravity northwest -geometry +590+135 -composite \
    "$WORK/t.png" -gravity northwest -geometry +594+368 -composite \
    "${png_opts[@]}" "PNG32:$OUT/Logomarca.png"

# Narrow upright logo: 61 x 168, word reading upwards under the mark.
"$IM" "$WORK/mark_orange.png" -trim +repage -resize 49x49 "$WORK/m.png"
word "$WORK/w.png" "$TEXT_LIGHT" 300
"$IM" "$WORK/w.png" -rotate -90 -resize 34x104 "$WORK/w.png"
"$IM" -size 61x168 "xc:$BACKGROUND" \
    "$WORK/m.png" -gravity north -geometry +0+6 -composite \
    "$WORK/w.png" -gravity south -geometry +0+6 -composite \
    -strip -quality 92 -sampling-factor 1x1 "$OUT/logo1.jpg"

# --- Icons -------------------------------------------------------------------

# icon_tile OUT SIZE WAVES STROKE BRACE: white mark on a rounded orange tile,
# drawn large and scaled down so small sizes keep smooth edges.
icon_tile() {
    local out=$1 size=$2
    render_mark "$WORK/im.png" white "$3" "$4" "$5"
    "$IM" "$WORK/im.png" -trim +repage -resize 760x760 "$WORK/im.png"
    "$IM" -size 1000x1000 xc:none -fill black \
        -draw "roundrectangle 10,10 989,989 190,190" -alpha extract "$WORK/tm.png"
    "$IM" -size 1000x1000 "gradient:$ORANGE-$ORANGE_DARK" "$WORK/tm.png" \
        -alpha off -compose CopyOpacity -composite \
        "$WORK/im.png" -compose Over -gravity center -composite \
        -filter Lanczos -resize "${size}x${size}" "${png_opts[@]}" "PNG32:$out"
}

icon_tile "$WORK/i256.png" 256 3 50 1
icon_tile "$WORK/i64.png" 64 3 60 1
icon_tile "$WORK/i48.png" 48 2 80 1
icon_tile "$WORK/i32.png" 32 2 95 0
icon_tile "$WORK/i24.png" 24 1 110 0
icon_tile "$WORK/i16.png" 16 1 130 0
"$IM" "$WORK/i16.png" "$WORK/i24.png" "$WORK/i32.png" "$WORK/i48.png" \
    "$WORK/i64.png" "$WORK/i256.png" "$OUT/norvale.ico"

# The earlier icon: orange mark on a round dark badge, one 128 x 128 image.
render_mark "$WORK/im.png" orange 2 70 1
"$IM" "$WORK/im.png" -trim +repage -resize 640x640 "$WORK/im.png"
"$IM" -size 1000x1000 xc:none -fill "$BACKGROUND" -stroke "$ORANGE_DARK" -strokewidth 30 \
    -draw "circle 500,500 500,20" \
    "$WORK/im.png" -gravity center -composite \
    -filter Lanczos -resize 128x128 "${png_opts[@]}" "PNG32:$WORK/old.png"
"$IM" "$WORK/old.png" "$OUT/norvale_old.ico"

# --- Colour swatches -----------------------------------------------------------

# Each swatch also comes at twice the size, as name@2x.png, for scaled displays.
swatch() {
    "$IM" -size 97x90 "xc:$2" "${png_opts[@]}" "PNG24:$OUT/$1"
    "$IM" -size 194x180 "xc:$2" "${png_opts[@]}" "PNG24:$OUT/${1%.png}@2x.png"
}
swatch white.png '#ffffff'
swatch yellow.png '#fff200'
swatch black.png '#000000'
swatch corSplit.png '#c3c3c3'
swatch corSuperSplit.png '#efe4b0'

# --- Style sheet pictures ------------------------------------------------------

# pixels OUT WIDTH HEIGHT ROW...: one character per pixel;
# '#' full colour, '+' half colour, '.' transparent; colour in $PIX_A / $PIX_B
# ('#' uses A, '+' uses B).
pixels() {
    local out=$1 w=$2 h=$3
    shift 3
    local y=0 x row draw=""
    for row in "$@"; do
        for ((x = 0; x < ${#row}; x++)); do
            case ${row:x:1} in
                '#') draw+="fill $PIX_A point $x,$y " ;;
                '+') draw+="fill $PIX_B point $x,$y " ;;
            esac
        done
        y=$((y + 1))
    done
    "$IM" -size "${w}x${h}" xc:none -draw "$draw" "${png_opts[@]}" "PNG32:$OUT/$out"
}

# Check mark: orange stroke with white-tinted anti-aliasing edge.
PIX_A=$ORANGE PIX_B='rgba(255,214,160,0.55)' pixels checkbox.png 9 9 \
    '.........' \
    '.......+#' \
    '......+##' \
    '#+...+##+' \
    '##+.+##+.' \
    '+##+##+..' \
    '.+###+...' \
    '..+#+....' \
    '.........'

PIX_A='#e6e6e6' PIX_B='rgba(230,230,230,0.45)' pixels down_arrow.png 7 5 \
    '#######' \
    '+#####+' \
    '.+###+.' \
    '..+#+..' \
    '...+...'

# Grip dots with a dark shadow; tiles seamlessly along the tool-bar handle.
PIX_A='#9a9a9a' PIX_B='#161616' pixels handle.png 6 6 \
    '......' \
    '.#....' \
    '..+...' \
    '......' \
    '....#.' \
    '.....+'

# The same pictures at twice the size, as name@2x.png, which Qt picks on displays scaled
# above 100 %: drawn as shapes rather than enlarged, so the edges stay smooth.
# smooth OUT WIDTH HEIGHT DRAW...: ImageMagick draw primitives on transparency.
smooth() {
    local out=$1 w=$2 h=$3
    shift 3
    "$IM" -size "${w}x${h}" xc:none "$@" "${png_opts[@]}" "PNG32:$OUT/$out"
}
smooth checkbox@2x.png 18 18 -fill none -stroke "$ORANGE" -strokewidth 3 \
    -draw "stroke-linecap round stroke-linejoin round polyline 1.5,8 6,12.5 16,2.5"
smooth down_arrow@2x.png 14 10 -fill '#e6e6e6' -stroke none -draw "polygon 0,0 14,0 7,9.5"
# The grip tiles the tool-bar handle, so its dots keep their places: each pixel doubled.
"$IM" "$OUT/handle.png" -filter point -resize 200% "${png_opts[@]}" "PNG32:$OUT/handle@2x.png"

echo "images written to $OUT"
