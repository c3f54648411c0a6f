#!/usr/bin/env bash
# Draws the benchmark results as a bar chart (PNG) with gnuplot, from Debian's
# gnuplot-nox; without gnuplot it says so and leaves the picture as it is.
#
#   bench/chart.sh RESULTS.tsv [PICTURE.png]   (default docs/benchmarks.png)
#
# RESULTS.tsv has one line per table row, three fields separated by tabs:
#   label   what was measured, shown under its bar (no tabs; keep it short)
#   kind    speedup      the program against its baseline, in times (x)
#           throughput   input processed per second, in MB/s
#   value   a plain decimal number
# Lines starting with "#" are ignored. Each kind gets its own panel, in the
# order of the file; speed-ups on a logarithmic scale. bench/run.sh writes
# build/bench/results.tsv; a benchmark added to it appends its own rows with
#   printf '%s\tspeedup\t%s\n' "$label" "$speedup" >>"$results"
set -euo pipefail
results=${1:?usage: bench/chart.sh RESULTS.tsv [PICTURE.png]}
picture=${2:-$(cd "$(dirname "$0")/.." && pwd)/docs/benchmarks.png}

if ! command -v gnuplot >/dev/null 2>&1; then
  echo "bench/chart.sh: gnuplot not found (Debian package gnuplot-nox); $picture not drawn" >&2
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk -F'\t' -v dir="$work" '
  /^#/ || NF < 3 { next }
  $2 != "speedup" && $2 != "throughput" { print "bench/chart.sh: unknown kind \"" $2 "\"" > "/dev/stderr"; exit 1 }
  { gsub(/"/, "", $1); print $1 "\t" $3 > (dir "/" $2 ".tsv") }
' "$results"

panels=0
for kind in speedup throughput; do [ -s "$work/$kind.tsv" ] && panels=$((panels + 1)); done
if [ "$panels" -eq 0 ]; then
  echo "bench/chart.sh: no rows in $results" >&2
  exit 1
fi

{
  echo "set terminal pngcairo size 960,$((360 * panels)) font 'sans,10'"
  echo "set output '$picture'"
  echo "set datafile separator '\t'"
  echo "set style fill solid 0.8 border -1"
  echo "set boxwidth 0.6"
  echo "set xtics rotate by 25 right noenhanced"
  echo "set grid ytics"
  echo "set key off"
  echo "set bmargin 9"
  echo "set lmargin 14"
  echo "set rmargin 4"
  echo "set offsets 0.5, 0.5, graph 0.12, 0"
  echo "set multiplot layout $panels,1"
  if [ -s "$work/speedup.tsv" ]; then
    echo "set title 'Speed-up against the literal baseline (times, log scale)'"
    echo "set logscale y"
    echo "set yrange [1:*]"
    echo "plot '$work/speedup.tsv' using 0:2:xtic(1) with boxes lc rgb '#4878a8', \\"
    echo "     '' using 0:2:(sprintf('%.1fx', \$2)) with labels offset 0,0.8"
    echo "unset logscale y"
  fi
  if [ -s "$work/throughput.tsv" ]; then
    echo "set title 'Throughput (MB/s)'"
    echo "set yrange [0:*]"
    echo "plot '$work/throughput.tsv' using 0:2:xtic(1) with boxes lc rgb '#58a058', \\"
    echo "     '' using 0:2:(sprintf('%.0f', \$2)) with labels offset 0,0.8"
  fi
  echo "unset multiplot"
} >"$work/chart.gp"
gnuplot "$work/chart.gp"
echo "wrote $picture" >&2
