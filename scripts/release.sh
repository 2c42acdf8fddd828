#!/usr/bin/env bash
# Builds the Windows programs (as build.sh does) and writes build/release/merva-VERSION-windows.zip
# and its SHA256SUMS: the programs, a guide, the sample mod and the licences of what is linked
# into the programs. The same tree gives the same zip, byte for byte.
#
#   release.sh [--cert CERT.pem --key KEY.pem [--timestamp URL]]
#
# With a code-signing certificate and its key (PEM), the three programs are signed with
# Authenticode (osslsigncode), so that Windows names the publisher instead of warning of an
# unknown one. The signing time is the zip's own fixed time, so the same tree and certificate
# give the same zip; a timestamp server (--timestamp) makes the signature outlive the
# certificate, and makes each zip its own.
set -euo pipefail
source "$(dirname "$0")/root.sh"

cert="" key="" timestamp=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) cert="${2:?--cert needs a file}"; shift 2 ;;
    --key) key="${2:?--key needs a file}"; shift 2 ;;
    --timestamp) timestamp="${2:?--timestamp needs an address}"; shift 2 ;;
    *) echo "release.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -n "$cert$key" ]; then
  for file in "$cert" "$key"; do
    if [ -z "$file" ] || [ ! -f "$file" ]; then
      echo "release.sh: signing needs both --cert and --key as files; got '$file'" >&2
      exit 2
    fi
  done
fi
if [ -n "$timestamp" ] && [ -z "$cert" ]; then
  echo "release.sh: --timestamp needs --cert and --key" >&2
  exit 2
fi
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
# The zip ships the 32-bit programs alone: the 64-bit build of the same tree is for the tests.
for program in merva.exe merva-pack.exe merva-img.exe; do
  if ! i686-w64-mingw32-objdump -f "$stage/$program" | grep -q 'file format pei-i386$'; then
    echo "release.sh: $program is not a 32-bit Windows program; nothing was released" >&2
    exit 1
  fi
done
if [ -n "$cert" ]; then
  for program in merva.exe merva-pack.exe merva-img.exe; do
    signed="$stage/$program.signed"
    rm -f "$signed"
    osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Merva" \
      -time "${SOURCE_DATE_EPOCH:-1767225600}" \
      ${timestamp:+-ts "$timestamp"} -in "$stage/$program" -out "$signed" >/dev/null
    mv "$signed" "$stage/$program"
  done
  signing="signed with $(openssl x509 -noout -subject -in "$cert" | sed 's/^subject=//')"
else
  signing="UNSIGNED: no certificate given (--cert and --key); Windows will warn of an unknown publisher"
fi
python3 "$root/scripts/guide_text.py" "$root/docs/authors.md" "$version" | crlf >"$stage/GUIDE.txt"

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
echo "release: the programs are $signing"
cat "$out/SHA256SUMS"
