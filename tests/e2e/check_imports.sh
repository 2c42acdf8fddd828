#!/usr/bin/env bash
# The build's own checks of the Windows programs: every DLL they import is one of Windows' own;
# each carries its manifest (the installer asks for administrator rights, the tools do not) and
# a version resource naming the product.
set -euo pipefail
win="$1"
version="$(head -n1 "$(dirname "$0")/../../VERSION")"
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|msvcrt|shlwapi|ws2_32)\.dll$'
status=0
declare -A level=(
  ["$win/src/wizard/win32/merva.exe"]=requireAdministrator
  ["$win/merva-img.exe"]=asInvoker
  ["$win/merva-pack.exe"]=asInvoker
)
for exe in "${!level[@]}"; do
  name="$(basename "$exe")"
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "$name imports $dll"
      status=1
    fi
  done < <(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
  # The manifest is stored as UTF-8 text, the version strings as UTF-16.
  strings8="$(i686-w64-mingw32-strings "$exe")"
  if ! grep -q "requestedExecutionLevel level=\"${level[$exe]}\"" <<<"$strings8"; then
    echo "$name has no manifest asking for ${level[$exe]}"
    status=1
  fi
  if [ "$exe" = "$win/src/wizard/win32/merva.exe" ] &&
    ! grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$strings8"; then
    echo "$name does not ask for Common Controls 6"
    status=1
  fi
  strings16="$(i686-w64-mingw32-strings -e l "$exe")"
  for value in ProductName Merva ProductVersion "$version" LegalCopyright; do
    if ! grep -qx "$value" <<<"$strings16"; then
      echo "$name has no version resource with $value"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "imports: only Windows system DLLs; manifests and version resources in place"
exit "$status"
