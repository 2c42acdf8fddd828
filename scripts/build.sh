#!/usr/bin/env bash
# Builds every target: the native core, tools and tests (build/native) and the Windows
# programs, tools and test driver from the same tree for i686 (build/win32, what ships) and for
# x86-64 (build/win64, what the Windows tests run where no 32-bit program starts).
set -euo pipefail
source "$(dirname "$0")/root.sh"
source "$root/scripts/windows_builds.sh"
cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/native"
for build in $merva_all_windows_builds; do
  cmake -S "$root" -B "$root/build/$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/$(merva_toolchain_of "$build")" >/dev/null
  cmake --build "$root/build/$build"
done
