#!/usr/bin/env bash
# motifscan against Vectorscan, the way a stream filter uses it, on random,
# DNA and English-like text messages, huge dictionaries and adversarial
# messages.
#
#   bench/motif_peers.sh [MOTIFSCAN] [SHAPE_FILTER]
#
# MOTIFSCAN     the motifscan binary to time (default: this tree's
#               build/release/bin/motifscan); any build of the program,
#               e.g. another worktree's.
# SHAPE_FILTER  an extended regular expression: only the shapes whose number
#               or name it matches run (e.g. 'DNA|text', '^4[0-4]', 'huge').
# RUNS          (environment) runs per program and shape, default 5; the
#               programs run in turn, and each takes its best (least) wall time.
# PEER_HUGE_RUNS  (environment) runs of the peer on the huge dictionaries,
#               default 3: each compiles its database for seconds to a minute.
# COUNT=instructions  (environment) for a machine too busy for wall times:
#               every program runs once under valgrind --tool=callgrind and
#               the tables give millions of instructions instead of seconds
#               (the huge dictionaries, and the straightforward program except
#               on the adversarial shapes, are left out). Instructions do not
#               see page faults or cache misses, and valgrind offers no
#               AVX-512, so programs that choose their code by the processor
#               run their AVX2 paths.
#
# The generator, the peers (bench/vectorscan_count.cpp, in streaming mode -s
# and block mode) and the straightforward program (motifscan_reference) are
# built from this tree's release preset. Inputs go to build/bench/motif/ once
# and are made again only when the generator changes; the text shapes use
# build/bench/text_corpus.txt, made by bench/text_corpus.py. Outputs and
# times go to a directory of this run's own, so that several runs may share
# the inputs at once. Every program must print motifscan's counts. The
# straightforward program runs once on the message shapes of few patterns,
# for reference, and in turn with the others on the adversarial ones. The
# tables (Markdown) go to standard output, progress to standard error. Exits
# 1 when counts differ or a program fails; unmet targets only show in the
# tables.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
motifscan=$(realpath "${1:-$root/build/release/bin/motifscan}")
filter=${2:-.}
runs=${RUNS:-5}
peer_huge_runs=${PEER_HUGE_RUNS:-3}
count=${COUNT:-seconds}
unit=s
if [ "$count" = instructions ]; then
  runs=1 unit="M instructions"
  command -v valgrind >/dev/null || { echo "COUNT=instructions needs valgrind" >&2; exit 2; }
fi
cd "$root"

cmake --preset release >/dev/null
nice -n 15 cmake --build --preset release -j2 --target motifscan_reference bench_generate bench_measure \
  bench_read_loop >/dev/null
build=build/release
generate=$build/bench/bench_generate
measure=$build/bench/bench_measure
reference=$build/bin/motifscan_reference
read_loop=$build/bench/bench_read_loop
peer=""
if grep -q '^LIBHS_FOUND:INTERNAL=1' $build/CMakeCache.txt; then
  nice -n 15 cmake --build --preset release -j2 --target bench_vectorscan_count >/dev/null
  peer=$build/bench/bench_vectorscan_count
  peer_version="Vectorscan $(pkg-config --modversion libhs)"
else
  echo "no libvectorscan-dev (pkg-config libhs): the Vectorscan columns are left empty" >&2
  peer_version="Vectorscan absent"
