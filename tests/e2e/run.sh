#!/usr/bin/env bash
# End-to-end tests: the real merva.exe under Wine and Xvfb, driven by merva-e2e.exe with real
# mouse input.   run.sh WINDOWS_BUILD_DIR NATIVE_BUILD_DIR
# The Windows build folder is build/win32 or build/win64; each runs on its own route of Wine.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
win="$(cd "$1" && pwd)" native="$(cd "$2" && pwd)"
export MERVA_PREFIX="$win/e2e-prefix" MERVA_OWN_XVFB=1 MERVA_WINDOWS_BUILD="$(basename "$win")"
source "$here/wine_env.sh"
set +e

exe="$win/src/wizard/win32/merva.exe"
driver="$win/tests/e2e/merva-e2e.exe"
work="$win/e2e-work"
logs="$work/logs"
shots="$win/e2e-shots"
rm -rf "$work" && mkdir -p "$logs" "$shots"

merva_start_display
trap merva_stop EXIT
merva_prepare_prefix || exit 1

game="$WINEPREFIX/drive_c/Program Files/GTA San Andreass"
# The game's key, always read and written in the view the game reads ($merva_game_key_view).
key='HKLM\SOFTWARE\Rockstar Games\GTA San Andreas\Installation'
title='MERVA v1.0 by TAVIK'
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }

passed=0 failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; sed 's/^/    /' "$logs/$1.txt" 2>/dev/null | tail -n 20; }

# scenario NAME FOLDER COMMAND...: one run of the driver.
scenario() {
  local name="$1" folder="$2"
  shift 2
  if LC_ALL="${MERVA_LOCALE:-C.UTF-8}" wine "$driver" "$(winpath "${MERVA_EXE:-$exe}")" \
      "$(winpath "$folder")" "$@" \
      >"$logs/$name.txt" 2>&1; then
    pass "$name"
  else
    fail "$name"
  fi
}
# check NAME COMMAND...: a check made from Linux.
check() {
  local name="$1"
  shift
  if "$@" >"$logs/$name.txt" 2>&1; then pass "$name"; else fail "$name"; fi
}

# A mod folder built from the sample manifest with its level changed.
mod_with_level() {
  local dir="$work/level-$1"
  mkdir -p "$dir"
  cp -r "$here/../../samples/mod" "$work/source-$1"
  sed -i "s/^level = .*/level = $1/" "$work/source-$1/manifest.txt"
  "$native/merva-pack" build --any-level "$work/source-$1/manifest.txt" "$dir" >/dev/null
  echo "$dir"
}

mod="$work/mod"
rm -rf "$game"
"$here/../../samples/make_sample.sh" "$native" "$mod" "$game"
wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1
# Restore points live in the user's local application data, and the program copy that
# uninstall commands run in Program Files; none is left from an earlier run (a copy of an
# earlier build of the same version would stay).
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Merva "$WINEPREFIX/drive_c/Program Files/Merva"
cp -a "$game" "$work/game-before"

welcome='Добро пожаловать!*'
agreement='Мод распространяется бесплатно.*'
folder_text='Укажите папку игры GTA San Andreas.*'
finish='Готово! Мод установлен.*'
progress='Идёт установка'
refusal='Этот мод нельзя установить*'

# --- start-up ---
mkdir -p "$work/empty" "$work/only-script"
scenario missing-both "$work/empty" start box plain "$title" 'Not found "scripts.bin" or "data.cab" files' no-window exit 0
cp "$mod/scripts.bin" "$work/only-script/"
scenario missing-package "$work/only-script" start box plain "$title" 'Not found "scripts.bin" or "data.cab" files' no-window exit 0

cp -r "$mod" "$work/bad-version"
printf '1.1' | dd of="$work/bad-version/scripts.bin" bs=1 seek=6 conv=notrunc status=none
scenario wrong-version-mark "$work/bad-version" start \
  box plain "$title" 'Unknow version of script-file or file damaged' window \
  text 201 "$welcome" click 105 exit 0

