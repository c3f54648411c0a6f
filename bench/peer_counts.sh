#!/usr/bin/env bash
# The Vectorscan peer counts as the straightforward program does, in block
# mode and in streaming mode with blocks of 256 KiB, 1 byte and 7 bytes (so
# that occurrences, messages and pattern lines straddle the blocks), on small
# random tasks that force overlaps and nested, repeated and empty patterns.
#
#   bench/peer_counts.sh GENERATE REFERENCE PEER
set -euo pipefail
generate=$1 reference=$2 peer=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for seed in 1 2 3; do
  "$generate" 27 "$seed" >"$work/in"
  "$reference" <"$work/in" >"$work/expected"
  for mode in "" "-s" "-s -b 1" "-s -b 7"; do
    # shellcheck disable=SC2086 # the mode is one or more options
    "$peer" $mode <"$work/in" >"$work/got"
    if ! cmp -s "$work/expected" "$work/got"; then
      echo "seed $seed, peer options '$mode': counts differ from the straightforward program's" >&2
      diff "$work/expected" "$work/got" | head -n 5 >&2
      exit 1
    fi
  done
done
echo "the peer's counts agree in every mode"
