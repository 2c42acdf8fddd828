#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: installs what is needed, builds every target,
# runs the native unit tests, checks the Windows programs' imports, and walks the real program
# under Wine and Xvfb for each Windows build this machine can start.
set -euo pipefail
source "$(dirname "$0")/root.sh"
source "$root/scripts/windows_builds.sh"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
windows_builds="$(merva_windows_builds)"

echo "== native unit tests"
ctest --test-dir "$root/build/native" --output-on-failure --no-tests=error -j2

echo "== native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMERVA_SANITIZE=ON >/dev/null
cmake --build "$root/build/asan"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build/asan" --output-on-failure --no-tests=error -j2

echo "== fuzz targets: seeds, regression inputs and a short fixed-seed run"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DMERVA_FUZZ=ON >/dev/null
cmake --build "$root/build/fuzz"
ctest --test-dir "$root/build/fuzz" --output-on-failure --no-tests=error -j2

# Both builds are checked, whichever runs here: the one that ships and the one tested.
for build in $merva_all_windows_builds; do
  echo "== the Windows programs ($build) need no DLL beyond Windows' own"
  bash "$root/tests/e2e/check_imports.sh" "$root/build/$build"
done

echo "== Windows builds run under Wine here: $windows_builds ($(merva_windows_builds_note))"
for build in $windows_builds; do
  echo "== end-to-end tests under Wine: the $build build"
  bash "$root/tests/e2e/run.sh" "$root/build/$build" "$root/build/native"
done

echo "== the release zip, unpacked and used as a mod author would"
bash "$root/tests/release/run.sh" "$root" "${windows_builds%% *}"
echo "== done: the end-to-end tests ran the Windows build(s) $windows_builds"
