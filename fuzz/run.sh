#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs one fuzz target: fuzz/run.sh TARGET SECONDS
# Builds the clang/libFuzzer build in build-fuzz/ when needed, starts from the
# committed seeds (fuzz/corpus/TARGET), grows a working corpus in
# build-fuzz/corpus/TARGET and puts crash files into fuzz/crashers/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh TARGET SECONDS}
seconds=${2:?usage: fuzz/run.sh TARGET SECONDS}

bash scripts/deps.sh clang libclang-rt-dev
if [[ ! -f build-fuzz/CMakeCache.txt ]]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTARVEX_BUILD_FUZZERS=ON \
    -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCHMARKS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build-fuzz -j "$(nproc)" --target "fuzz_$target"

case $target in
  convert) dict=fuzz/png.dict ;;
  pnm_read|mapfile|belvane) dict=fuzz/pnm.dict ;;
  *) dict= ;;
esac
# The map-file reader and belvane's colour census leave a hash table behind at
# every fatal error (the process would have ended): run them in short-lived
# child processes, so that what accumulates is dropped with each child.
extra=()
[[ $target == mapfile || $target == belvane ]] && extra=(-fork=1 -ignore_ooms=1)
work=build-fuzz/corpus/$target
mkdir -p "$work" "fuzz/crashers/$target"
# Fatal errors leave their allocations behind by design (the process would
# have ended), so leak reports would only repeat that. The targets' own
# messages (every fatal error prints one) are not shown: they slow the run.
ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
  "build-fuzz/fuzz/fuzz_$target" "$work" "fuzz/corpus/$target" \
  ${dict:+-dict=$dict} -max_total_time="$seconds" -rss_limit_mb=4096 \
  -malloc_limit_mb=65536 -timeout=60 -print_final_stats=1 -close_fd_mask=2 \
  -artifact_prefix="fuzz/crashers/$target/" "${extra[@]}"
