#!/usr/bin/env bash
# Installs, idempotently, everything the builds and the tests need on Debian.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb x11-utils imagemagick
  libjpeg62-turbo-dev dpkg-dev fonts-dejavu-core locales python3 libxxhash-dev
  libgcrypt20-dev libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev
  osslsigncode openssl strace
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
source "$(dirname "$0")/root.sh"
source "$root/scripts/windows_builds.sh"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# A mirror in the middle of a sync serves a stale index now and then ("File has unexpected
# size"). The refresh is tried again; when it still fails, what did arrive is used, since the
# index a step needs is often among it, and the step that follows says whether it was.
refresh_indexes() {
  local try
  for try in 1 2 3; do
    if $SUDO apt-get update -qq 2>"$setup_log"; then return 0; fi
    sleep "$try"
  done
  echo "setup: the package index refresh failed 3 times ($(grep -m1 '^E:' "$setup_log" | cut -c1-160)); going on with the indexes that arrived"
}

# With one architecture's index of an update suite missing, the 64-bit packages that suite
# updated no longer match the 32-bit ones Wine needs. Both architectures then come from the
# release's main suite alone, where their versions always match.
install_packages() {
  if $SUDO apt-get install -y -qq --no-install-recommends "$@" >"$setup_log" 2>&1; then return 0; fi
  local suite
  suite="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
  if [ -z "$suite" ]; then cat "$setup_log" >&2; return 1; fi
  echo "setup: the packages' versions do not match across architectures (an index is missing); installing from the suite $suite alone"
  $SUDO apt-get install -y -qq --no-install-recommends -t "$suite" "$@" >"$setup_log" 2>&1 ||
    { cat "$setup_log" >&2; return 1; }
}
setup_log="$(mktemp)"
trap 'rm -f "$setup_log"' EXIT

# The Windows build cross-builds libjpeg-turbo from Debian's source package.
fetch_libjpeg_source() {
  if ls -d "$root"/build/deps/libjpeg-turbo-*/ >/dev/null 2>&1; then return; fi
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      $SUDO tee /etc/apt/sources.list.d/merva-src.sources >/dev/null
    refresh_indexes
  fi
  mkdir -p "$root/build/deps"
  (cd "$root/build/deps" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1) ||
    { refresh_indexes && (cd "$root/build/deps" && apt-get source -qq libjpeg-turbo >/dev/null); }
  echo "setup: fetched the libjpeg-turbo source"
}

# Wine takes its ANSI code page from the Unix locale, and only from one that exists: the
# end-to-end tests run the program on a Western (1252) and a Cyrillic (1251) system.
generate_locales() {
  local wanted=(en_US.UTF-8 ru_RU.UTF-8) added=0
  for l in "${wanted[@]}"; do
    locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" && continue
    if ! grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
    added=1
  done
  if [ "$added" -eq 1 ]; then
    $SUDO locale-gen >/dev/null
    echo "setup: generated the locales ${wanted[*]}"
  fi
}

# Both Windows builds are made everywhere; where Wine's 32-bit loader cannot start, the one line
# says that the 64-bit build alone is tested.
say_which_builds() {
  if [ -n "${MERVA_WINDOWS_BUILDS:-}" ] || ! merva_runs_32bit_programs; then
    echo "setup: $(merva_windows_builds_note)"
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  fetch_libjpeg_source
  generate_locales
  echo "setup: everything is installed"
  say_which_builds
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
refresh_indexes
install_packages "${missing[@]}"
echo "setup: installed ${missing[*]}"
fetch_libjpeg_source
generate_locales
say_which_builds
