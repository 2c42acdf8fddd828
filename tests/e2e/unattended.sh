# Sourced by run.sh: merva.exe run unattended as a mod pack's batch file runs it, with its log
# and exit codes; the entries in Installed apps and their uninstall commands; folders deeper than
# the old limit of 260 characters.

u="$work/unattended"
ugame_win='C:\Unattended\GTA San Andreas'
ugame="$WINEPREFIX/drive_c/Unattended/GTA San Andreas"
uimg="$ugame/models/gta3.img"
# The current user's Software key is shared by the 32-bit and the 64-bit view: one list for both.
apps_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
rm -rf "$u" "$WINEPREFIX/drive_c/Unattended" && mkdir -p "$u" "$(dirname "$ugame")"
cp -a "$work/game-before" "$ugame"
cp -a "$ugame" "$u/game-before"
dos() { local p="${1//\//\\}"; echo "Z:$p"; }

# Three mods over one another: the same names, each its own bytes and title.
for n in 1 2 3; do
  cp -r "$here/../../samples/mod" "$u/source-$n"
  sed -i "s/^title = .*/title = Pack mod $n/" "$u/source-$n/manifest.txt"
  printf 'pack mod %s\n' "$n" >>"$u/source-$n/files/infernus_gt.txt"
  printf 'pack mod %s' "$n" >>"$u/source-$n/files/infernus.dff"
  mkdir -p "$u/mod-$n"
  "$native/merva-pack" build --any-level "$u/source-$n/manifest.txt" "$u/mod-$n" >/dev/null
  cp "$exe" "$u/mod-$n/"
done

# The batch file a mod pack ships: each installer in turn, stopping at the first that fails. It
# names its folders from its own (%~dp0), as packs do: cmd reads a batch file in the console's
# code page, where an absolute path of other letters would not survive. The last folder ends
# with a backslash before its closing quote, as batch files often write one.
{
  printf '@echo off\r\n'
  for n in 1 2 3; do
    folder="$ugame_win"
    [ "$n" = 3 ] && folder="$ugame_win\\"
    printf 'cd /d "%%~dp0mod-%s"\r\n' "$n"
    printf 'merva.exe /silent /dir="%s" /log="%%~dp0pack.log"\r\n' "$folder"
    printf 'if errorlevel 1 exit /b %%errorlevel%%\r\n'
  done
  printf 'echo all three installed\r\n'
} >"$u/pack.bat"
check pack-batch-installs-three bash -c "cd '$u' && wine cmd /c pack.bat | tr -d '\r' | grep -qx 'all three installed'"
check pack-log-tells-each bash -c "[ \$(grep -c 'Done: exit code 0.' '$u/pack.log') = 3 ] &&
  grep -q 'Mod: Pack mod 3.' '$u/pack.log' && grep -q 'Replaced entry infernus.dff in models' '$u/pack.log' &&
  grep -q 'Replaced game file data.merva.infernus_gt.txt.' '$u/pack.log' && grep -q 'Restore point: ' '$u/pack.log' &&
  grep -q 'Replaced line cars 411 in data.vehicles.ide.' '$u/pack.log'"
check pack-archive-sound "$native/merva-img" check "$uimg"
# The sample's interior model goes into models\gta_int.img, each mod's over the one before.
check pack-interior-installed bash -c "'$native/merva-img' check '$ugame/models/gta_int.img' &&
  '$native/merva-img' list '$ugame/models/gta_int.img' | grep -q ' merva_room.dff\$' &&
  grep -q 'Added entry merva_room.dff to models.gta_int.img.' '$u/pack.log' &&
  grep -q 'Replaced entry merva_room.dff in models.gta_int.img.' '$u/pack.log'"
check pack-last-mod-wins bash -c "grep -q 'pack mod 3' '$ugame/data/merva/infernus_gt.txt'"
cp "$uimg" "$u/gta3-packed.img"
# What each of the three still holds, read by the Windows tool under the shared lock.
check pack-status bash -c "wine '$win/merva-img.exe' status '$ugame_win' 2>/dev/null | tr -d '\r' >'$u/status.txt' &&
  grep -q '^installed into .*, newest first: 3' '$u/status.txt' &&
  grep -q '  owns: entry infernus.dff' '$u/status.txt' &&
  grep -q '  taken over: entry infernus.dff, by Pack mod 3 (installed ' '$u/status.txt' &&
  grep -q '  taken over: game file data.merva.infernus_gt.txt, by Pack mod 2 (installed ' '$u/status.txt'"
