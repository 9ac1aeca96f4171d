#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs, with apt-get and without recommended packages, whatever the build
# and the tests need that this Debian machine lacks. Extra package names may
# be given as arguments.
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpng-dev zlib1g-dev libdeflate-dev libisal-dev x11-common pngcheck python3
          groff-base man-db "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
    missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
