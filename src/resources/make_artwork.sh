#!/usr/bin/env bash
# Makes the window's six pictures and the icon with ImageMagick. The results are kept in art/
# so that building needs none of this; run it again after changing the artwork.
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/art"
mkdir -p "$out"
bold=DejaVu-Sans-Bold
sans=DejaVu-Sans
light='#d9dee6'

# Background, 566 x 450, progressive: a dark field, a textured band along the top, the heading
# "Установка" at the upper left, two light rules and a light rectangle where the poster sits.
convert -size 566x450 gradient:'#1b1e24-#0c0d10' \
  \( -size 566x84 -seed 11 plasma:'#39404c-#15181d' -blur 0x1.2 -modulate 70,8 \
     \( -size 566x84 gradient:white-black \) -compose multiply -composite \) \
  -compose over -geometry +0+0 -composite \
  -fill '#c9ced6' -draw 'rectangle 323,24 566,210' \
  -fill '#0c0d10' -draw 'rectangle 326,27 566,207' \
  -fill "$light" -draw 'rectangle 8,80 320,81' -draw 'rectangle 8,400 558,401' \
  -font "$bold" -pointsize 30 -fill '#00000099' -annotate +15+69 'Установка' \
  -fill "$light" -annotate +13+67 'Установка' \
  -quality 90 -interlace JPEG "$out/background.jpg"

# Button faces, 112 x 32.
convert -size 112x32 gradient:'#353b45-#16191e' -fill none -stroke '#5d6675' \
  -draw 'rectangle 0,0 111,31' -stroke none -font "$bold" -pointsize 13 -fill "$light" \
  -gravity center -annotate +0+0 'Назад' -quality 92 "$out/back.jpg"
convert -size 112x32 gradient:'#353b45-#16191e' -fill none -stroke '#5d6675' \
  -draw 'rectangle 0,0 111,31' -stroke none -font "$bold" -pointsize 13 -fill "$light" \
  -gravity center -annotate +0+0 'Далее' -quality 92 "$out/next.jpg"
convert -size 112x32 gradient:'#353b45-#16191e' -fill none -stroke '#5d6675' \
  -draw 'rectangle 0,0 111,31' -stroke none -font "$bold" -pointsize 13 -fill "$light" \
  -gravity center -annotate +8+0 'Отмена' \
  -gravity northwest -fill '#b8483c' -draw 'polygon 20,16 25,11 30,16 25,21' \
  -quality 92 "$out/cancel.jpg"

# Poster for the first web site, 240 x 180.
convert -size 240x180 gradient:'#e07a2e-#5a1420' \
  \( -size 240x180 -seed 4 plasma:'#ffffff-#000000' -blur 0x3 -colorspace gray \) \
  -compose softlight -composite \
  -fill '#00000066' -draw 'rectangle 0,120 240,180' \
  -font "$bold" -pointsize 26 -fill white -gravity north -annotate +0+28 'MERVA MODS' \
  -font "$sans" -pointsize 12 -fill '#fff3e0' -annotate +0+64 'моды для GTA San Andreas' \
  -font "$bold" -pointsize 13 -fill white -gravity south -annotate +0+22 'merva.example.org' \
  -quality 90 "$out/poster.jpg"

# Emblem of the Kestrin group, 240 x 160: a kestrel's wings in a ring.
convert -size 240x160 radial-gradient:'#2a3a4a-#0d1218' \
  -fill none -stroke '#c9a45a' -strokewidth 3 -draw 'circle 120,62 120,22' \
  -stroke none -fill '#c9a45a' \
  -draw 'polygon 120,50 84,38 96,56 74,58 104,68 120,88 136,68 166,58 144,56 156,38' \
  -fill '#0d1218' -draw 'circle 120,60 120,56' \
  -font "$bold" -pointsize 17 -fill '#e8d6a8' -gravity south -annotate +0+16 'KESTRIN TEAM' \
  -quality 90 "$out/emblem.jpg"

# Icon, 32 x 32 in 16 colours: an "M" on a dark disc.
convert -size 32x32 xc:none -fill '#1b1e24' -draw 'circle 15.5,15.5 15.5,1' \
  -fill '#c9a45a' -draw 'circle 15.5,15.5 15.5,3' -fill '#1b1e24' -draw 'circle 15.5,15.5 15.5,5' \
  -font "$bold" -pointsize 18 -fill "$light" -gravity center -annotate +0+0 'M' \
  -background none -alpha off -colors 16 -type Palette BMP3:"$out/icon.bmp"
convert "$out/icon.bmp" -colors 16 "$out/merva.ico"
rm -f "$out/icon.bmp"
