#!/usr/bin/env bash
# Draws the pictures of the main window (background and the up/down images of the seventeen
# picture buttons) and the program icon into res/images/ and res/icons/ with ImageMagick.  The
# pictures are committed; run this only to change them (the same bytes come out every time).
# Needs imagemagick, fonts-dejavu-core and fonts-ipafont-gothic.
set -euo pipefail
cd "$(dirname "$0")/.."
out=res/images
mkdir -p "$out"

# The same bytes on every run: a fixed noise seed, no metadata in the files.
strip_all() {
  local f
  for f in "$out"/*.png; do mogrify -strip -define png:exclude-chunks=date,time "$f"; done
}

bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
cond=/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf
gothic=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf

# button NAME WIDTH HEIGHT LABEL POINTSIZE TOP BOTTOM TEXT [FONT]
# Draws NAMEU (raised) and NAMED (pressed) with a vertical gradient from TOP to BOTTOM.
button() {
  local name=$1 w=$2 h=$3 label=$4 size=$5 top=$6 bottom=$7 text=$8 font=${9:-$bold}
  local r=4
  ((h < 22)) && r=3
  local tmp
  tmp=$(mktemp -d)
  # Raised: light edge at the top, dark frame, label centred.
  convert -size "${w}x${h}" "gradient:${top}-${bottom}" \
    \( -size "${w}x${h}" xc:none -fill white \
       -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \) \
    -alpha off -compose CopyOpacity -composite \
    -fill none -stroke '#0b0d12' -strokewidth 1 \
    -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \
    -stroke 'rgba(255,255,255,0.55)' -draw "line $((r + 1)),1 $((w - r - 2)),1" \
    -stroke none -font "$font" -pointsize "$size" -fill 'rgba(0,0,0,0.35)' \
    -gravity center -annotate +1+1 "$label" -fill "$text" -annotate +0+0 "$label" \
    -background '#1b1e25' -alpha remove "$tmp/up.png"
  # Pressed: darker, reversed gradient, shadow inside the top edge, label one pixel lower.
  convert -size "${w}x${h}" "gradient:${bottom}-${top}" -modulate 82 \
    \( -size "${w}x${h}" xc:none -fill white \
       -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \) \
    -alpha off -compose CopyOpacity -composite \
    -fill none -stroke '#05060a' -strokewidth 1 \
    -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) $r,$r" \
    -stroke 'rgba(0,0,0,0.45)' -draw "line $((r + 1)),1 $((w - r - 2)),1" \
    -stroke none -font "$font" -pointsize "$size" -fill "$text" \
    -gravity center -annotate +1+1 "$label" \
    -background '#1b1e25' -alpha remove "$tmp/down.png"
  cp "$tmp/up.png" "$out/${name}U.png"
  cp "$tmp/down.png" "$out/${name}D.png"
  rm -rf "$tmp"
}

steel_top='#e9edf3'
steel_bottom='#8f98a8'
ink='#1d2330'

button POWER 44 19 POWER 8 '#ff8a7a' '#b3261e' white "$cond"
button TITLE 51 28 TITLE 10 "$steel_top" "$steel_bottom" "$ink"
button HELP 22 19 '?' 11 "$steel_top" "$steel_bottom" "$ink"
button ICON 22 19 '_' 11 "$steel_top" "$steel_bottom" "$ink"
button SAVE 70 32 SAVE 12 "$steel_top" "$steel_bottom" "$ink"
button FORM 70 32 FORM 12 "$steel_top" "$steel_bottom" "$ink"
button STYLE 70 32 STYLE 12 "$steel_top" "$steel_bottom" "$ink"
button TONE 70 32 TONE 12 "$steel_top" "$steel_bottom" "$ink"
button PLAY 76 32 '▶ PLAY' 12 '#9ef0a8' '#2f8f45' '#0d2614'
button STOP 45 32 '■ STOP' 9 "$steel_top" "$steel_bottom" "$ink" "$cond"
button COMP 68 30 COMP 13 '#ffc27a' '#d9620b' '#2a1200'
button ROLL 36 32 ROLL 8 "$steel_top" "$steel_bottom" "$ink" "$cond"
# The song history below the status line, the three re-rolls above COMP.
button BACK 24 20 '◀' 9 "$steel_top" "$steel_bottom" "$ink"
button FORWARD 24 20 '▶' 9 "$steel_top" "$steel_bottom" "$ink"
button MELODY 30 24 '旋律' 9 '#ffd9a8' '#e08a3c' '#2a1200' "$gothic"
button RHYTHM 30 24 'リズム' 8 '#ffd9a8' '#e08a3c' '#2a1200' "$gothic"
button FEEL 30 24 '伴奏' 9 '#ffd9a8' '#e08a3c' '#2a1200' "$gothic"

# The background: a dark brushed panel with the title display, the status window, the logo
# below it, a speaker grille and the groove above the bottom row of buttons.
tmp=$(mktemp -d)
convert -size 446x158 gradient:'#3a404c'-'#171a21' \
  \( -size 446x158 xc:gray50 -seed 7 +noise Gaussian -motion-blur 0x12+0 -colorspace gray \) \
  -compose overlay -define compose:args=20 -composite "$tmp/panel.png"
grille=""
for y in $(seq 46 8 114); do
  for x in $(seq 14 8 86); do
    grille+="circle $x,$y $((x + 2)),$y "
  done
done
convert "$tmp/panel.png" \
  -fill '#0c0e12' -draw "$grille" \
  -fill none -stroke 'rgba(255,255,255,0.10)' -draw "line 0,118 445,118" \
  -stroke '#0a0c10' -draw "line 0,119 445,119" \
  -stroke '#0a0c10' -fill '#000000' -draw "roundrectangle 106,3 373,33 4,4" \
  -stroke 'rgba(255,255,255,0.18)' -fill none -draw "line 108,34 371,34" \
  -stroke '#0a0c10' -fill '#cc6600' -draw "roundrectangle 94,37 336,89 3,3" \
  -stroke 'rgba(255,255,255,0.18)' -fill none -draw "line 96,90 334,90" \
  -stroke 'rgba(0,0,0,0.35)' -draw "line 97,41 333,41" \
  -stroke none -font "$bold" -pointsize 15 -fill '#ff9a2e' -annotate +236+109 'VEMA' \
  -font "$cond" -pointsize 6 -fill '#aab2c0' -annotate +236+116 'AUTO COMPOSER 97' \
  -font "$cond" -pointsize 7 -fill '#8b93a1' \
  -annotate +8+12 'POWER' -annotate +384+12 'HELP' -annotate +418+12 'ICON' \
  -annotate +308+116 'v1.02' -annotate +345+40 'REROLL' \
  -annotate +356+112 'COMPOSE' \
  "$out/BACKGROUND.png"
rm -rf "$tmp"

# The program icon: an orange V on the dark panel colour.  The window uses the three small
# sizes (compiled in); the larger ones in res/icons/ are only installed for the desktop's menus.
icons=res/icons
mkdir -p "$icons"
for size in 16 32 48 64 128 256; do
  r=$((size / 6))
  dest=$out
  ((size > 48)) && dest=$icons
  convert -size "${size}x${size}" xc:none \
    -fill '#1b1e25' -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $r,$r" \
    -fill '#ff9a2e' -font "$bold" -pointsize $((size * 3 / 4)) -gravity center \
    -annotate +0+0 'V' "$dest/APPICON$size.png"
done
strip_all
for f in "$icons"/*.png; do mogrify -strip -define png:exclude-chunks=date,time "$f"; done
echo "pictures written to $out and $icons"