fi
[ -x "$motifscan" ] || { echo "no motifscan binary at $motifscan" >&2; exit 2; }
inputs=build/bench/motif
mkdir -p "$inputs"
work=$(mktemp -d "$inputs/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
corpus=build/bench/text_corpus.txt

# key|kind|name: kind is message (against the peers; message+ also runs the
# straightforward program once), huge (the message's scan and memory) or
# adversarial (against the straightforward program).
shapes=(
  "21|message+|10 random patterns of 4-16 letters, 100 MB random message"
  "31|message|300 random patterns of 4-12 letters, 100 MB"
  "32|message|3,000 random patterns of 4-16 letters, 100 MB"
  "25|message|repetitive: runs of A, 1,000 A then B and the like, 100 MB"
  "33|message+|DNA: one 16-mer, 60 MB over ACGT"
  "34|message+|DNA: 20 12-mers, half from the message, 60 MB"
  "35|message|DNA: 1,000 12-mers, 30 MB"
  "36|message|DNA: 10,000 24-mers, 30 MB"
  "37|message+|English-like text, 60 MB: 30 of its words"
  "38|message|the same text, 1,000 words"
  "39|message|30 MB of it, 50,000 words"
  "40|huge|huge: 200,000 DNA 21-mers, 10 MB message"
  "41|huge|huge: 550,000 random 8-letter words, 10 MB message"
  "42|adversarial|adversarial: B, 59 C, AAAA over 10 MB of A"
  "43|adversarial|adversarial: 4,096 copies of BAAAA over 300 KB of A"
  "44|adversarial|adversarial: 256 DNA 12-mers, one ending in each 4 bases, 1 MB"
)

# input SHAPE SCALE: the cached input's path, made when missing or stale.
input() {
  local file=$inputs/shape$1-x$2.in extra=()
  case $1 in 37 | 38 | 39) extra=("$corpus") ;; esac
  if [ ! -s "$file" ] || [ "$generate" -nt "$file" ] || { [ ${#extra[@]} -gt 0 ] && [ "$corpus" -nt "$file" ]; }; then
    echo "generating shape $1 (scale $2)" >&2
    "$generate" "$1" "$2" "${extra[@]}" >"$file.part$$"
    mv "$file.part$$" "$file"
  fi
  echo "$file"
}

# timed NAME INPUT PROGRAM [ARGUMENT...]: one run; appends "wall kib cpu" to
# $work/NAME.times, the output to $work/NAME.out, standard error to
# $work/NAME.err. A failed run is reported and recorded as failed.
failed=0
timed() {
  local name=$1 in=$2 line status=0
  shift 2
  if [ "$count" = instructions ]; then
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" <"$in" >"$work/$name.out" 2>"$work/$name.err" ||
      status=$?
    line=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/$name.err" | awk '{printf "%.1f - -\n", $1 / 1e6}')
  else
    line=$("$measure" "$in" "$work/$name.out" "$@" 2>"$work/$name.err") || status=$?
  fi
  if [ "$status" != 0 ]; then
    echo "$name: status $status: $(head -c 200 "$work/$name.err")" >&2
    failed=1
    return 0
  fi
  echo "$line" >>"$work/$name.times"
}
best() { [ -s "$work/$1.times" ] && cut -d' ' -f1 "$work/$1.times" | sort -g | head -n 1 || echo -; }
most() { [ -s "$work/$1.times" ] && cut -d' ' -f2 "$work/$1.times" | sort -g | tail -n 1 || echo -; }
# ratio A B: A / B to two places, or "-".
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a != "-" && b != "-" && b > 0) printf "%.2f", a / b; else print "-"}'; }
# same NAME...: whether each NAME.out holds motifscan's counts.
same() {
  local name
  for name; do
    if ! cmp -s "$work/motifscan.out" "$work/$name.out"; then
      echo "$shape_key: $name prints other counts than motifscan" >&2
      failed=1
      return 1
    fi
  done
}
fresh() {
  local name
  for name; do : >"$work/$name.times"; done
}

text_ok=yes
wants() { grep -Eq -- "$filter" <<<"$1" || grep -Eq -- "$filter" <<<"$3"; }
for entry in "${shapes[@]}"; do
  IFS='|' read -r key kind name <<<"$entry"
  if wants "$key" "$kind" "$name" && [[ $key == 3[789] ]] && [ ! -s "$corpus" ]; then
    echo "building the text corpus from the Python sources" >&2
    python3 bench/text_corpus.py "$corpus.part$$" && mv "$corpus.part$$" "$corpus" || text_ok=no
    break
  fi
done

message_rows=()
huge_rows=()
adversarial_rows=()
for entry in "${shapes[@]}"; do
  IFS='|' read -r shape_key kind name <<<"$entry"
  wants "$shape_key" "$kind" "$name" || continue
  if [ "$kind" = huge ] && [ "$count" = instructions ]; then
    echo "shape $shape_key: left out when counting instructions" >&2
    continue
  fi
  if [[ $shape_key == 3[789] ]] && [ "$text_ok" != yes ]; then
    echo "shape $shape_key: no Python sources under /usr/lib/python3*: the text shapes are left out" >&2
    continue
  fi
  in=$(input "$shape_key" 1)
  bytes=$(wc -c <"$in")
  echo "shape $shape_key ($name): $bytes bytes, $runs runs" >&2
  case $kind in
    message*)
      fresh motifscan stream block reference read
      for ((run = 0; run < runs; run++)); do
        timed read "$in" "$read_loop"
        timed motifscan "$in" "$motifscan"
        if [ -n "$peer" ]; then
          timed stream "$in" "$peer" -s
          timed block "$in" "$peer"
        fi
      done
      met=-
      [ -z "$peer" ] || same stream block || met="counts differ"
      if [ "$kind" = message+ ] && [ "$count" != instructions ]; then
        timed reference "$in" "$reference"
        same reference || met="counts differ"
      fi
      t_m=$(best motifscan) t_s=$(best stream) t_b=$(best block)
      r=$(ratio "$t_s" "$t_m")
      [ "$met" != - ] || met=$(awk -v r="$r" 'BEGIN {if (r == "-") print "-"; else print (r >= 1) ? "yes" : "no"}')
      message_rows+=("| $shape_key. $name | $(head -n 1 "$work/motifscan.out") | $t_m | $t_s | $t_b | **$r** | $(ratio "$t_b" "$t_m") | $met | $(best reference) | $(best read) |")
      ;;
    huge)
      empty=$(input "$shape_key" 0)
      fresh motifscan motifscan_empty stream
      : >"$work/stream.clock"
      for ((run = 0; run < runs; run++)); do
        timed motifscan "$in" "$motifscan"
        timed motifscan_empty "$empty" "$motifscan"
        if [ -n "$peer" ] && ((run < peer_huge_runs)); then
          timed stream "$in" "$peer" -s -t
          cat "$work/stream.err" >>"$work/stream.clock"
        fi
      done
      met=-
      [ -z "$peer" ] || same stream || met="counts differ"
      t_m=$(best motifscan) t_e=$(best motifscan_empty)
      scan=$(awk -v a="$t_m" -v b="$t_e" 'BEGIN {printf "%.4f", a - b}')
      peer_scan=$( [ -s "$work/stream.clock" ] && cut -d' ' -f1 "$work/stream.clock" | sort -g | head -n 1 || echo -)
      peer_compile=$( [ -s "$work/stream.clock" ] && cut -d' ' -f2 "$work/stream.clock" | sort -g | head -n 1 || echo -)
      rm -f "$work/stream.clock"
      kib=$(most motifscan)
      bound=$(awk -v b="$bytes" 'BEGIN {k = 6 * b / 1024; printf "%d", (k > 32768) ? k : 32768}')
      [ "$met" != - ] || met=$(awk -v s="$scan" -v p="$peer_scan" 'BEGIN {if (p == "-") print "-"; else print (s <= p) ? "yes" : "no"}')
      mem_met=$(awk -v k="$kib" -v b="$bound" 'BEGIN {print (k != "-" && k <= b) ? "yes" : "no"}')
      huge_rows+=("| $shape_key. $name | $(head -n 1 "$work/motifscan.out") | $t_m | $t_e | **$scan** | $peer_scan | $peer_compile | $met | $kib | $bound | $mem_met |")
      ;;
    adversarial)
      fresh motifscan reference stream block
      for ((run = 0; run < runs; run++)); do
        timed motifscan "$in" "$motifscan"
        timed reference "$in" "$reference"
        if [ -n "$peer" ]; then
          timed stream "$in" "$peer" -s
          timed block "$in" "$peer"
        fi
      done
      met=-
      same reference || met="counts differ"
      [ -z "$peer" ] || same stream block || met="counts differ"
      t_m=$(best motifscan) t_r=$(best reference)
      [ "$met" != - ] || met=$(awk -v m="$t_m" -v r="$t_r" 'BEGIN {print (m <= r) ? "yes" : "no"}')
      adversarial_rows+=("| $shape_key. $name | $(head -n 1 "$work/motifscan.out") | $t_m | $t_r | **$(ratio "$t_r" "$t_m")** | $(best stream) | $(best block) | $met |")
      ;;
  esac
