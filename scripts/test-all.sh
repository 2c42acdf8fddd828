#!/usr/bin/env bash
# Runs every test on a fresh Debian machine: installs what is needed, builds both targets,
# runs the native unit tests, checks the Windows program's imports, and walks the real
# program under Wine and Xvfb.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

echo "== native unit tests"
ctest --test-dir "$root/build/native" --output-on-failure -j2

echo "== the Windows program needs no DLL beyond Windows' own"
bash "$root/tests/e2e/check_imports.sh" "$root/build/win32"

echo "== end-to-end tests under Wine"
bash "$root/tests/e2e/run.sh" "$root/build/win32" "$root/build/native"
