# Sourced by the scripts: sets `root` to the checkout. CMake reads a "\" in a path as a folder
# separator, so a checkout whose path holds one (a folder named "游戏\new" on Linux) is used
# through a link of its own without it; everything built and tested then sees that path.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ "$root" == *\\* ]]; then
  link="${TMPDIR:-/tmp}/merva-checkout-$(printf '%s' "$root" | sha256sum | cut -c1-16)"
  ln -sfn "$root" "$link"
  root="$link"
fi
