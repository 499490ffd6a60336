#!/usr/bin/env bash
# Runs the GPS log parsing benchmark and, as the floor to compare with, times
# `wc -l` on the same 10^6-line log. Build first (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${VANTOR_BUILD_DIR:-build}
"$BUILD_DIR/bench/bench_gps_parse" --benchmark_min_time=1 "$@"
log=${TMPDIR:-/tmp}/vantor_bench_gps_1000000.txt
echo "wc -l on $(du -h "$log" | cut -f1) ($log), best of 5:"
for _ in 1 2 3 4 5; do
  /usr/bin/time -f "%e s" wc -l "$log" 2>&1 >/dev/null
done | sort -n | head -1
