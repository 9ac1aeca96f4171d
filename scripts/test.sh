#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything and runs every test; fails when any test did not run or
# was skipped. --sanitize builds with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/; --werror turns warnings into
# errors (CI does).
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
flags=(-DTARVEX_WERROR=OFF)
for arg in "$@"; do
  case $arg in
    --sanitize) dir=build-sanitize flags+=(-DTARVEX_SANITIZE=ON -DTARVEX_BUILD_BENCHMARKS=OFF) ;;
    --werror) flags+=(-DTARVEX_WERROR=ON) ;;
    *) echo "usage: scripts/test.sh [--sanitize] [--werror]" >&2; exit 2 ;;
  esac
done

bash scripts/deps.sh
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
log=$dir/Testing/test.log
mkdir -p "$dir/Testing"
ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$(nproc)" | tee "$log"
# ctest counts a skipped test as passed and lists it at the end.
if grep -q -e 'The following tests did not run' -e '\[  SKIPPED \]' "$log"; then
  echo "some tests were skipped; every test must run" >&2
  exit 1
fi
