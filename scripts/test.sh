#!/usr/bin/env bash
# Builds everything and runs every test. With --sanitize the build is made
# with AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build
flags=(-DTARVEX_WERROR=ON)
if [[ "${1:-}" == --sanitize ]]; then
  dir=build-sanitize
  flags+=(-DTARVEX_SANITIZE=ON -DTARVEX_BUILD_BENCHMARKS=OFF)
fi

bash scripts/deps.sh
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
