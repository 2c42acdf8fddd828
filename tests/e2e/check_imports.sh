#!/usr/bin/env bash
# The build's own checks of the Windows programs: every DLL they import is one of Windows' own;
# each carries its manifest (the installer asks for administrator rights, the tools do not) and
# a version resource naming the product; and each is built for its build's processor, so that
# no program of one build lies in the other's folder.   check_imports.sh build/win32|build/win64
set -euo pipefail
win="$1"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../../scripts/windows_builds.sh"
build="$(basename "$win")"
triple="$(merva_triple_of "$build")"
declare -A format=([win32]=pei-i386 [win64]=pei-x86-64) architecture=([win32]=x86 [win64]=amd64)
version="$(head -n1 "$here/../../VERSION")"
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|msvcrt|shlwapi|ws2_32)\.dll$'
status=0
declare -A level=(
  ["$win/src/wizard/win32/merva.exe"]=requireAdministrator
  ["$win/merva-img.exe"]=asInvoker
  ["$win/merva-pack.exe"]=asInvoker
)
for exe in "${!level[@]}"; do
  name="$(basename "$exe")"
  if ! "$triple-objdump" -f "$exe" | grep -q "file format ${format[$build]}\$"; then
    echo "$name in $build is not a ${format[$build]} program"
    status=1
  fi
  while read -r dll; do
    if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
      echo "$name imports $dll"
      status=1
    fi
  done < <("$triple-objdump" -p "$exe" | awk '/DLL Name:/ {print $3}')
  # The manifest is stored as UTF-8 text, the version strings as UTF-16.
  strings8="$("$triple-strings" "$exe")"
  if ! grep -q "requestedExecutionLevel level=\"${level[$exe]}\"" <<<"$strings8"; then
    echo "$name has no manifest asking for ${level[$exe]}"
    status=1
  fi
  if [ "$exe" = "$win/src/wizard/win32/merva.exe" ] &&
    ! grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$strings8"; then
    echo "$name does not ask for Common Controls 6"
    status=1
  fi
  if [ "$exe" = "$win/src/wizard/win32/merva.exe" ] &&
    ! grep -q "name=\"Merva.Installer\" .* processorArchitecture=\"${architecture[$build]}\"" <<<"$strings8"; then
    echo "$name's manifest does not name the processor ${architecture[$build]}"
    status=1
  fi
  strings16="$("$triple-strings" -e l "$exe")"
  for value in ProductName Merva ProductVersion "$version" LegalCopyright; do
    if ! grep -qx "$value" <<<"$strings16"; then
      echo "$name has no version resource with $value"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "imports ($build): only Windows system DLLs; manifests and version resources in place"
exit "$status"
