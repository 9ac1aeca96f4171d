#!/usr/bin/env bash
# Installs what is missing, builds corvane and converts the sample image
# samples/sample.png to a PPM file in build/, then says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DTARVEX_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)" --target corvane
corvane=build/converter/corvane
[[ -x $corvane ]] || corvane=$(find build -type f -name corvane -perm -u+x | head -1)

"$corvane" samples/sample.png >build/sample.ppm
echo "converted samples/sample.png to $PWD/build/sample.ppm"
