#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Proves the README on a fresh Debian 12 machine: makes a minimal bookworm
# root (with its updates and security suites) by mmdebstrap, clones the
# commit under test into it and runs the README's two set-up commands there,
# builds the Debian packages there and checks them with lintian, then
# installs them into a second fresh root, uses both programs, the manual and
# a C program built through pkg-config, and removes them. Runs as root; the
# roots live under $FRESH_DIR (default /tmp), and go, with their mounts,
# however the script ends.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh mmdebstrap lintian git
commit=$(git rev-parse HEAD)
work=$(mktemp -d "${FRESH_DIR:-/tmp}/fresh-check.XXXXXX")
mounted=()

cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -l "${mounted[i]}" 2>/dev/null || true
  done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

step() { echo "fresh-check: [$((SECONDS / 60))m$((SECONDS % 60))s] $*" >&2; }

# A minimal root with the mounts a build, its tests and apt need.
make_root() {
  local root=$work/$1
  step "making a minimal bookworm root in $root"
  mmdebstrap --quiet --variant=minbase bookworm "$root" \
    "deb http://deb.debian.org/debian bookworm main" \
    "deb http://deb.debian.org/debian bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  for fs in proc sys dev dev/pts; do
    mkdir -p "$root/$fs"
    case $fs in
      proc) mount -t proc proc "$root/proc" ;;
      *) mount --rbind "/$fs" "$root/$fs" && mount --make-rslave "$root/$fs" ;;
    esac
    mounted+=("$root/$fs")
  done
}

in_root() {
  local root=$work/$1
  shift
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive /bin/bash -euo pipefail -c "$*"
}

make_root build
git clone --quiet --no-hardlinks . "$work/build/root/tarvex"
git -C "$work/build/root/tarvex" checkout --quiet "$commit"
step "the README's commands at $commit"
in_root build 'cd /root/tarvex && bash scripts/sample.sh && bash scripts/test.sh'
tests=$(grep -Eo 'tests passed, 0 tests failed out of [0-9]+' \
          "$work/build/root/tarvex/build/Testing/test.log")
step "$tests"
# The same tests as on this machine, when it ran them at this commit (CI).
if [[ -f build/Testing/test.log && -z $(git status --porcelain --untracked-files=no) ]]; then
  here=$(grep -Eo 'tests passed, 0 tests failed out of [0-9]+' build/Testing/test.log)
  [[ $here == "$tests" ]] || { step "here: $here; on the fresh root: $tests" ; exit 1; }
fi

step "building and checking the packages"
in_root build 'cd /root/tarvex && bash scripts/package.sh'
mkdir "$work/debs"
cp "$work"/build/root/tarvex/build-deb/*.deb "$work/debs/"
lintian --fail-on error,warning "$work"/debs/*.deb

make_root install
cp "$work"/debs/*.deb "$work/install/root/"
cp examples/pnmcopy.c samples/sample.png "$work/install/root/"
step "installing, using and removing the packages"
in_root install '
  cd /root
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends ./*.deb gcc libc6-dev pkg-config man-db >/dev/null
  corvane sample.png > sample.ppm
  belvane sample.ppm > again.png
  corvane again.png | cmp - sample.ppm
  # Colour names need the dictionary the library recommends.
  recommends=$(dpkg-query -W -f "\${Recommends}" libtarvex10)
  [ "$recommends" = x11-common ]
  apt-get install -y -qq --no-install-recommends "$recommends" >/dev/null
  corvane -mix -background "dark slate gray" sample.png > mixed.ppm
  man -w 3 libtarvex ppm_readppmrow >/dev/null
  man -w corvane belvane >/dev/null
  gcc -o pnmcopy pnmcopy.c $(pkg-config --cflags --libs tarvex)
  ./pnmcopy < sample.ppm | cmp - sample.ppm
  apt-get remove -y -qq --purge tarvex libtarvex-dev libtarvex10 >/dev/null
  for path in /usr/bin/corvane /usr/include/tarvex /usr/lib/x86_64-linux-gnu/libtarvex.so.10; do
    if [ -e "$path" ]; then echo "$path is left after removal" >&2; exit 1; fi
  done'
step "passed: $tests; three packages installed, used and removed"
