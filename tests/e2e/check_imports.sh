#!/usr/bin/env bash
# Every DLL that the Windows programs import must be one of Windows' own.
set -euo pipefail
win="$1"
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|msvcrt|shlwapi|ws2_32)\.dll$'
status=0
for exe in "$win/src/wizard/win32/merva.exe" "$win/merva-img.exe" "$win/merva-pack.exe"; do
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "$(basename "$exe") imports $dll"
      status=1
    fi
  done < <(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
done
[ "$status" -eq 0 ] && echo "imports: only Windows system DLLs"
exit "$status"
