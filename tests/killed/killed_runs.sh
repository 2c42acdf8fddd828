#!/usr/bin/env bash
# Kills installations (merva-img install, the wizard's own run) with SIGKILL at random moments
# and checks that gta3.img is afterwards byte for byte the archive from before or the installed
# one, never a mixture and never the unfinished temp.img.
#   killed_runs.sh MERVA_IMG MERVA_PACK [TRIALS]
set -uo pipefail
tool="$1" pack="$2" trials="${3:-40}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
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
start=$(date +%s%N)
"$tool" install "$work/game" "$work/mod" >/dev/null 2>&1 || { echo "the installation fails"; exit 1; }
whole_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
cp "$work/game/models/gta3.img" "$work/installed.img"
cmp -s "$work/base.img" "$work/installed.img" && { echo "the installation changed nothing"; exit 1; }

whole=0
for trial in $(seq 1 "$trials"); do
  cp "$work/base.img" "$work/game/models/gta3.img"
  rm -f "$work/game/models/temp.img"
  setsid "$tool" install "$work/game" "$work/mod" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v ms="$whole_ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * 1.2 * r / 32768 / 1000 }')"
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  img="$work/game/models/gta3.img"
  if cmp -s "$img" "$work/base.img" || cmp -s "$img" "$work/installed.img"; then
    whole=$((whole + 1))
  else
    echo "trial $trial: the archive is neither the old one nor the installed one"
  fi
done
echo "killed runs: $whole of $trials left the old or the installed archive (a run takes ${whole_ms} ms)"
[ "$whole" -eq "$trials" ]
