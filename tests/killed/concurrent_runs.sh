#!/usr/bin/env bash
# Starts two runs on one game at the same moment, many times, in every pairing of install, undo,
# history and put: each run either works or is refused at once as "running", never fails
# otherwise, and afterwards the archive and the restore points agree: taking back every point,
# newest first, gives the archive from before byte for byte.
#   concurrent_runs.sh MERVA_IMG MERVA_PACK [TRIALS]
set -uo pipefail
tool="$1" pack="$2" trials="${3:-6}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export MERVA_RESTORE_DIR="$work/restore"
game="$work/game" img="$work/game/models/gta3.img"
mkdir -p "$game/models" "$work/source" "$work/mod" "$work/stock"

"$tool" create "$work/base.img" >/dev/null
for i in $(seq 1 200); do head -c $(( (i * 7919) % 200000 + 1 )) /dev/urandom >"$work/stock/stock$i.dff"; done
"$tool" put "$work/base.img" "$work"/stock/*.dff >/dev/null
# Sorted and compacted as the game's own: such an archive comes back byte for byte.
"$tool" sort "$work/base.img" && "$tool" compact "$work/base.img"
echo "title = together" >"$work/source/manifest.txt"
for i in $(seq 1 40); do
  head -c $(( i * 3001 )) /dev/urandom >"$work/source/stock$i.dff"
  echo "archive = stock$i.dff" >>"$work/source/manifest.txt"
done
echo "game = data\\together.txt from stock1.dff" >>"$work/source/manifest.txt"
"$pack" build "$work/source/manifest.txt" "$work/mod" >/dev/null
head -c 5000 /dev/urandom >"$work/extra.dff"

run() {
  case "$1" in
    install) "$tool" install "$game" "$work/mod" ;;
    undo) "$tool" undo "$game" ;;
    history) "$tool" history "$game" ;;
    put) "$tool" put "$img" "$work/extra.dff" ;;
  esac
}

failures=0
for pair in install+install install+undo undo+undo install+history undo+history install+put; do
  first="${pair%+*}" second="${pair#*+}"
  for trial in $(seq 1 "$trials"); do
    cp "$work/base.img" "$img"
    rm -rf "$MERVA_RESTORE_DIR" "$game/data"
    # An undo needs something to take back.
    [[ "$pair" == *undo* ]] && "$tool" install "$game" "$work/mod" >/dev/null 2>&1
    before="$(cmp -s "$img" "$work/base.img" && echo base || echo installed)"
    run "$first" >"$work/a.txt" 2>&1 &
    a=$!
    run "$second" >"$work/b.txt" 2>&1 &
    b=$!
    wait "$a"; sa=$?
    wait "$b"; sb=$?
    for side in "a:$sa:$first" "b:$sb:$second"; do
      IFS=: read -r name status what <<<"$side"
      if [ "$status" -ne 0 ] && ! grep -q "is running" "$work/$name.txt" &&
        ! { [ "$what" = undo ] && grep -q "no installation to take back" "$work/$name.txt"; }; then
        echo "$pair trial $trial: $what failed otherwise: $(cat "$work/$name.txt")"
        failures=$((failures + 1))
      fi
    done
    # put changes the archive without a restore point: it cannot come back by undos alone.
    [ "$second" = put ] && [ "$sb" -eq 0 ] && continue
    while "$tool" undo "$game" >/dev/null 2>&1; do :; done
    if ! cmp -s "$img" "$work/base.img" || [ -e "$game/data/together.txt" ]; then
      echo "$pair trial $trial (from the $before archive): the points do not take the archive back"
      failures=$((failures + 1))
    fi
  done
done
echo "concurrent runs: $failures failures in $((6 * trials)) pairs"
[ "$failures" -eq 0 ]
