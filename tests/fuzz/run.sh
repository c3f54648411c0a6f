#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang with ASan and UBSan)
# and runs each for SECONDS (default 60), starting from the seed corpus in
# tests/fuzz/corpus/<program>. New inputs go to build/fuzz/corpus-<program>,
# never into the repository. A finding stops the run with a non-zero status and
# leaves the input as crash-*, leak-* or timeout-* in the current folder.
#
#   tests/fuzz/run.sh [SECONDS] [PROGRAM...]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
seconds=${1:-60}
shift || true
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(gemprobe motifscan)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null
for program in "${programs[@]}"; do
  work=build/fuzz/corpus-$program
  mkdir -p "$work"
  echo "fuzzing $program for $seconds s"
  # The fuzzer's own status decides; its log is kept, and only its summary
  # lines are shown. (Taken from a pipe, the status was lost: with pipefail
  # the "|| true" that kept grep from ending the script replaced it.)
  log=build/fuzz/$program.log
  status=0
  build/fuzz/tests/fuzz/${program}_fuzz "$work" "tests/fuzz/corpus/$program" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 >"$log" 2>&1 || status=$?
  grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|==|SUMMARY|property violated|Done)' "$log" || true
  [ "$status" -eq 0 ] || { echo "fuzzing $program found a problem (status $status, log in $log)" >&2; exit 1; }
done