mkdir -p "$work/unreadable" && cp "$mod/data.cab" "$work/unreadable/"
ln -s /proc/self/mem "$work/unreadable/scripts.bin"
scenario unreadable-script "$work/unreadable" start box error "$title" '*' window \
  text 201 'Здесь краткое описание мода' text 202 'Title' state 301 hidden \
  state 401 visible state 504 visible state 601 visible state 104 visible+enabled click 105 exit 0

# --- the walk through every page, installing the sample mod: the first installation on this
# machine, so it records level 1 (the start-up runs above may have recorded it already) ---
wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1
scenario walk "$mod" start window sleep 300 \
  text 202 'Infernus GT — пример мода / sample mod' text 201 "$welcome" \
  shot "$(winpath "$shots/1-welcome.bmp")" \
  cursor arrow 101 - cursor next 104 differs-from:arrow cursor cancel 105 same-as:next \
  cursor link 106 same-as:next cursor background 101 same-as:arrow \
  state 103 hidden state 104 visible+enabled state 105 visible+enabled state 301 hidden \
  state 401 hidden state 504 hidden state 601 hidden \
  click 104 text 201 "$agreement" state 104 visible+disabled state 103 visible+enabled \
  state 301 visible text 301 'Принимаю соглашение / I accept' \
  shot "$(winpath "$shots/2-agreement.bmp")" cursor disabled-next 104 same-as:arrow \
  click 104 text 201 "$agreement" \
  click 301 state 104 enabled click 301 state 104 disabled click 301 state 104 enabled \
  click 103 text 201 "$welcome" state 103 hidden state 301 hidden \
  click 104 text 201 "$agreement" state 104 enabled \
  click 104 text 201 "$folder_text" state 401 visible state 504 visible state 301 hidden \
  text 401 'C:\Program Files\GTA San Andreass' shot "$(winpath "$shots/3-folder.bmp")" \
  click 104 text 201 "$finish" state 105 hidden state 103 hidden state 104 visible+enabled \
  state 601 hidden shot "$(winpath "$shots/5-finish.bmp")" click 104 exit 0

img="$game/models/gta3.img"
check installed-archive-sound "$native/merva-img" check "$img"
check installed-archive-files bash -c "'$native/merva-img' list '$img' | grep -q ' infernus.dff\$' && '$native/merva-img' list '$img' | grep -q ' merva_badge.txd\$'"
check installed-game-file test -f "$game/data/merva/infernus_gt.txt"
# The mod's two lines merged by key into the game's data files, the other lines as they were.
check installed-data-lines bash -c "grep -q '^INFERNUS   1500.0 ' '$game/data/handling.cfg' &&
  grep -q '^CHEETAH    1200.0 ' '$game/data/handling.cfg' && grep -q '^411, .*, INFGT, ' '$game/data/vehicles.ide' &&
  [ \$(grep -c '' '$game/data/vehicles.ide') = 5 ]"
