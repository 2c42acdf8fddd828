#!/usr/bin/env bash
# Runs each fuzz target (or the named ones) for a while: fuzz/run_long.sh SECONDS [TARGET...]
# Findings are written to build/fuzz/findings/; a crash input belongs in fuzz/regressions/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
shift || true
targets=("${@:-script package archive install one_pass}")
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DMERVA_FUZZ=ON >/dev/null
cmake --build "$build"
"$build/fuzz/make_seeds" "$build/corpus"
mkdir -p "$build/findings" "$build/corpus/one_pass"
for target in ${targets[*]}; do
  echo "== $target for $seconds s"
  inputs=("$build/corpus/$target")
  [ -d "$root/fuzz/regressions/$target" ] && inputs+=("$root/fuzz/regressions/$target")
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -artifact_prefix="$build/findings/$target-" -print_final_stats=1 "${inputs[@]}" 2>&1 |
    grep -E "^(stat::|#[0-9]+.*DONE|==|SUMMARY)" || true
done
