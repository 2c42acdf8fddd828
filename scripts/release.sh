#!/usr/bin/env bash
# Builds the Windows programs (as build.sh does) and writes build/release/merva-VERSION-windows.zip
# and its SHA256SUMS: the programs, a guide, the sample mod and the licences of what is linked
# into the programs. The same tree gives the same zip, byte for byte.
set -euo pipefail
source "$(dirname "$0")/root.sh"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

version="$(head -n1 "$root/VERSION")"
out="$root/build/release"
stage="$out/merva-$version"
zip="$out/merva-$version-windows.zip"
rm -rf "$stage" && mkdir -p "$stage/licenses" "$stage/sample"

# Text for Notepad: Windows line breaks.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$@"; }

win="$root/build/win32"
cp "$win/src/wizard/win32/merva.exe" "$win/merva-pack.exe" "$win/merva-img.exe" "$stage/"
sed "s/@VERSION@/$version/" "$root/docs/guide.txt" | crlf >"$stage/GUIDE.txt"

cp -r "$root/samples/mod/." "$stage/sample/"
for text in manifest.txt welcome.txt agreement.txt; do
  crlf "$root/samples/mod/$text" >"$stage/sample/$text"
done

# Each library the programs carry, with its licence as its authors and Debian give it.
jpeg="$(ls -d "$root"/build/deps/libjpeg-turbo-*/ | head -n1)"
crlf "$jpeg/LICENSE.md" >"$stage/licenses/libjpeg-turbo LICENSE.md.txt"
crlf "$jpeg/README.ijg" >"$stage/licenses/libjpeg-turbo README.ijg.txt"
declare -A debian=(
  [xxHash]=libxxhash-dev
  [libgcrypt]=libgcrypt-mingw-w64-dev
  [libgpg-error]=libgpg-error-mingw-w64-dev
  [mingw-w64 runtime]=mingw-w64-i686-dev
  [GCC runtime]=gcc-mingw-w64-base
)
for name in "${!debian[@]}"; do
  crlf "/usr/share/doc/${debian[$name]}/copyright" >"$stage/licenses/$name copyright.txt"
done
crlf /usr/share/common-licenses/LGPL-2.1 >"$stage/licenses/LGPL-2.1.txt"
crlf /usr/share/common-licenses/GPL-3 >"$stage/licenses/GPL-3.txt"
{
  echo "The libraries in these programs, built from Debian's packages:"
  echo
  for package in libxxhash-dev libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev mingw-w64-i686-dev \
    gcc-mingw-w64-i686-posix; do
    dpkg-query -W -f '  ${Package} ${Version} (source: ${source:Package} ${source:Version})\n' "$package"
  done
  echo "  libjpeg-turbo $(basename "$jpeg" | sed 's/^libjpeg-turbo-//') (Debian's source package)"
  echo
  echo "Debian keeps every source at https://sources.debian.org/ and in its archive."
} | crlf >"$stage/licenses/SOURCES.txt"

rm -f "$zip"
python3 "$root/scripts/make_zip.py" "$stage" "$zip"
(cd "$out" && sha256sum "$(basename "$zip")" >SHA256SUMS)
echo "release: $zip ($(stat -c %s "$zip") bytes)"
cat "$out/SHA256SUMS"
