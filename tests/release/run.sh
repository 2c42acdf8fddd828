#!/usr/bin/env bash
# The release as a mod author gets it: release.sh twice gives the same zip; the zip, unpacked
# into a fresh folder, builds its sample with merva-pack.exe, installs it into a sample game
# with merva-img.exe and takes it back byte for byte, and merva.exe shows its first page from
# the built mod folder. All under Wine.   run.sh ROOT [BUILD]
# BUILD is the Windows build whose route of Wine runs the programs: win32 (the default), the
# zip's own; on a machine that starts no 32-bit program, win64, whose programs then stand in for
# the zip's three in a copy of the unpacked kit.
set -uo pipefail
root="$(cd "$1" && pwd)"
build="${2:-win32}"
win="$root/build/$build" native="$root/build/native"
version="$(head -n1 "$root/VERSION")"
zip="$root/build/release/merva-$version-windows.zip"
export MERVA_PREFIX="$win/e2e-prefix" MERVA_OWN_XVFB=1 MERVA_WINDOWS_BUILD="$build"
source "$root/tests/e2e/wine_env.sh"
set +e

work="$root/build/release-test"
rm -rf "$work" && mkdir -p "$work/logs"
passed=0 failed=0
check() {
  local name="$1"
  shift
  if "$@" >"$work/logs/$name.txt" 2>&1; then
    passed=$((passed + 1))
    echo "PASS $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    sed 's/^/    /' "$work/logs/$name.txt" | tail -n 20
  fi
}
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }

check release-builds bash "$root/scripts/release.sh"
cp "$zip" "$work/first.zip"
# Newer times on every input must not change a byte.
touch "$root/docs/authors.md" "$root"/samples/mod/*.txt
check release-is-reproducible bash -c "bash '$root/scripts/release.sh' >/dev/null && cmp '$work/first.zip' '$zip'"
check release-sums-match bash -c "cd '$root/build/release' && sha256sum -c SHA256SUMS"
check release-unpacks python3 -m zipfile -e "$zip" "$work/unpacked"
kit="$work/unpacked/merva-$version"
check release-holds-what-it-says bash -c "cd '$kit' && test -f merva.exe -a -f merva-pack.exe \
  -a -f merva-img.exe -a -f GUIDE.txt -a -f sample/manifest.txt -a -f licenses/SOURCES.txt &&
  grep -q \$'\r\$' GUIDE.txt && ! grep -q '@VERSION@' GUIDE.txt"
check release-ships-32-bit-programs bash -c "for p in merva.exe merva-pack.exe merva-img.exe; do
  i686-w64-mingw32-objdump -f '$kit/'\$p | grep -q 'file format pei-i386\$' || exit 1; done"

# Signed with a certificate made here: osslsigncode accepts all three programs, the signature is
# all that differs from the unsigned build, the same certificate gives the same zip, and without
# one the build says it is unsigned and is the same as ever.
sign="$work/sign"
mkdir -p "$sign"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$sign/key.pem" -out "$sign/cert.pem" \
  -days 3650 -subj "/CN=Merva release test" >/dev/null 2>&1
signed_release() { bash "$root/scripts/release.sh" --cert "$sign/cert.pem" --key "$sign/key.pem"; }
check release-signs bash -c "$(declare -f signed_release); sign='$sign' root='$root';
  signed_release | grep -q 'the programs are signed with CN = Merva release test' &&
  cp '$zip' '$sign/signed.zip' && python3 -m zipfile -e '$sign/signed.zip' '$sign/unpacked'"
signed_kit="$sign/unpacked/merva-$version"
check release-signatures-verify bash -c "for p in merva.exe merva-pack.exe merva-img.exe; do
  osslsigncode verify -CAfile '$sign/cert.pem' -in '$signed_kit/'\$p | grep -q '^Signature verification: ok' || exit 1
  osslsigncode remove-signature -in '$signed_kit/'\$p -out '$sign/'\$p.stripped >/dev/null &&
    cmp '$sign/'\$p.stripped '$kit/'\$p || exit 1
done"
check release-signed-is-reproducible bash -c "$(declare -f signed_release); sign='$sign' root='$root';
  signed_release >/dev/null && cmp '$sign/signed.zip' '$zip'"
check release-refuses-half-a-signing bash -c "bash '$root/scripts/release.sh' --cert '$sign/cert.pem' 2>&1;
  [ \$? = 2 ]"
check release-unsigned-says-so bash -c "bash '$root/scripts/release.sh' | grep -q 'the programs are UNSIGNED' &&
  cmp '$work/first.zip' '$zip'"

if [ "$build" != win32 ]; then
  cp -a "$kit" "$work/kit-$build"
  kit="$work/kit-$build"
  cp "$win/src/wizard/win32/merva.exe" "$win/merva-pack.exe" "$win/merva-img.exe" "$kit/"
  echo "the kit's programs run here as the $build build of the same tree: the zip's are 32-bit"
fi
merva_start_display
trap merva_stop EXIT
merva_prepare_prefix || exit 1
key='HKLM\SOFTWARE\Rockstar Games\GTA San Andreas\Installation'
wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1

game="$work/game" built="$kit/mymod"
bash "$root/samples/make_sample.sh" "$native" "$work/native-mod" "$game"
cp -a "$game" "$work/game-before"
mkdir -p "$built"
export MERVA_RESTORE_DIR="$(winpath "$work/restore")"
mkdir -p "$work/restore"
check kit-builds-the-sample bash -c "cd '$kit' && wine merva-pack.exe build 'sample\\manifest.txt' mymod &&
  test -s mymod/scripts.bin -a -s mymod/data.cab"
check kit-installs-the-sample bash -c "cd '$kit' && wine merva-img.exe install '$(winpath "$game")' mymod &&
  '$native/merva-img' list '$game/models/gta3.img' | grep -q ' merva_badge.txd\$' &&
  test -f '$game/data/merva/infernus_gt.txt'"
check kit-takes-the-sample-back bash -c "cd '$kit' && wine merva-img.exe undo '$(winpath "$game")' &&
  diff -r '$work/game-before' '$game'"
unset MERVA_RESTORE_DIR
wine reg delete "$key" /f $merva_game_key_view >/dev/null 2>&1

cp "$kit/merva.exe" "$built/"
check kit-wizard-shows-its-first-page bash -c "LC_ALL=C.UTF-8 wine '$win/tests/e2e/merva-e2e.exe' \
  '$(winpath "$built/merva.exe")' '$(winpath "$built")' start window \
  text 202 'Infernus GT — пример мода / sample mod' text 201 'Добро пожаловать!*' \
  shot '$(winpath "$work/first-page.bmp")' click 105 exit 0"

echo "release: $(stat -c %s "$zip") bytes, $passed passed, $failed failed (the kit run as $build)"
[ "$failed" -eq 0 ]
