#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Proves that the tests catch real faults: applies each deliberate fault of
# tests/mutants/*.patch (first line: what it breaks) to a scratch copy of the
# tree, builds it and runs the tests, and prints KILLED (a test failed) or
# SURVIVED per fault. Every fault must be KILLED.
#
#   bash tests/mutants/run.sh [PATCH...]        (default: every patch)
#
# The tree is the working tree, or the commit named by $TARVEX_MUTANT_REV.
# The scratch copy and its build live in $TARVEX_MUTANT_DIR (default
# /tmp/tarvex-mutants) and are kept between runs, so that a fault costs an
# incremental rebuild. Exit status: 0 when every fault was killed.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=${TARVEX_MUTANT_DIR:-/tmp/tarvex-mutants}
src=$scratch/src build=$scratch/build log=$scratch/log
jobs=${JOBS:-2}
patches=("$@")
((${#patches[@]})) || patches=("$root"/tests/mutants/*.patch)

# Copies the tracked and new files that differ, so that unchanged files keep
# their times and the kept build stays incremental; drops files gone since.
sync_tree() {
  local rev=${TARVEX_MUTANT_REV:-}
  mkdir -p "$src"
  if [[ -n $rev ]]; then
    git -C "$root" ls-tree -r --name-only "$rev"
  else
    git -C "$root" ls-files -co --exclude-standard
  fi | grep -v '^tests/mutants/' >"$scratch/files"
  while read -r f; do
    if [[ -n $rev ]]; then git -C "$root" show "$rev:$f" >"$scratch/file"; else cp "$root/$f" "$scratch/file"; fi
    cmp -s "$scratch/file" "$src/$f" || { mkdir -p "$src/$(dirname "$f")" && cp "$scratch/file" "$src/$f"; }
  done <"$scratch/files"
  (cd "$src" && find . -type f -not -name .git | sed 's|^\./||' | sort) | comm -23 - <(sort "$scratch/files") |
    (cd "$src" && xargs -r rm -f)
}

# Applies a patch where it was made or, once the code has moved, to the one
# source file whose text it still matches; prints that file.
apply() {
  if (cd "$src" && git apply "$1" 2>/dev/null); then
    sed -n 's|^+++ b/||p' "$1"
    return
  fi
  for f in "$src"/lib/*.cpp "$src"/converter/*.cpp "$src"/encoder/*.cpp; do
    if patch -s -f --dry-run "$f" <"$1" >/dev/null 2>&1; then
      patch -s -f "$f" <"$1" >/dev/null && echo "${f#"$src"/}"
      return
    fi
  done
  return 1
}

revert() { (cd "$src" && patch -s -f -R "$1" <"$2" >/dev/null); }

tests() { ctest --test-dir "$build" -j "$jobs" --stop-on-failure --timeout 300 >"$log" 2>&1; }

mkdir -p "$scratch"
sync_tree
cmake -S "$src" -B "$build" >/dev/null || exit 2
if ! cmake --build "$build" -j "$jobs" >"$log" 2>&1 || ! tests; then
  echo "the unchanged tree does not build or pass its tests; see $log"
  exit 2
fi

survived=0
for p in "${patches[@]}"; do
  p=$(realpath "$p") name=$(basename "$p" .patch)
  if ! file=$(apply "$p"); then
    echo "$name: DOES NOT APPLY"
    survived=1
    continue
  fi
  if ! cmake --build "$build" -j "$jobs" >"$log" 2>&1; then
    result="DOES NOT BUILD"
    survived=1
  elif tests; then
    result=SURVIVED
    survived=1
  else
    result="KILLED by $(grep -m1 -E '\*\*\*|Failed  ' "$log" | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/')"
  fi
  revert "$file" "$p"
  echo "$name ($file): $result  -- $(head -n1 "$p")"
done
exit $survived
