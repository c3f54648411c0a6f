#!/usr/bin/env bash
# gemprobe on every decimal spelling that programs write (bench_spellings):
# 1.5 million points in a huge tetrahedron and in the unit cube per spelling,
# and 50,000 unit cubes of 10 points with %.6f and with %.17g points. For
# each input the program and the read() loop run RUNS times, interleaved, and
# the straightforward program (gemprobe_reference) once; the table gives the
# best wall seconds of the runs (the least disturbed by other work on the
# machine), the CPU seconds of the program's best run, and the two ratios
# the targets use. The inputs go
# to build/bench/spellings and are made again only when the generator changes.
#
#   bench/spellings.sh [RUNS] [TABLE]   (default 5, standard output)
# GEMPROBE_BENCH_PROGRAM times another build of gemprobe (e.g. an older one).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-5}
table=${2:-/dev/stdout}

cmake --preset release >/dev/null
cmake --build --preset release -j2 --target gemprobe gemprobe_reference bench_spellings bench_measure \
  bench_read_loop >/dev/null
bin=build/release/bin
measure=build/release/bench/bench_measure
generate=build/release/bench/bench_spellings
read_loop=build/release/bench/bench_read_loop
program=${GEMPROBE_BENCH_PROGRAM:-$bin/gemprobe}
work=build/bench/spellings
mkdir -p "$work"

best() { sort -g | head -n 1; }

cases=()
for spelling in f3e6 f6 f9 g12 g15 g16 g17 e17 shortest mixed; do
  cases+=("$spelling tet" "$spelling cube")
done
cases+=("f6 small" "g17 small")
declare -A label=([f3e6]='%.3f at 10^6' [f6]='%.6f' [f9]='%.9f' [g12]='%.12g' [g15]='%.15g' [g16]='%.16g'
  [g17]='%.17g' [e17]='%.17e' [shortest]='shortest round trip' [mixed]='mixed per coordinate')

rows=()
for c in "${cases[@]}"; do
  read -r spelling solid <<<"$c"
  input=$work/$spelling-$solid.in
  if [ ! -s "$input" ] || [ "$generate" -nt "$input" ]; then "$generate" "$spelling" "$solid" >"$input"; fi
  : >"$work/program.times"
  : >"$work/loop.times"
  for ((run = 0; run < runs; run++)); do
    "$measure" "$input" "$work/program.out" "$program" >>"$work/program.times"
    "$measure" "$input" /dev/null "$read_loop" >>"$work/loop.times"
  done
  t_reference=$("$measure" "$input" "$work/reference.out" "$bin/gemprobe_reference" | cut -d' ' -f1)
  if ! cmp -s "$work/program.out" "$work/reference.out"; then
    echo "$spelling $solid: gemprobe and the straightforward program print different bytes" >&2
    exit 1
  fi
  t_program=$(cut -d' ' -f1 "$work/program.times" | best)
  c_program=$(sort -g "$work/program.times" | head -n 1 | cut -d' ' -f3)
  t_loop=$(cut -d' ' -f1 "$work/loop.times" | best)
  m_program=$(cut -d' ' -f2 "$work/program.times" | sort -g | tail -n 1)
  over_loop=$(awk -v p="$t_program" -v l="$t_loop" 'BEGIN {printf "%.1f", p / l}')
  speedup=$(awk -v r="$t_reference" -v p="$t_program" 'BEGIN {printf "%.1f", r / p}')
  echo "$spelling $solid: $t_program s, ${over_loop}x read loop, ${speedup}x faster" >&2
  rows+=("| ${label[$spelling]} | $solid | $(wc -c <"$input") | $t_program | $c_program | $t_loop | ${over_loop}x | $t_reference | ${speedup}x | $m_program |")
done
{
  echo "| spelling | points | bytes | program s | program CPU s | read loop s | program / read loop | straightforward s | speed-up | program KiB |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"
  printf '%s\n' "${rows[@]}"
} >"$table"
