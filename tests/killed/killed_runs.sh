#!/usr/bin/env bash
# Kills an installation (put, sort and compact through merva-img) with SIGKILL at random moments
# and checks that gta3.img is still there and sound afterwards.
#   killed_runs.sh MERVA_IMG [TRIALS]
set -uo pipefail
tool="$1" trials="${2:-40}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/models" "$work/mod"

# A synthetic archive of 300 entries, and a mod that replaces, moves and appends.
"$tool" create "$work/base.img"
for i in $(seq 1 300); do head -c $(( (i * 7919) % 60000 + 1 )) /dev/urandom >"$work/stock$i.dff"; done
"$tool" put "$work/base.img" "$work"/stock*.dff >/dev/null
for i in $(seq 1 60); do
  case $((i % 3)) in
    0) head -c 100 /dev/urandom >"$work/mod/stock$i.dff" ;;
    1) head -c 90000 /dev/urandom >"$work/mod/stock$i.dff" ;;
    2) head -c 5000 /dev/urandom >"$work/mod/new$i.txd" ;;
  esac
done
install() {
  "$tool" put "$work/models/gta3.img" "$work"/mod/* && "$tool" sort "$work/models/gta3.img" &&
    "$tool" compact "$work/models/gta3.img"
}

# How long one whole installation takes, so the kills fall inside it.
cp "$work/base.img" "$work/models/gta3.img"
start=$(date +%s%N)
install >/dev/null 2>&1
whole_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))

sound=0
for trial in $(seq 1 "$trials"); do
  cp "$work/base.img" "$work/models/gta3.img"
  rm -f "$work/models/temp.img"
  setsid bash -c "$(declare -f install); tool='$tool' work='$work' install" >/dev/null 2>&1 &
  pid=$!
  sleep "$(awk -v ms="$whole_ms" -v r="$RANDOM" 'BEGIN { printf "%.3f", ms * r / 32768 / 1000 }')"
  kill -KILL -- "-$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if [ -f "$work/models/gta3.img" ] && "$tool" check "$work/models/gta3.img" >/dev/null 2>&1; then
    sound=$((sound + 1))
  else
    echo "trial $trial: the archive is missing or damaged"
  fi
done
echo "killed runs: $sound of $trials left a sound archive (a whole run takes ${whole_ms} ms)"
[ "$sound" -eq "$trials" ]