check pack-plan-json bash -c "wine '$win/merva-img.exe' plan --json '$ugame_win' '$(winpath "$u/mod-1")' 2>/dev/null | tr -d '\r' >'$u/plan.json' &&
  python3 -c 'import json,sys; p=json.load(open(sys.argv[1])); e=[x for x in p[\"entries\"] if x[\"name\"]==\"infernus.dff\"][0];
assert e[\"owner\"][\"title\"]==\"Pack mod 3\", e; assert all(d[\"enough\"] for d in p[\"drives\"]), p' '$u/plan.json'"

# exit_code NAME CODE FOLDER ARGUMENTS...: merva.exe run from FOLDER ends with CODE and leaves
# the game as the batch left it.
exit_code() {
  local name="$1" want="$2" folder="$3"
  shift 3
  check "$name" bash -c "cd '$folder' && wine '$exe' \"\$@\"; code=\$?; echo \"exit code \$code\";
    [ \$code = $want ] && cmp '$uimg' '$u/gta3-packed.img'" _ "$@"
}
low="$(mod_with_level 0.5)"
exit_code exit-3-refused-by-level 3 "$low" /verysilent "/dir=$ugame_win" "/log=$(dos "$u/refused.log")"
check exit-3-logged grep -q 'Refused by the installed level: Этот мод нельзя установить' "$u/refused.log"
exit_code exit-5-no-game 5 "$u/mod-1" /verysilent '/dir=C:\Unattended\nowhere'
exit_code exit-2-bad-switch 2 "$u/mod-1" /silent /bogus "/log=$(dos "$u/bad.log")"
check exit-2-logged grep -q 'Unknown switch /bogus.' "$u/bad.log"
exit_code exit-5-undo-no-game 5 "$u" /undo /verysilent '/dir=C:\Unattended\nowhere'
# The game running: it holds gta3.img.
rm -f "$u/stop-hold"
wine "$win/tests/e2e/merva-hold.exe" "$(winpath "$uimg")" "$(winpath "$u/stop-hold")" >"$logs/unattended-hold.txt" 2>&1 &
uhold=$!
for _ in $(seq 100); do grep -q holding "$logs/unattended-hold.txt" 2>/dev/null && break; sleep 0.1; done
exit_code exit-4-game-running 4 "$u/mod-1" /verysilent "/dir=$ugame_win" "/log=$(dos "$u/running.log")"
touch "$u/stop-hold" && wait "$uhold"
check exit-4-logged grep -q 'The game or another program is using the file' "$u/running.log"
# A game file held open by another program: the same busy answer, and the archive back as it was.
held_file="$ugame/data/merva/infernus_gt.txt"
rm -f "$u/stop-hold"
wine "$win/tests/e2e/merva-hold.exe" "$(winpath "$held_file")" "$(winpath "$u/stop-hold")" >"$logs/unattended-hold-file.txt" 2>&1 &
uhold=$!
for _ in $(seq 100); do grep -q holding "$logs/unattended-hold-file.txt" 2>/dev/null && break; sleep 0.1; done
exit_code exit-4-game-file-held 4 "$u/mod-1" /verysilent "/dir=$ugame_win" "/log=$(dos "$u/held.log")"
touch "$u/stop-hold" && wait "$uhold"
check exit-4-game-file-logged bash -c "grep -q 'The game or another program is using the file' '$u/held.log' &&
  grep -q 'pack mod 3' '$held_file'"
# A log at a file the run writes or reads is refused before anything is written, the log too.
cp "$held_file" "$u/held-before.txt"
exit_code exit-2-log-at-archive 2 "$u/mod-1" /verysilent "/dir=$ugame_win" "/log=$ugame_win\\models\\gta3.img"
check exit-2-log-at-archive-said grep -q 'The log .* would be one of the installer.s own files' "$logs/exit-2-log-at-archive.txt"
exit_code exit-2-log-at-game-file 2 "$u/mod-1" /verysilent "/dir=$ugame_win" "/log=$ugame_win\\DATA\\merva\\infernus_gt.txt"
check exit-2-log-at-game-file-untouched cmp "$held_file" "$u/held-before.txt"

# --- Installed apps: one entry for each installation, read as Windows lists them ---
wine reg query "$apps_key" /s 2>/dev/null | tr -d '\r' >"$u/apps.txt"
# entry_value TITLE NAME: a value of the entry whose DisplayName is "TITLE (GTA San Andreas mod)".
entry_value() {
  awk -v title="$1 (GTA San Andreas mod)" -v name="$2" '
    /^HKEY_/ { if (found && value != "") exit; found = 0; value = "" }
    $1 == "DisplayName" && substr($0, index($0, "REG_SZ") + 10) == title { found = 1 }
    $1 == name { value = substr($0, index($0, "REG_SZ") + 10) }
    END { if (found && value != "") print value }' "$u/apps.txt"
}
check apps-three-entries bash -c "[ \$(grep -c 'DisplayName    REG_SZ    Pack mod [123] (GTA San Andreas mod)' '$u/apps.txt') = 3 ]"
check apps-entry-values bash -c "grep -q 'InstallLocation    REG_SZ    C:.Unattended.GTA San Andreas' '$u/apps.txt' &&
  grep -q 'NoModify    REG_DWORD    0x1' '$u/apps.txt' && grep -q 'NoRepair    REG_DWORD    0x1' '$u/apps.txt' &&
  grep -q 'EstimatedSize    REG_DWORD' '$u/apps.txt' && grep -q 'InstallDate    REG_SZ    20' '$u/apps.txt'"
restore_root="$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local/Merva/restore)"
program_copy="$WINEPREFIX/drive_c/Program Files/Merva/merva.exe"
check apps-program-copy bash -c "cmp '$program_copy' '$exe' && [ ! -e '$restore_root/merva.exe' ] &&
  grep -q 'UninstallString    REG_SZ    \"C:.Program Files.Merva.merva.exe\" /undo /point=\"C:.users.*.Merva.restore.GTA San Andreas [0-9]*\" /dir=\"C:.Unattended.GTA San Andreas\"' '$u/apps.txt'"
for n in 1 2 3; do
  entry_value "Pack mod $n" UninstallString >"$u/uninstall-$n"
  entry_value "Pack mod $n" QuietUninstallString >"$u/quiet-$n"
done
# The mods' own folders are gone, as players delete them: the uninstall commands still work.
rm -rf "$u"/mod-?
# run_uninstall NAME FILE [MORE]: the command in FILE (with MORE after it) run as Windows runs
# it, from a batch file.
run_uninstall() {
  printf '@%s%s\r\nexit /b %%errorlevel%%\r\n' "$(cat "$2")" "${3:-}" >"$u/$1.bat"
  (cd "$u" && wine cmd /c "$1.bat")
}
# The middle one first, through its quiet command: what Pack mod 3 took over of it stays (here
# all of it: the archive keeps its bytes), and Pack mod 3's restore point is rewritten.
middle_first() {
  run_uninstall middle "$u/quiet-2" ' /log="%~dp0middle.log"' || { cat "$u/middle.log"; return 1; }
  cat "$u/middle.log"
  grep -q 'infernus.dff stays as Pack mod 3 installed it.' "$u/middle.log" &&
    grep -q 'merva_room.dff in models.gta_int.img stays as Pack mod 3 installed it.' "$u/middle.log" &&
    grep -q 'The restore points of the later installations were rewritten: GTA San Andreas [0-9]*.' "$u/middle.log" &&
    cmp "$uimg" "$u/gta3-packed.img" && grep -q 'pack mod 3' "$ugame/data/merva/infernus_gt.txt"
}
check uninstall-quiet-middle middle_first
args_of() { sed 's/^"[^"]*" //' "$1"; }
# Then the first, asked in its window.
MERVA_EXE="$program_copy" scenario uninstall-first-with-question "$u" \
  start-with "$(args_of "$u/uninstall-1")" window \
  ask "$title" 'Take back the installation of "Pack mod 1" made on *' yes \
  box plain "$title" '"Pack mod 1" was taken back: *' exit 0
# Then the last: the game comes back byte for byte.
last_of_three() {
  run_uninstall last "$u/quiet-3" ' /log="%~dp0last.log"' || { cat "$u/last.log"; return 1; }
  cat "$u/last.log"
  grep -q 'is as it was before the installation.' "$u/last.log" &&
    grep -q 'Removed: merva_room.dff in models.gta_int.img' "$u/last.log"
}
check uninstall-quiet-last last_of_three
check uninstall-game-back-byte-for-byte diff -r "$u/game-before" "$ugame"
check uninstall-entries-gone bash -c "! wine reg query '$apps_key' /s 2>/dev/null | grep -q 'Pack mod'"
# merva-img's undo, too, takes the entry away with the point.
entries_of_the_game() {
  wine reg query "$apps_key" /s 2>/dev/null | tr -d '\r' |
    grep -c 'InstallLocation    REG_SZ    C:.Unattended.GTA San Andreas$'
}
img_undo_unlists() {
  (cd "$mod" && wine "$exe" /verysilent "/dir=$ugame_win") || return 1
  [ "$(entries_of_the_game)" = 1 ] || return 1
  wine "$win/merva-img.exe" undo "$ugame_win" || return 1
  [ "$(entries_of_the_game)" = 0 ] && diff -r "$u/game-before" "$ugame"
}
check merva-img-undo-unlists img_undo_unlists

# --- each entry's command, started as Windows starts it, takes back its own point: restore
# folders spelt with a final backslash, relative, deeper than 260 characters, and two at once ---
for n in 1 2; do
  "$native/merva-pack" build --any-level "$u/source-$n/manifest.txt" "$u/again-$n" >/dev/null
  cp "$exe" "$u/again-$n/"
done
deep_restore='C:\Deep'
for _ in $(seq 15); do deep_restore="$deep_restore\restore-folder-deep"; done
# quiet_of TITLE FILE: the stored quiet uninstall command of the entry titled TITLE, into FILE.
quiet_of() {
  wine reg query "$apps_key" /s 2>/dev/null | tr -d '\r' >"$u/apps.txt"
  entry_value "$1" QuietUninstallString >"$2"
  [ -s "$2" ]
}
# its_own_point NAME RESTORE_DIR: Pack mod 1 into the default folder, then Pack mod 2 with its points
# in RESTORE_DIR; the second entry's command, started from C:\ without MERVA_RESTORE_DIR, takes
# back the second alone; the first one's then the first.
its_own_point() {
  local name="$1" dir="$2"
  (cd "$u/again-1" && wine "$exe" /verysilent "/dir=$ugame_win") || { echo "first install"; return 1; }
  cp "$uimg" "$u/$name-first.img"
  (cd "$WINEPREFIX/drive_c" && MERVA_RESTORE_DIR="$dir" wine "$u/again-2/merva.exe" /verysilent "/dir=$ugame_win" "/log=$(dos "$u/$name.log")") ||
    { echo "second install"; cat "$u/$name.log"; return 1; }
  (cd "$WINEPREFIX/drive_c" && MERVA_RESTORE_DIR="$dir" wine "$win/merva-img.exe" history "$ugame_win") 2>/dev/null | grep -q 'Pack mod 2' ||
    { echo "history does not list it"; return 1; }
  quiet_of "Pack mod 2" "$u/$name-quiet-2" && quiet_of "Pack mod 1" "$u/$name-quiet-1" || { echo "no entries"; return 1; }
  cat "$u/$name-quiet-2"
  LC_ALL=C.UTF-8 wine "$driver" "$(winpath "$exe")" 'C:\' start-command-line "$(winpath "$u/$name-quiet-2")" exit 0 || return 1
  cmp "$uimg" "$u/$name-first.img" || { echo "the second was not taken back exactly"; return 1; }
  [ "$(entries_of_the_game)" = 1 ] || { echo "entries: $(entries_of_the_game)"; return 1; }
  cat "$u/$name-quiet-1"
  LC_ALL=C.UTF-8 wine "$driver" "$(winpath "$exe")" 'C:\' start-command-line "$(winpath "$u/$name-quiet-1")" exit 0 || return 1
  [ "$(entries_of_the_game)" = 0 ] && diff -r "$u/game-before" "$ugame"
}
mkdir -p "$WINEPREFIX/drive_c/R2" "$WINEPREFIX/drive_c/points"
check uninstall-restore-folder-final-backslash its_own_point backslash 'C:\R2\'
check uninstall-restore-folder-relative its_own_point relative 'points'
check uninstall-restore-folder-deep its_own_point deep "$deep_restore"
check uninstall-restore-folder-deep-is-deep test "${#deep_restore}" -gt 260
rm -rf "$WINEPREFIX/drive_c/R2" "$WINEPREFIX/drive_c/points" "$WINEPREFIX/drive_c/Deep"

# --- a game folder and a mod folder of over 300 characters ---
seg="$(printf 'folder-%.0s' 1 2 3 4 5 6)deep"
long_rel="Long/$seg/$seg/$seg/$seg/$seg/$seg"
long_game="$WINEPREFIX/drive_c/$long_rel/GTA San Andreas"
long_game_win="C:\\${long_rel//\//\\}\\GTA San Andreas"
long_mod="$WINEPREFIX/drive_c/$long_rel/mod"
rm -rf "$WINEPREFIX/drive_c/Long" && mkdir -p "$long_mod"
cp -a "$work/game-before" "$long_game"
cp "$mod"/* "$long_mod/" && cp "$exe" "$long_mod/"
check long-paths-are-long test "${#long_game_win}" -gt 300
# The system keeps the current folder under the old limit: the mod is read beside merva.exe.
check long-install bash -c "cd '$WINEPREFIX/drive_c' && wine '$long_mod/merva.exe' /verysilent \"/dir=\$1\" && '$native/merva-img' check '$long_game/models/gta3.img' && test -f '$long_game/data/merva/infernus_gt.txt'" _ "$long_game_win"
check long-list bash -c "wine '$win/merva-img.exe' history \"\$1\" 2>/dev/null | grep -q 'Infernus GT'" _ "$long_game_win"
check long-undo bash -c "cd '$WINEPREFIX/drive_c' && wine '$long_mod/merva.exe' /undo /verysilent \"/dir=\$1\" && diff -r '$work/game-before' '$long_game'" _ "$long_game_win"
rm -rf "$WINEPREFIX/drive_c/Long"

# --- a car of an automatic ID into a game whose 212 vehicle models are all used ---
full_game="$WINEPREFIX/drive_c/Full/GTA San Andreas"
full_game_win='C:\Full\GTA San Andreas'
rm -rf "$WINEPREFIX/drive_c/Full" && mkdir -p "$(dirname "$full_game")" "$u/car/files" "$u/car-mod"
cp -a "$work/game-before" "$full_game"
printf 'IDE DATA\\VEHICLES.IDE\r\n' >"$full_game/data/default.dat"
{
  printf 'cars\r\n'
  for id in $(seq 400 611); do printf '%s, car%s, car%s, car, CAR%s, CAR%s, null, normal, 10, 0, 0\r\n' "$id" "$id" "$id" "$id" "$id"; done
  printf 'end\r\n'
} >"$full_game/data/vehicles.ide"
cp -a "$full_game" "$u/full-before"
printf 'cars\n@mycar, mycar, mycar, car, INFERNUS, MYCAR, null, normal, 10, 0, 0\nend\n' >"$u/car/files/cars.txt"
printf 'title = My car\ndata data\\vehicles.ide = files/cars.txt\n' >"$u/car/manifest.txt"
"$native/merva-pack" build "$u/car/manifest.txt" "$u/car-mod" >/dev/null && cp "$exe" "$u/car-mod/"
check limits-refused-exit-7 bash -c "cd '$u/car-mod' && wine merva.exe /silent '/dir=$full_game_win' '/log=$(dos "$u/limits.log")';
  [ \$? = 7 ] && diff -r '$u/full-before' '$full_game' && grep -q 'vehicle models: the game uses 212, the mod adds 1' '$u/limits.log'"
check limits-passed-with-the-switch bash -c "cd '$u/car-mod' && wine merva.exe /silent '/dir=$full_game_win' /pastlimits &&
  grep -q '^612, mycar, mycar, car, INFERNUS, MYCAR' '$full_game/data/vehicles.ide'"
check limits-undo-gives-the-game-back bash -c "cd '$u/car-mod' && wine merva.exe /undo /verysilent '/dir=$full_game_win' &&
  diff -r '$u/full-before' '$full_game'"
rm -rf "$WINEPREFIX/drive_c/Full" "$WINEPREFIX/drive_c/Long" "$WINEPREFIX/drive_c/Unattended"
