#!/usr/bin/env bash
# Runs the same work with two native builds of the tools and compares every output byte for
# byte: the sample mod's package, the sample game's archive and a bench-shaped one (random data
# out of directory order), an installation into each with its restore point, a put, a sort, a
# compaction and the undo. For a change that must not change what Merva writes.
#   compare-builds.sh OLD_NATIVE_BUILD NEW_NATIVE_BUILD
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
old="$1" new="$2"
work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# The inputs, made once: a bench-shaped archive and a mod of archive and game files for it.
python3 - "$work/input" <<'PY'
import os, random, struct, sys
out = sys.argv[1]
os.makedirs(out + "/files")
rnd = random.Random(27)
count = 3000
sizes = [rnd.randint(1, 40) for _ in range(count)]
order = list(range(count))
for _ in range(count // 10):
    a, b = rnd.randrange(count), rnd.randrange(count)
    order[a], order[b] = order[b], order[a]
first = (count + 2) * 32 // 2048 + 1
offsets, at = [0] * count, first
for i in order:
    offsets[i], at = at, at + sizes[i]
with open(out + "/stock.img", "wb") as f:
    f.write(b"VER2" + struct.pack("<i", count))
    for i in range(count):
        f.write(struct.pack("<ii", offsets[i], sizes[i]) + ("stock%d.dff" % i).encode().ljust(24, b"\0"))
    f.write(b"\0" * (first * 2048 - 8 - 32 * count))
    for i in order:
        f.write(rnd.randbytes(sizes[i] * 2048))
with open(out + "/manifest.txt", "w") as m:
    m.write("title = comparison\n")
    for k in range(300):
        name = "stock%d.dff" % (k * 7 % count) if k % 3 else "new%d.txd" % k
        size = [1000, 70 * 2048, 20 * 2048 + 17][k % 3]
        with open(out + "/files/" + name, "wb") as f:
            f.write(rnd.randbytes(size))
        m.write("archive = files/%s\n" % name)
    for name in ("data/a.txt", "readme.txt"):
        os.makedirs(os.path.dirname(out + "/files/" + name) or out + "/files", exist_ok=True)
        with open(out + "/files/" + name, "wb") as f:
            f.write(rnd.randbytes(5000))
        m.write("game = %s from files/%s\n" % (name.replace("/", "\\"), name))
PY

# The same steps with one build, into `dir`.
run() {
  local tools="$1" dir="$2"
  mkdir -p "$dir"
  bash "$here/samples/make_sample.sh" "$tools" "$dir/sample-mod" "$dir/sample-game"
  mkdir -p "$dir/mod"
  "$tools/merva-pack" build "$work/input/manifest.txt" "$dir/mod" >/dev/null
  mkdir -p "$dir/game/models"
  cp "$work/input/stock.img" "$dir/game/models/gta3.img"
  echo "player's own" >"$dir/game/readme.txt"
  export MERVA_RESTORE_DIR="$dir/restore"
  for game in sample-game game; do
    local mod=mod
    [ "$game" = sample-game ] && mod=sample-mod
    "$tools/merva-img" install "$dir/$game" "$dir/$mod" >/dev/null 2>&1
    cp "$dir/$game/models/gta3.img" "$dir/$game-installed.img"
    for point in "$dir"/restore/*; do
      mkdir -p "$dir/points/$(basename "$point")"
      (cd "$point" && find . -type f | sort | while read -r f; do
        mkdir -p "$dir/points/$(basename "$point")/$(dirname "$f")"
        # The time of the run, the folder it ran in and that folder's identity on its disk are
        # all that may differ.
        grep -av '^time\|^Installed' "$f" |
          sed "s|${dir//\//\\\\}|DIR|g; s|$dir|DIR|g; s|\t~id=[^\t]*||" \
          >"$dir/points/$(basename "$point")/$f" || true
      done)
    done
    "$tools/merva-img" undo "$dir/$game" >/dev/null
    cp "$dir/$game/models/gta3.img" "$dir/$game-undone.img"
  done
  cp "$dir/game/models/gta3.img" "$dir/edited.img"
  "$tools/merva-img" put "$dir/edited.img" "$work/input/files/new0.txd" "$work/input/files/stock7.dff" >/dev/null
  "$tools/merva-img" sort "$dir/edited.img"
  "$tools/merva-img" compact "$dir/edited.img"
  rm -rf "$dir/restore" "$dir/game/models/gta3.img" "$dir/sample-game/models/gta3.img"
}

run "$old" "$work/old"
run "$new" "$work/new"
if diff -r "$work/old" "$work/new" >/dev/null; then
  echo "same bytes: $(cd "$work/new" && find . -type f | wc -l) files compared"
else
  diff -rq "$work/old" "$work/new" || true
  exit 1
fi