check no-scratch-left bash -c "! ls '$game' | grep -qi 'merva-install\|\.dff\|\.txd' && test ! -e '$game/models/temp.img'"
# The Windows build of merva-img reads the installed archive as the native one does.
check windows-merva-img bash -c "diff <(wine '$win/merva-img.exe' list '$(winpath "$img")' 2>/dev/null | tr -d '\r') <('$native/merva-img' list '$img')"
# The Windows build reads the game's edition from a program that carries a build's marks (a PE
# file of one section, made here), and refuses the Definitive Edition's folder by name.
editions="$work/editions"
rm -rf "$editions"
mkdir -p "$editions/steam/models" "$editions/de/models" "$editions/de/Gameface/Binaries/Win64"
cp "$img" "$editions/steam/models/" && cp "$img" "$editions/de/models/"
: >"$editions/de/Gameface/Binaries/Win64/SanAndreas.exe"
python3 - "$editions/steam/gta-sa.exe" <<'PY'
import struct, sys
pe, at, raw = 0x80, 0x1000, 0x460000
b = bytearray(at + raw)
b[0:2] = b"MZ"; struct.pack_into("<I", b, 0x3C, pe); b[pe:pe + 4] = b"PE\0\0"
struct.pack_into("<HH", b, pe + 4, 0x14C, 1); struct.pack_into("<H", b, pe + 20, 0xE0)
struct.pack_into("<HI", b, pe + 24, 0x10B, 0); struct.pack_into("<I", b, pe + 24 + 28, 0x400000)
struct.pack_into("<8sIIII", b, pe + 24 + 0xE0, b".text", raw, at, raw, at)
struct.pack_into("<H", b, 0x85EC4A - 0x400000, 0x94BF)  # Steam 3.0's mark
open(sys.argv[1], "wb").write(b)
PY
check windows-edition bash -c "wine '$win/merva-img.exe' status '$(winpath "$editions/steam")' 2>&1 | tr -d '\r' | grep -qx 'edition: Steam 3.0'"
check windows-definitive-edition bash -c "wine '$win/merva-img.exe' status '$(winpath "$editions/de")' >'$editions/de.txt' 2>&1;
  [ \$? = 5 ] && grep -q 'The Definitive Edition, a different game' '$editions/de.txt'"
check level-recorded bash -c "wine reg query '$key' /v ProductID $merva_game_key_view | tr -d ' \r' | grep -qi 'REG_BINARY000000000000F03F'"
check restore-point-kept bash -c "ls \"$WINEPREFIX\"/drive_c/users/*/AppData/Local/Merva/restore/*/changes.txt"

# --- taking the installation back: merva.exe /undo, with the game folder as a shortcut gives it ---
cp "$img" "$work/gta3-installed.img"
undo_question='Take back the installation of "Infernus GT — пример мода / sample mod" made on *'
undo_done='"Infernus GT — пример мода / sample mod" was taken back: *'
scenario undo-declined "$mod" start-with '/undo "C:\Program Files\GTA San Andreass"' \
  ask "$title" "$undo_question" no exit 0
check undo-declined-changed-nothing cmp "$img" "$work/gta3-installed.img"
scenario undo "$mod" start-with '/undo "C:\Program Files\GTA San Andreass"' window \
  ask "$title" "$undo_question" yes box plain "$title" "$undo_done" exit 0
check undo-gives-the-game-folder-back diff -r "$work/game-before" "$game"
check undo-gives-the-lines-back bash -c "grep -q '^INFERNUS   1400.0 ' '$game/data/handling.cfg' &&
  grep -q '^411, .*, INFERNUS, null' '$game/data/vehicles.ide'"
# The point is gone whole: Windows keeps a file that is still open, and its folder with it.
check undo-removes-its-point bash -c "! ls \"$WINEPREFIX\"/drive_c/users/*/AppData/Local/Merva/restore/ | grep -q 'GTA San Andreass 1'"
check undo-takes-the-level-back bash -c "! wine reg query '$key' /v ProductID $merva_game_key_view"
scenario undo-nothing-left "$mod" start-with '/undo' \
  box plain "$title" 'There is no installation to take back.' exit 0

# --- the restore folder on another drive (R:, a tmpfs), as %LOCALAPPDATA% on C: with the game
# on D:: the player's edit of an installed file is kept there, and the game comes back whole ---
other_drive="$(mktemp -d /dev/shm/merva-e2e-XXXXXX)"
trap 'merva_stop; rm -rf "$other_drive"' EXIT
ln -sfn "$other_drive" "$WINEPREFIX/dosdevices/r:"
export MERVA_RESTORE_DIR='R:\Merva restore'
check other-drive-install wine "$win/merva-img.exe" install 'C:\Program Files\GTA San Andreass' \
  "$(winpath "$mod")"
echo "my own notes" >"$game/data/merva/infernus_gt.txt"
scenario other-drive-undo-keeps-the-edit "$mod" start-with '/undo "C:\Program Files\GTA San Andreass"' \
  window ask "$title" "$undo_question" yes \
  ask "$title" 'Game files were changed since Infernus GT — пример мода / sample mod (installed *' yes \
  box plain "$title" "$undo_done" exit 0
