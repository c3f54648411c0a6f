#!/usr/bin/env bash
# gemprobe's batch Solid::contains on 10^6 points in memory against the
# program on the same points written as %.17g text, both on one thread:
# the unit cube and a prism of 80 walls (bench_library_solid). Prints the
# best wall seconds of RUNS interleaved runs of each, the program's CPU
# seconds in its best run, and checks that the verdicts are the same.
#
#   bench/library.sh [RUNS]   (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-5}
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target gemprobe bench_library_solid bench_measure >/dev/null
bench=build/release/bench
work=build/bench/library
mkdir -p "$work"
printf '%-6s %12s %12s %12s %8s\n' solid library program "program CPU" ratio
for solid in cube prism; do
  "$bench/bench_library_solid" write "$solid" "$work/$solid.in"
  best_library=inf best_program=inf program_cpu=0
  for ((run = 0; run < runs; ++run)); do
    t=$("$bench/bench_library_solid" time "$solid" "$work/$solid.library")
    best_library=$(awk -v a="$best_library" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
    read -r wall _ cpu < <("$bench/bench_measure" "$work/$solid.in" "$work/$solid.program" build/release/bin/gemprobe)
    if awk -v a="$best_program" -v b="$wall" 'BEGIN { exit !(b < a) }'; then
      best_program=$wall program_cpu=$cpu
    fi
  done
  cmp -s "$work/$solid.library" "$work/$solid.program" || { echo "$solid: the verdicts differ" >&2; exit 1; }
  printf '%-6s %12.4f %12.4f %12.4f %8.2f\n' "$solid" "$best_library" "$best_program" "$program_cpu" \
    "$(awk -v a="$best_program" -v b="$best_library" 'BEGIN { print a / b }')"
done
