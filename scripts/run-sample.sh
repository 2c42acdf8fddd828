#!/usr/bin/env bash
# Builds the wizard and starts it under Wine in the bundled sample mod folder, with a sample
# game at "C:\Program Files\GTA San Andreass" in a Wine prefix inside the build tree. Without a
# display it starts Xvfb itself and saves a screenshot of the first page. It runs the 32-bit
# build, the one that ships, where the machine can start it, and the 64-bit build elsewhere.
set -euo pipefail
source "$(dirname "$0")/root.sh"
source "$root/scripts/windows_builds.sh"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

builds="$(merva_windows_builds)"
export MERVA_WINDOWS_BUILD="${builds%% *}"
win="$root/build/$MERVA_WINDOWS_BUILD"
export MERVA_PREFIX="$win/sample-prefix"
[ -n "${DISPLAY:-}" ] || export MERVA_OWN_XVFB=1
source "$root/tests/e2e/wine_env.sh"
merva_start_display
trap merva_stop EXIT
merva_prepare_prefix

mod="$root/build/sample/mod"
game="$WINEPREFIX/drive_c/Program Files/GTA San Andreass"
rm -rf "$mod" "$game"
bash "$root/samples/make_sample.sh" "$root/build/native" "$mod" "$game"
cd "$mod"
exe="$win/src/wizard/win32/merva.exe"
said="$root/build/sample/wine.txt"
# What Wine says when it cannot start the program, in words instead of a bare exit code.
could_not_start() {
  echo "Wine could not start $exe ($MERVA_WINDOWS_BUILD build): exit code $1; $(tail -n 3 "$said" | tr '\n' ' ')" >&2
  exit 1
}
if [ -n "${MERVA_OWN_XVFB:-}" ]; then
  wine "$exe" >"$said" 2>&1 &
  wizard=$!
  sleep 5
  if ! kill -0 "$wizard" 2>/dev/null; then
    code=0
    wait "$wizard" || code=$?
    could_not_start "$code"
  fi
  shot="$root/build/sample/first-page.png"
  import -display "$DISPLAY" -window root "$shot"
  echo "No display here: the wizard ($MERVA_WINDOWS_BUILD build) ran on Xvfb; its first page is in $shot"
else
  echo "Starting the wizard ($MERVA_WINDOWS_BUILD build) in $mod (game folder: C:\\Program Files\\GTA San Andreass)"
  code=0
  wine "$exe" >"$said" 2>&1 || code=$?
  # 126 and 127: the loader itself or the program could not be started.
  if [ "$code" -eq 126 ] || [ "$code" -eq 127 ]; then could_not_start "$code"; fi
fi
