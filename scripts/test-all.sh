#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: installs what is needed, builds both targets,
# runs the native unit tests, checks the Windows program's imports, and walks the real
# program under Wine and Xvfb.
set -euo pipefail
source "$(dirname "$0")/root.sh"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

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

echo "== the Windows program needs no DLL beyond Windows' own"
bash "$root/tests/e2e/check_imports.sh" "$root/build/win32"

echo "== end-to-end tests under Wine"
bash "$root/tests/e2e/run.sh" "$root/build/win32" "$root/build/native"

echo "== the release zip, unpacked and used as a mod author would"
bash "$root/tests/release/run.sh" "$root"