done

{
  echo "Programs: motifscan \`$motifscan\`; the peer bench/vectorscan_count.cpp ($peer_version),"
  echo "in streaming mode (-s: HS_MODE_STREAM, 256 KiB read() blocks into one buffer,"
  echo "hs_scan_stream) and in block mode (the whole input read first, one hs_scan);"
  echo "the straightforward program \`motifscan_reference\`. $([ "$count" = instructions ] &&
    echo "Millions of instructions (callgrind), one run of each" ||
    echo "Wall-clock seconds of whole processes, best of $runs runs,") the programs in turn on the same file in the"
  echo "page cache; $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores, $(date -u +%Y-%m-%d)."
  if [ ${#message_rows[@]} -gt 0 ]; then
    echo
    echo "### Messages: motifscan against Vectorscan"
    echo
    echo "Ratios are the peer's time over motifscan's: above 1, motifscan is faster."
    echo "Target: streaming / motifscan at least 1 (no slower), aiming for 1.2."
    echo
    echo "The straightforward program ran once, where it takes seconds, not minutes;"
    echo "read() is bench/read_loop.cpp, a plain read() loop over the same file (in"
    echo "turn with the others): the floor for any program that reads it."
    echo
    echo "| shape | count | motifscan $unit | streaming $unit | block $unit | streaming / motifscan | block / motifscan | met | straightforward $unit | read() $unit |"
    echo "|---|---:|---:|---:|---:|---:|---:|---|---:|---:|"
    printf '%s\n' "${message_rows[@]}"
  fi
  if [ ${#huge_rows[@]} -gt 0 ]; then
    echo
    echo "### Huge dictionaries"
    echo
    echo "motifscan's scan of the message is its time with the message less its time"
    echo "with an empty one (same patterns; best of $runs each). The peer's scan and"
    echo "compile are its own CPU seconds (-t, best of $peer_huge_runs runs in streaming mode):"
    echo "the scan with the read() calls for the message, the compile with the scratch"
    echo "and stream state. Targets: the scan no slower than the peer's; peak RSS at"
    echo "most max(32 MiB, 6x the input's size)."
    echo
    echo "| dictionary | count | motifscan s | with empty message s | its scan s | peer's scan s | peer's compile s | met | motifscan KiB | bound KiB | memory met |"
    echo "|---|---:|---:|---:|---:|---:|---:|---|---:|---:|---|"
    printf '%s\n' "${huge_rows[@]}"
  fi
  if [ ${#adversarial_rows[@]} -gt 0 ]; then
    echo
    echo "### Adversarial messages"
    echo
    echo "Target: motifscan never slower than the straightforward program."
    echo
    echo "| shape | count | motifscan $unit | straightforward $unit | straightforward / motifscan | streaming $unit | block $unit | met |"
    echo "|---|---:|---:|---:|---:|---:|---:|---|"
    printf '%s\n' "${adversarial_rows[@]}"
  fi
}
exit "$failed"