check other-drive-game-back diff -r "$work/game-before" "$game"
check other-drive-edit-kept grep -qx "my own notes" \
  "$other_drive/Merva restore/GTA San Andreass 1 edits/data/merva/infernus_gt.txt"
check other-drive-point-gone test ! -e "$other_drive/Merva restore/GTA San Andreass 1"
unset MERVA_RESTORE_DIR
wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1

# --- cancel, and the folder page ---
scenario cancel-on-welcome "$mod" start window click 105 exit 0
# A close request (Alt+F4, taskkill without /f) does what Cancel does, on any page.
scenario close-on-welcome "$mod" start window close exit 0
scenario close-on-folder-page "$mod" start window click 104 click 301 click 104 \
  text 201 "$folder_text" close exit 0
scenario hints "$mod" start window sleep 300 hint 102 - hint 106 'Kestrin Team' hint 104 - \
  click 105 exit 0
scenario folder-dialog-cancel "$mod" start window click 104 click 301 \
  type 401 'C:\nowhere' click 104 text 201 "$folder_text" \
  folder-dialog cancel state 401 visible click 104 \
  folder-dialog cancel text 201 "$folder_text" \
  type 401 'C:\Program Files\GTA San Andreass' click 104 text 201 "$folder_text" \
  click 103 click 104 click 104 text 201 "$finish" click 104 exit 0
mkdir -p "$work/foreign/models" && printf 'NOT AN ARCHIVE, REALLY' >"$work/foreign/models/gta3.img"
foreign_box="Невозможно найти IMG файл!<LF><LF>[$(winpath "$work/foreign")\\models\\gta3.img]"
scenario foreign-archive "$mod" start window click 104 click 301 \
  type 401 "$(winpath "$work/foreign")" click 104 box error Error "$foreign_box" \
  text 201 "$folder_text" click 104 box error Error "$foreign_box" \
  text 201 "$progress*" state 105 visible+enabled click 105 exit 0
# Browse: the chosen folder fills the edit box and its archive is opened; Next goes on.
chosen="$WINEPREFIX/drive_c/Chosen Game"
rm -rf "$chosen" && mkdir -p "$chosen/models" && cp "$game/models/"*.img "$chosen/models/" &&
  cp -r "$work/game-before/data" "$chosen/"
scenario folder-dialog-choose "$mod" start window click 104 click 301 click 104 \
  text 201 "$folder_text" click 504 folder-dialog choose 'C:\Chosen Game' \
  text 401 'C:\Chosen Game' click 104 text 201 "$finish" click 104 exit 0
check chosen-folder-installed test -f "$chosen/data/merva/infernus_gt.txt"

# A folder typed after the folder page was checked: the run checks it before changing anything.
scenario install-checks-typed-folder "$mod" start window click 104 click 301 click 104 \
  text 201 "$folder_text" type 401 "$(winpath "$work/foreign")" click 104 \
  box error Error "$foreign_box" text 201 "$progress*" state 103 visible+enabled \
  shot "$(winpath "$shots/4-installing-after-an-error.bmp")" \
  click 103 box error Error "$foreign_box" text 201 "$folder_text" click 105 exit 0

# --- the game running: it holds gta3.img (read access, others may only read). The installation
# says so and changes nothing; once the game has ended, Back and Next install. ---
img_win='C:\Program Files\GTA San Andreass\models\gta3.img'
cp "$img" "$work/gta3-before.img"
rm -f "$work/stop-hold"
wine "$win/tests/e2e/merva-hold.exe" "$img_win" "$(winpath "$work/stop-hold")" >"$logs/hold.txt" 2>&1 &
hold_pid=$!
for _ in $(seq 100); do grep -q holding "$logs/hold.txt" 2>/dev/null && break; sleep 0.1; done
in_use="The game or another program is using the file $img_win. Close it, then try again. Nothing was changed."
scenario game-running "$mod" start window click 104 click 301 click 104 click 104 \
  box error "$title" "$in_use" text 201 "$progress*" \
  same-bytes "$(winpath "$img")" "$(winpath "$work/gta3-before.img")" \
  touch "$(winpath "$work/stop-hold")" sleep 1000 click 103 text 201 "$folder_text" \
  click 104 text 201 "$finish" click 104 exit 0
