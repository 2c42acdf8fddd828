#!/usr/bin/env bash
# Builds both targets: the native core, tools and tests (build/native) and the Windows
# program, tools and test driver (build/win32).
set -euo pipefail
source "$(dirname "$0")/root.sh"
cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/native"
cmake -S "$root" -B "$root/build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build/win32"
