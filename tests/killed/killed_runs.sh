#!/usr/bin/env bash
# Kills installations (merva-img install, the wizard's own run) and their undos with SIGKILL at
# random moments and checks that gta3.img is afterwards byte for byte the archive from before or
# the one after, never a mixture and never the unfinished temp.img; and that the restore points
# then say the truth: one whole point for an installed archive, none for the old one.
#   killed_runs.sh MERVA_IMG MERVA_PACK [TRIALS]
set -uo pipefail
tool="$1" pack="$2" trials="${3:-40}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export MERVA_RESTORE_DIR="$work/restore"
# How many restore points `history` lists for the game.
points() { "$tool" history "$work/game" 2>/dev/null | wc -l; }
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
mkdir -p "$work/game/models" "$work/source" "$work/mod" "$work/stock"

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
"$pack" build "$work/source/manifest.txt" "$work/mod" >/dev/null

# The installed archive, and how long one installation takes, so the kills fall inside it.
cp "$work/base.img" "$work/game/models/gta3.img"
rm -rf "$MERVA_RESTORE_DIR"
start=$(date +%s%N)
"$tool" install "$work/game" "$work/mod" >/dev/null 2>&1 || { echo "the installation fails"; exit 1; }
whole_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
cp "$work/game/models/gta3.img" "$work/installed.img"
cmp -s "$work/base.img" "$work/installed.img" && { echo "the installation changed nothing"; exit 1; }
cp -a "$MERVA_RESTORE_DIR" "$work/restore-installed"
start=$(date +%s%N)
"$tool" undo "$work/game" >/dev/null 2>&1 || { echo "the undo fails"; exit 1; }
undo_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
cp "$work/game/models/gta3.img" "$work/undone.img"
[ "$(points)" -eq 0 ] || { echo "the undo left its restore point"; exit 1; }

whole=0
for trial in $(seq 1 "$trials"); do
  cp "$work/base.img" "$work/game/models/gta3.img"
  rm -f "$work/game/models/temp.img"
  rm -rf "$MERVA_RESTORE_DIR"
  killed "$whole_ms" "$tool" install "$work/game" "$work/mod"
  img="$work/game/models/gta3.img"
  if cmp -s "$img" "$work/base.img" && [ "$(points)" -eq 0 ]; then
    whole=$((whole + 1))
  elif cmp -s "$img" "$work/installed.img" && [ "$(points)" -eq 1 ]; then
    whole=$((whole + 1))
  else
    echo "trial $trial: the archive is neither the old one nor the installed one, or its" \
      "restore points do not match it ($(points))"
  fi
done
echo "killed runs: $whole of $trials left the old or the installed archive (a run takes ${whole_ms} ms)"

undone=0
for trial in $(seq 1 "$trials"); do
  cp "$work/installed.img" "$work/game/models/gta3.img"
  rm -f "$work/game/models/temp.img"
  rm -rf "$MERVA_RESTORE_DIR" && cp -a "$work/restore-installed" "$MERVA_RESTORE_DIR"
  killed "$undo_ms" "$tool" undo "$work/game"
  img="$work/game/models/gta3.img"
  if cmp -s "$img" "$work/installed.img" && [ "$(points)" -eq 1 ]; then
    undone=$((undone + 1))
  elif cmp -s "$img" "$work/undone.img" && [ "$(points)" -eq 0 ]; then
    undone=$((undone + 1))
  else
    echo "undo trial $trial: the archive is neither the installed one nor the undone one, or" \
      "its restore points do not match it ($(points))"
  fi
done
echo "killed undos: $undone of $trials left the installed or the undone archive (an undo takes ${undo_ms} ms)"
[ "$whole" -eq "$trials" ] && [ "$undone" -eq "$trials" ]
