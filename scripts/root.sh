# Sourced by the scripts: sets `root` to the checkout. CMake and CTest read a "\" in a path as a
# folder separator, so a checkout whose path holds one (a folder named "游戏\new" on Linux) is
# used through a link of its own without it, and its build folder lies outside it, linked as
# build/: every path that the build and the tests see, physical or not, is then free of "\".
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ "$root" == *\\* ]]; then
  key="$(printf '%s' "$root" | sha256sum | cut -c1-16)"
  link="${TMPDIR:-/tmp}/merva-checkout-$key" builds="${TMPDIR:-/tmp}/merva-build-$key"
  mkdir -p "$builds"
  if [ ! -L "$root/build" ]; then
    rm -rf "$root/build"  # made by an earlier run here, where CTest could not read it
    ln -s "$builds" "$root/build"
  fi
  ln -sfn "$root" "$link"
  root="$link"
fi
