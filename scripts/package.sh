#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages libtarvex10, libtarvex-dev and tarvex in
# build-deb/ (NAME_VERSION_ARCH.deb): a release build installed under /usr,
# packed by cpack, with dependencies found by dpkg-shlibdeps and the
# library's symbols checked by dpkg-gensymbols (dpkg-dev, which needs file).
# Install them with apt-get install ./build-deb/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh dpkg-dev file
dir=build-deb
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB)
ls "$dir"/*.deb
