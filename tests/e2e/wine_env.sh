#!/usr/bin/env bash
# Sourced by the end-to-end tests and the run command: a Wine prefix of the build's own, a
# persistent wineserver, and an X display (Xvfb when none is given).
#   MERVA_PREFIX  the prefix folder (made on first use)
set -euo pipefail

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win32
export WINEPREFIX="${MERVA_PREFIX:?}"

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

merva_prepare_prefix() {
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
