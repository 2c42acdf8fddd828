#!/usr/bin/env bash
# Sourced by the scripts: the Windows builds made from the one tree, and which of them this
# machine can start under Wine. win32 is what ships; win64 is the same source for x86-64,
# tested where the kernel runs no 32-bit program (Wine's 32-bit loader is such a program).
#
#   MERVA_WINDOWS_BUILDS  forces the builds the Windows tests run ("win64", "win32 win64"), so
#                         that either route can be tried on any machine

merva_all_windows_builds="win32 win64"

# The toolchain file of a build.
merva_toolchain_of() {
  case "$1" in
    win32) echo "cmake/mingw-i686.cmake" ;;
    win64) echo "cmake/mingw-x86_64.cmake" ;;
    *) echo "unknown Windows build '$1' (known: $merva_all_windows_builds)" >&2; return 2 ;;
  esac
}

# The mingw-w64 triple of a build, for its binutils.
merva_triple_of() {
  case "$1" in
    win32) echo "i686-w64-mingw32" ;;
    win64) echo "x86_64-w64-mingw32" ;;
    *) echo "unknown Windows build '$1' (known: $merva_all_windows_builds)" >&2; return 2 ;;
  esac
}

# Whether this machine starts 32-bit programs: asked of Wine's 32-bit loader itself, since a
# kernel booted with ia32_emulation=off answers "Exec format error" whatever its packages.
merva_runs_32bit_programs() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The builds whose Windows tests run here, in order: the forced ones, else each one the machine
# can start.
merva_windows_builds() {
  if [ -n "${MERVA_WINDOWS_BUILDS:-}" ]; then
    local build
    for build in $MERVA_WINDOWS_BUILDS; do merva_toolchain_of "$build" >/dev/null || return 2; done
    echo "$MERVA_WINDOWS_BUILDS"
  elif merva_runs_32bit_programs; then
    echo "win32 win64"
  else
    echo "win64"
  fi
}

# One line on which builds run here and why.
merva_windows_builds_note() {
  local builds
  builds="$(merva_windows_builds)" || return 2
  if [ -n "${MERVA_WINDOWS_BUILDS:-}" ]; then
    echo "the Windows tests run the build(s) MERVA_WINDOWS_BUILDS names: $builds"
  elif [ "$builds" = win64 ]; then
    echo "this machine runs 64-bit programs only: the Windows tests run the 64-bit build of the same source"
  else
    echo "this machine runs 32-bit programs too: the Windows tests run both builds ($builds)"
  fi
}
