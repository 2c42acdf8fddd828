#!/usr/bin/env bash
# Kills merva-img right before each of its file-changing system calls in turn (strace's fault
# injection: the Nth call of one kind, for every kind and every N until the run no longer meets
# it), for an installation into gta3.img and gta_int.img, an undo (of the newest, and of an
# older one under a later one whose restore point it rewrites, in both archives), and a
# compaction, a delete and a rename of the game's archive (and a rename in gta_int.img). After each kill, `merva-img history GAME` (which settles what a run left) must leave
# the game folder and the restore folder byte for byte as before the run or as after it.
#   injected_kills.sh MERVA_IMG MERVA_PACK
set -uo pipefail
tool="$1" pack="$2"
command -v strace >/dev/null || { echo "strace is not installed"; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export MERVA_RESTORE_DIR="$work/restore"
calls=(openat creat rename renameat renameat2 unlink unlinkat mkdir mkdirat rmdir fsync fdatasync
  ftruncate write pwrite64 copy_file_range)

# The game and restore folders: every file's bytes and every folder; as one sum. A restore
# point's time of installation is left out: each run has its own.
listing() {
  cd "$work" || return
  find game restore -type f -print0 2>/dev/null | sort -z | while IFS= read -r -d '' file; do
    case "$file" in
      */record.txt | */changes.txt) grep -v -e $'^time\t' -e '^Installed: ' "$file" | md5sum ;;
      *) md5sum <"$file" ;;
    esac | sed "s|-\$|$file|"
  done
  find game restore -type d -print 2>/dev/null | sort
}
state() { (listing) | md5sum; }
save() { rm -rf "$work/$1" && mkdir "$work/$1" && cp -a "$work/game" "$work/$1/" &&
  { [ ! -d "$work/restore" ] || cp -a "$work/restore" "$work/$1/"; }; }
# The game folder itself stays (only what it holds is put back): a game folder made again is
# another game, whose restore points the old one's are not.
load() {
  find "$work/game" -mindepth 1 -delete && rm -rf "$work/restore" &&
    cp -a "$work/$1/game/." "$work/game/" &&
    { [ ! -d "$work/$1/restore" ] || cp -a "$work/$1/restore" "$work/"; }
}

# The restore folder is there already, as after the player's first installation.
mkdir -p "$work/game/models" "$work/game/data" "$work/source" "$work/mod" "$work/stock" \
  "$MERVA_RESTORE_DIR"
echo "old handling" >"$work/game/data/handling.cfg"
"$tool" create "$work/game/models/gta3.img" >/dev/null
for i in 1 2 3 4 5 6; do head -c $((i * 3000)) /dev/urandom >"$work/stock/stock$i.dff"; done
"$tool" put "$work/game/models/gta3.img" "$work"/stock/*.dff >/dev/null
# A larger stock2.dff put over the first leaves a gap where it was, for the compaction.
head -c 20000 /dev/urandom >"$work/stock/stock2.dff"
"$tool" put "$work/game/models/gta3.img" "$work/stock/stock2.dff" >/dev/null
# The interiors' archive, which the mod puts a file into as well.
"$tool" create "$work/game/models/gta_int.img" >/dev/null
"$tool" put "$work/game/models/gta_int.img" "$work"/stock/stock{1,3}.dff >/dev/null
{
  echo "title = injected"
  head -c 9000 /dev/urandom >"$work/source/stock2.dff" && echo "archive = stock2.dff"
  head -c 500 /dev/urandom >"$work/source/new.txd" && echo "archive = new.txd"
  head -c 7000 /dev/urandom >"$work/source/stock3.dff" && echo "archive models\\gta_int.img = stock3.dff"
  head -c 300 /dev/urandom >"$work/source/room.dff" && echo "archive models\\gta_int.img = room.dff"
  echo "new handling" >"$work/source/handling.cfg" && echo "game = data\\handling.cfg from handling.cfg"
  echo "read me" >"$work/source/readme.txt" && echo "game = data\\mod\\readme.txt from readme.txt"
} >"$work/source/manifest.txt"
"$pack" build "$work/source/manifest.txt" "$work/mod" >/dev/null || { echo "the mod does not build"; exit 1; }
rm -rf "$work/stock" "$work/source"

game="$work/game" img="$work/game/models/gta3.img"
save fresh
"$tool" install "$game" "$work/mod" >/dev/null || { echo "the installation fails"; exit 1; }
save installed
"$tool" install "$game" "$work/mod" >/dev/null || { echo "the second installation fails"; exit 1; }
save twice
runs=0 failures=0
# check NAME START COMMAND...: the command from state START, killed at each call in turn.
check() {
  local name="$1" start="$2"
  shift 2
  load "$start"
  local before after
  before="$(state)"
  "$@" >/dev/null 2>&1 || { echo "$name: fails when left alone"; failures=$((failures + 1)); return; }
  after="$(state)"
  [ "$before" != "$after" ] || { echo "$name: changes nothing"; failures=$((failures + 1)); return; }
  for call in "${calls[@]}"; do
    for ((n = 1; ; n++)); do
      load "$start"
      # Run to its end without meeting an Nth call: every kill of this kind is done.
      # (In the background, so that the shell does not report each kill.)
      strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:signal=KILL:when=$n" "$@" \
        >/dev/null 2>&1 &
      wait $! 2>/dev/null
      [ $? -eq 137 ] || break
      runs=$((runs + 1))
      "$tool" history "$game" >/dev/null 2>&1
      local now
      now="$(state)"
      if [ "$now" != "$before" ] && [ "$now" != "$after" ]; then
        echo "$name killed at $call number $n: neither as before nor as after"
        if [ -n "${MERVA_KILLS_SHOW:-}" ]; then
          (listing) >"$work/now.txt"
          load "$start"
          "$@"
          (listing) >"$work/after.txt"
          diff "$work/after.txt" "$work/now.txt"
        fi
        failures=$((failures + 1))
      fi
    done
  done
}
check install fresh "$tool" install "$game" "$work/mod"
check undo installed "$tool" undo "$game"
check undo-under-a-later-one twice "$tool" undo --point "game 1" "$game"
check compact fresh "$tool" compact "$img"
check delete fresh "$tool" delete "$img" stock4.dff
check rename fresh "$tool" rename "$img" stock5.dff renamed.dff
check rename-interior fresh "$tool" rename "$game/models/gta_int.img" stock1.dff renamed.dff
echo "injected kills: $runs runs, $failures left a game neither as before nor as after"
[ "$failures" -eq 0 ] && [ "$runs" -gt 100 ]
