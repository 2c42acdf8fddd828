#!/usr/bin/env bash
# Sourced by the end-to-end tests and the run command: a Wine prefix of the build's own, a
# persistent wineserver, and an X display (Xvfb when none is given).
#   MERVA_PREFIX         the prefix folder (made on first use)
#   MERVA_WINDOWS_BUILD  the build whose programs run: win32 (the default) or win64
set -euo pipefail

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEPREFIX="${MERVA_PREFIX:?}"

# Each build has its route: its prefix's kind, Wine's loader and wineserver of that kind. The
# 32-bit route is Debian's `wine` as it stands. The 64-bit one names the 64-bit loader itself,
# since Debian's `wine` picks the 32-bit loader whenever it is installed, even where the kernel
# cannot start it; `wine` and `wineserver` are then small scripts ahead on the PATH, so that
# every command the tests run, in whatever shell, takes the same route.
case "${MERVA_WINDOWS_BUILD:-win32}" in
  win32)
    export WINEARCH=win32
    ;;
  win64)
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
    merva_route_bin="$WINEPREFIX.bin"
    mkdir -p "$merva_route_bin"
    printf '#!/bin/sh\nexec %s "$@"\n' "$WINELOADER" >"$merva_route_bin/wine"
    printf '#!/bin/sh\nexec %s "$@"\n' "$WINESERVER" >"$merva_route_bin/wineserver"
    chmod +x "$merva_route_bin/wine" "$merva_route_bin/wineserver"
    export PATH="$merva_route_bin:$PATH"
    ;;
  *)
    echo "wine_env.sh: unknown Windows build '$MERVA_WINDOWS_BUILD' (win32 or win64)" >&2
    return 2
    ;;
esac

# The registry view the game's key is read in: the 32-bit game keeps it in the 32-bit view,
# which a 64-bit prefix keeps apart; a 32-bit prefix has that view alone.
if [ "$WINEARCH" = win64 ]; then merva_game_key_view=/reg:32; else merva_game_key_view=""; fi

merva_start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${MERVA_OWN_XVFB:-}" ]; then return; fi
  local displayfile
  displayfile="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  MERVA_XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$displayfile")"
  rm -f "$displayfile"
}

# Says in words, and fails, when Wine cannot start a program here at all (a 32-bit loader on a
# kernel without 32-bit support answers with a bare exit code 126).
merva_check_wine_starts() {
  local said
  if ! said="$(wine --version 2>&1)"; then
    echo "Wine could not start its ${WINEARCH} loader: ${said:-no reason given}" >&2
    return 1
  fi
}

merva_prepare_prefix() {
  merva_check_wine_starts
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # wineboot returns once the prefix is made; the persistent server stays up.
    wine wineboot --init >/dev/null 2>&1 || true
  fi
  # Without a window manager Wine waits for one whenever a window closes; draw frames itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
}

merva_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${MERVA_XVFB_PID:-}" ]; then kill "$MERVA_XVFB_PID" 2>/dev/null || true; fi
}
