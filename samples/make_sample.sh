#!/usr/bin/env bash
# Makes the sample mod folder (scripts.bin, data.cab) and a sample game folder with its
# models\gta3.img and models\gta_int.img, compacted and sorted as the game's own, using the native
# merva-pack and merva-img, and small data files of its own making in the game's formats.
#   make_sample.sh NATIVE_BUILD_DIR MOD_OUT GAME_OUT
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tools="$1" mod="$2" game="$3"
mkdir -p "$mod" "$game/models"
"$tools/merva-pack" build "$here/mod/manifest.txt" "$mod" >/dev/null
img="$game/models/gta3.img"
"$tools/merva-img" create --force "$img"  # made anew each time
"$tools/merva-img" put "$img" "$here"/game/{bullet.dff,infernus.dff,infernus.txd,cheetah.dff}
"$tools/merva-img" compact "$img"
"$tools/merva-img" check "$img" >/dev/null
# Interiors live in models\gta_int.img, which the sample mod puts a file into too.
interiors="$game/models/gta_int.img"
"$tools/merva-img" create --force "$interiors"
"$tools/merva-img" put "$interiors" "$here/game/int_garage.dff"
"$tools/merva-img" compact "$interiors"
"$tools/merva-img" check "$interiors" >/dev/null
# Data files the sample mod merges its lines into: ours, in the game's formats.
mkdir -p "$game/data"
cp "$here/game/handling.cfg" "$here/game/vehicles.ide" "$game/data/"
