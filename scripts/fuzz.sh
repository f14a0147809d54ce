#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each on its seed corpus for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 30] [target name filter]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
filter=${2:-}
build=${VARNOOK_FUZZ_BUILD:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNOOK_FUZZ=ON -DVARNOOK_GUI=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
status=0
while read -r target; do
  [ -n "$target" ] || continue
  if [ -n "$filter" ] && [[ "$target" != *"$filter"* ]]; then continue; fi
  seeds="fuzz/corpus/$target"
  work="$build/fuzz-work/$target"
  mkdir -p "$work"
  echo "== $target ($seconds s)"
  dirs=("$work")
  [ -d "$seeds" ] && dirs+=("$seeds")
  if ! "$build/fuzz/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$work/" "${dirs[@]}" \
      2>"$work/log.txt"; then
    echo "   FAILED: see $work/log.txt"; tail -40 "$work/log.txt"; status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$work/log.txt" | sed 's/^/   /' || true
done < <(sort -u "$build/fuzz-targets.txt")
exit $status
