#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds corvane and belvane, converts the sample
# image samples/sample.png to a PPM file in build/ and back to PNG, checks
# that the way back gives the same image, then says where both are.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DTARVEX_WERROR=OFF >/dev/null
cmake --build build -j "$(nproc)" --target corvane belvane
corvane=build/converter/corvane belvane=build/encoder/belvane

"$corvane" samples/sample.png >build/sample.ppm
"$belvane" build/sample.ppm >build/sample.png
"$corvane" build/sample.png | cmp - build/sample.ppm
echo "converted samples/sample.png to $PWD/build/sample.ppm and back to" \
     "$PWD/build/sample.png ($(stat -c %s build/sample.png) bytes; the original" \
     "has $(stat -c %s samples/sample.png)): the same image"
