#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The speed comparison is fair only if the floor program, held and streaming,
# writes what corvane writes: they convert small versions of every benchmark
# input, raw and plain, and must succeed with the same bytes. The sizes put
# PBM rows on and off byte boundaries and break plain lines at 70 digits, 17
# samples and 6 pixels. Arguments: make_inputs floor corvane.
set -euo pipefail
make_inputs=$1 floor=$2 corvane=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

failures=0
for size in 97x13 8x3 1x1; do
  mkdir "$dir/$size"
  "$make_inputs" --size "$size" "$dir/$size"
  for png in "$dir/$size"/*.png; do
    modes=("")
    [[ $(basename "$png") == adam7.png ]] || modes+=(-stream)
    for opt in "" -plain; do
      for mode in "${modes[@]}"; do
        what="$size $(basename "$png") ${opt:-raw} ${mode:-held}"
        if ! "$corvane" $opt "$png" >"$dir/c" || ! "$floor" $mode $opt "$png" >"$dir/f"; then
          echo "failed: $what"
          failures=$((failures + 1))
        elif [[ ! -s $dir/c ]] || ! cmp -s "$dir/c" "$dir/f"; then
          echo "different output: $what"
          failures=$((failures + 1))
        fi
      done
    done
  done
done
((failures == 0))