touch "$work/stop-hold" && wait "$hold_pid"
# The sample mod was installed before, so the archive comes out the same: sound, not new.
check installed-after-the-game-ended "$native/merva-img" check "$img"

# --- a read-only archive: access denied, said so, nothing changed ---
cp "$img" "$work/gta3-before.img"
chmod a-w "$img"
# Wine run by root writes files whatever their mode bits; an immutable file refuses even root.
if [ "$(id -u)" -eq 0 ]; then chattr +i "$img" 2>/dev/null; fi
denied="Access to the file $img_win was denied. Run the installer as administrator and make sure the file is not read-only, then try again. Nothing was changed."
if (: >>"$img") 2>/dev/null; then
  echo "SKIP read-only-archive: this machine lets the tests write a read-only file"
else
  scenario read-only-archive "$mod" start window click 104 click 301 click 104 click 104 \
    box error "$title" "$denied" text 201 "$progress*" \
    same-bytes "$(winpath "$img")" "$(winpath "$work/gta3-before.img")" click 105 exit 0
fi
chattr -i "$img" 2>/dev/null
chmod u+w "$img"
check read-only-archive-unchanged cmp "$img" "$work/gta3-before.img"

# --- an archive of a gigabyte: the window keeps answering while it installs, and its bar rises
# through the rebuild ---
big="$WINEPREFIX/drive_c/Big Game"
rm -rf "$big" "$work/parts" && mkdir -p "$big/models" "$work/parts"
head -c 1073741824 /dev/zero | split -b 65536 -a 5 -d - "$work/parts/e"
"$native/merva-img" create "$big/models/gta3.img" >/dev/null
"$native/merva-img" create "$big/models/gta_int.img" >/dev/null
cp -r "$work/game-before/data" "$big/"
"$native/merva-img" put "$big/models/gta3.img" "$work/parts"/* >/dev/null
rm -rf "$work/parts"
scenario responsive-install "$mod" start window click 104 click 301 click 104 \
  type 401 'C:\Big Game' click 104 responsive 201 "$finish" click 104 exit 0
check big-archive-installed bash -c "'$native/merva-img' check '$big/models/gta3.img' &&
  '$native/merva-img' list '$big/models/gta3.img' | grep -q ' infernus.dff\$'"
rm -rf "$big"

# --- folders in any script: the game on a Brazilian player's desktop, the mod unpacked with
# merva.exe beside it into a folder with Chinese letters; typed once, chosen with Browse once,
# and taken back with /undo, on a Western (1252) and a Cyrillic (1251) system. The texts stay
# Cyrillic on both. ---
uni_game_win='C:\Users\João\Área de Trabalho\GTA San Andreas'
uni_game="$WINEPREFIX/drive_c/users/João/Área de Trabalho/GTA San Andreas"
uni_mod="$WINEPREFIX/drive_c/users/José/Downloads/Mod 游戏 (1)"
rm -rf "$uni_mod" && mkdir -p "$uni_mod" && cp "$mod"/scripts.bin "$mod"/data.cab "$exe" "$uni_mod/"
uni_missing="Невозможно найти IMG файл!<LF><LF>[C:\Users\João\Área de Trabalho\models\gta3.img]"
uni_undo="/undo \"$uni_game_win\""
for system in en_US.UTF-8:1252 ru_RU.UTF-8:1251; do
  locale="${system%%:*}" cp="${system##*:}"
  rm -rf "$uni_game" && mkdir -p "$(dirname "$uni_game")" && cp -a "$work/game-before" "$uni_game"
  wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1
  export MERVA_LOCALE="$locale" MERVA_EXE="$uni_mod/merva.exe"
  scenario "unicode-typed-$cp" "$uni_mod" code-page "$cp" start window \
    text 202 'Infernus GT — пример мода / sample mod' text 201 "$welcome" \
    click 104 click 301 click 104 text 201 "$folder_text" \
    type 401 'C:\Users\João\Área de Trabalho' click 104 box error Error "$uni_missing" \
    text 201 "$progress*" type 401 "$uni_game_win" click 103 text 201 "$folder_text" \
    click 104 text 201 "$finish" click 104 exit 0
  check "unicode-typed-$cp-installed" bash -c "test -f '$uni_game/data/merva/infernus_gt.txt' &&
    '$native/merva-img' list '$uni_game/models/gta3.img' | grep -q ' merva_badge.txd\$'"
  scenario "unicode-undo-typed-$cp" "$uni_mod" start-with "$uni_undo" window \
    ask "$title" "$undo_question" yes box plain "$title" "$undo_done" exit 0
  check "unicode-undo-typed-$cp-as-before" diff -r "$work/game-before" "$uni_game"
  scenario "unicode-browse-$cp" "$uni_mod" start window click 104 click 301 click 104 \
    click 504 folder-dialog choose "$uni_game_win" text 401 "${uni_game_win/Users/users}" \
    click 104 text 201 "$finish" click 104 exit 0
  check "unicode-browse-$cp-installed" test -f "$uni_game/data/merva/infernus_gt.txt"
  scenario "unicode-undo-browse-$cp" "$uni_mod" start-with "$uni_undo" window \
    ask "$title" "$undo_question" yes box plain "$title" "$undo_done" exit 0
  check "unicode-undo-browse-$cp-as-before" diff -r "$work/game-before" "$uni_game"
  unset MERVA_LOCALE MERVA_EXE
done
# The Windows tools take such paths from the wide command line and print them in UTF-8.
check unicode-windows-merva-img bash -c "cd '$uni_game/models' && diff <(wine '$win/merva-img.exe' list '$(winpath "$uni_game/models/gta3.img")' 2>/dev/null | tr -d '\r') <('$native/merva-img' list gta3.img)"
# An entry taken out by the Windows tool into a folder of such a name is the native tool's, and
# an existing file is refused without --force.
check unicode-windows-merva-img-extract bash -c "cd '$uni_game' &&
  wine '$win/merva-img.exe' extract --to 'Área 游戏' '$(winpath "$uni_game/models/gta3.img")' INFERNUS.DFF >/dev/null 2>&1 &&
  '$native/merva-img' extract --to native-out models/gta3.img infernus.dff >/dev/null &&
  cmp 'Área 游戏/infernus.dff' native-out/infernus.dff &&
  ! wine '$win/merva-img.exe' extract --to 'Área 游戏' '$(winpath "$uni_game/models/gta3.img")' infernus.dff >/dev/null 2>&1"
rm -rf "$uni_game" "$uni_mod"
wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1
wine reg add "$key" /v ProductID /t REG_BINARY /d 000000000000F03F /f $merva_game_key_view >/dev/null 2>&1

# --- the installed-level gate (level 1 is recorded now) ---
scenario level-refused "$(mod_with_level 0.5)" start window text 201 "$refusal" \
  state 104 visible+enabled state 103 hidden state 105 hidden \
  shot "$(winpath "$shots/6-refusal.bmp")" click 104 exit 0
scenario level-damaged "$(mod_with_level 0.0)" start \
  box plain "$title" 'Installation command file has been damaged' no-window exit 0
scenario level-not-a-number "$(mod_with_level 1.5.2)" start \
  box error "$title" "'1.5.2' is not a valid floating point value." window \
  text 202 'Title' state 301 hidden click 105 exit 0

source "$here/unattended.sh"

for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "screenshots of the pages: $shots"
echo "e2e ($MERVA_WINDOWS_BUILD): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
