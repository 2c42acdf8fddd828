#!/usr/bin/env bash
# Kills installations (merva-img install, the wizard's own run) and their undos with SIGKILL at
# random moments and checks that gta3.img is afterwards byte for byte the archive from before or
# the one after, never a mixture and never the unfinished temp.img, with the game files to match;
# and that the restore points then say the truth: one whole point for an installed archive, none
# for the old one. The undos are killed twice: with the restore folder beside the game, and on
# another file system (/dev/shm, a tmpfs) as %LOCALAPPDATA% on another drive than the game's.
#   killed_runs.sh MERVA_IMG MERVA_PACK [TRIALS]
set -uo pipefail
tool="$1" pack="$2" trials="${3:-40}"
work="$(mktemp -d)"
other=""
if [ -d /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$work")" ]; then
  other="$(mktemp -d /dev/shm/merva-killed-XXXXXX)"
fi
trap 'rm -rf "$work" ${other:+"$other"}' EXIT
export MERVA_RESTORE_DIR="$work/restore"
# How many restore points `history` lists for the game (which finishes what a killed run left).
points() { "$tool" history "$work/game" 2>/dev/null | wc -l; }
# Every file and folder of the game but its archive, with the files' bytes, as one sum.
game_files() {
  (cd "$work/game" && find . -path ./models -prune -o -type f -print0 | sort -z | xargs -0 -r md5sum &&
    find . -path ./models -prune -o -type d -print | sort) | md5sum
}
# killed MS COMMAND...: runs the command and kills it, with all it started, within 1.2 x MS.
killed() {
  local ms="$1"
  shift
  setsid "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "$(awk -v ms="$ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * 1.2 * r / 32768 / 1000 }')"
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
mkdir -p "$work/game/models" "$work/game/data" "$work/source" "$work/mod" "$work/stock"
echo "old handling" >"$work/game/data/handling.cfg"

# A synthetic archive of 300 entries, and a mod that replaces in place, moves and appends.
"$tool" create "$work/base.img"
for i in $(seq 1 300); do head -c $(( (i * 7919) % 400000 + 1 )) /dev/urandom >"$work/stock/stock$i.dff"; done
"$tool" put "$work/base.img" "$work"/stock/*.dff >/dev/null
echo "title = killed" >"$work/source/manifest.txt"
for i in $(seq 1 60); do
  case $((i % 3)) in
    0) name="stock$i.dff" size=100 ;;
    1) name="stock$i.dff" size=90000 ;;
    2) name="new$i.txd" size=5000 ;;
  esac
  head -c "$size" /dev/urandom >"$work/source/$name"
  echo "archive = $name" >>"$work/source/manifest.txt"
done
# Game files: one replaced, two created in a new folder.
echo "new handling" >"$work/source/handling.cfg"
head -c 300000 /dev/urandom >"$work/source/big.dat"
echo "read me" >"$work/source/readme.txt"
{
  echo "game = data\\handling.cfg from handling.cfg"
  echo "game = data\\killed\\big.dat from big.dat"
  echo "game = data\\killed\\readme.txt from readme.txt"
} >>"$work/source/manifest.txt"
"$pack" build "$work/source/manifest.txt" "$work/mod" >/dev/null
before_files="$(game_files)"

# The installed archive, and how long one installation takes, so the kills fall inside it.
cp "$work/base.img" "$work/game/models/gta3.img"
rm -rf "$MERVA_RESTORE_DIR"
start=$(date +%s%N)
"$tool" install "$work/game" "$work/mod" >/dev/null 2>&1 || { echo "the installation fails"; exit 1; }
whole_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
cp "$work/game/models/gta3.img" "$work/installed.img"
cmp -s "$work/base.img" "$work/installed.img" && { echo "the installation changed nothing"; exit 1; }
installed_files="$(game_files)"
cp -a "$work/game/data" "$work/installed-data"
cp -a "$MERVA_RESTORE_DIR" "$work/restore-installed"
start=$(date +%s%N)
"$tool" undo "$work/game" >/dev/null 2>&1 || { echo "the undo fails"; exit 1; }
undo_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
cp "$work/game/models/gta3.img" "$work/undone.img"
[ "$(points)" -eq 0 ] || { echo "the undo left its restore point"; exit 1; }
[ "$(game_files)" = "$before_files" ] || { echo "the undo left other game files"; exit 1; }

whole=0
for trial in $(seq 1 "$trials"); do
  cp "$work/base.img" "$work/game/models/gta3.img"
  rm -f "$work/game/models/temp.img"
  rm -rf "$MERVA_RESTORE_DIR" "$work/game/data" && mkdir "$work/game/data"
  echo "old handling" >"$work/game/data/handling.cfg"
  killed "$whole_ms" "$tool" install "$work/game" "$work/mod"
  img="$work/game/models/gta3.img"
  n="$(points)"
  if cmp -s "$img" "$work/base.img" && [ "$n" -eq 0 ] && [ "$(game_files)" = "$before_files" ]; then
    whole=$((whole + 1))
  elif cmp -s "$img" "$work/installed.img" && [ "$n" -eq 1 ]; then
    whole=$((whole + 1))
  else
    echo "trial $trial: the archive is neither the old one nor the installed one, or its" \
      "restore points do not match it ($n)"
  fi
done
echo "killed runs: $whole of $trials left the old or the installed archive (a run takes ${whole_ms} ms)"

# Killed undos, with the restore folder on this file system and on another one.
undone=0
undo_trials=0
for restore in "$work/restore" ${other:+"$other/restore"}; do
  export MERVA_RESTORE_DIR="$restore"
  for trial in $(seq 1 "$trials"); do
    undo_trials=$((undo_trials + 1))
    cp "$work/installed.img" "$work/game/models/gta3.img"
    rm -f "$work/game/models/temp.img"
    rm -rf "$work/game/data" && cp -a "$work/installed-data" "$work/game/data"
    rm -rf "$MERVA_RESTORE_DIR" && cp -a "$work/restore-installed" "$MERVA_RESTORE_DIR"
    killed "$undo_ms" "$tool" undo "$work/game"
    img="$work/game/models/gta3.img"
    n="$(points)"
    files="$(game_files)"
    if cmp -s "$img" "$work/installed.img" && [ "$n" -eq 1 ] && [ "$files" = "$installed_files" ]; then
      undone=$((undone + 1))
    elif cmp -s "$img" "$work/undone.img" && [ "$n" -eq 0 ] && [ "$files" = "$before_files" ]; then
      undone=$((undone + 1))
    else
      echo "undo trial $trial in $restore: the archive and game files are neither as installed" \
        "nor as undone, or the restore points do not match them ($n)"
    fi
  done
done
echo "killed undos: $undone of $undo_trials left the installed or the undone game" \
  "(an undo takes ${undo_ms} ms${other:+; restore folder on another file system too})"
[ "$whole" -eq "$trials" ] && [ "$undone" -eq "$undo_trials" ]
