#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times corvane against the floor program, held and streaming, on large
# generated PNG inputs (each written to /dev/null) and puts the medians, with
# corvane's peak memory and a description of the machine, into bench/README.md.
#   bash bench/run.sh [NAME...]     names: rgb8 rgba8 rgb16 gray8 palette gray1
#                                   adam7 plain (default: all)
# RUNS (default 5) is the number of timed runs per program and input. The build
# (Release) and the inputs live in build-bench/, which is not committed.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD_DIR:-build-bench}
runs=${RUNS:-5}
inputs=$build/inputs
names=("$@")
((${#names[@]})) || names=(rgb8 rgba8 rgb16 gray8 palette gray1 adam7 plain)

bash scripts/deps.sh >&2
targets=(make_inputs floor)
[[ -f converter/CMakeLists.txt ]] && targets+=(corvane)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARVEX_BUILD_TESTS=OFF \
      -DTARVEX_WERROR=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >&2
floor=$build/bench/floor
corvane=${CORVANE:-$build/converter/corvane}
[[ -x $corvane ]] || corvane=

mkdir -p "$inputs"
for n in "${names[@]}"; do
  if [[ ! -s $inputs/$n.png ]]; then
    echo "making $inputs/$n.png" >&2
    "$build/bench/make_inputs" "$inputs" "$n"
  fi
done

# Wall time of one run in milliseconds, output thrown away.
run_ms() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

median() { sort -n | sed -n "$(((runs + 1) / 2))p"; }

# Median wall times of the held floor, the streaming floor ("-" for an
# interlaced input) and corvane ("-" without corvane) on one input. The three
# alternate, so that a load that comes and goes on a shared machine weighs on
# them alike; one untimed run of each warms the page cache.
time_three() {
  local progs=("$floor" "$floor -stream" "$corvane") times=("" "" "") i p
  [[ $interlaced == no ]] || progs[1]=
  for p in "${progs[@]}"; do [[ -z $p ]] || $p "$@" >/dev/null; done
  for ((i = 0; i < runs; i++)); do
    for p in 0 1 2; do
      [[ -z ${progs[p]} ]] || times[p]+="$(run_ms ${progs[p]} "$@") "
    done
  done
  for p in 0 1 2; do
    if [[ -n ${times[p]} ]]; then printf '%s\n' ${times[p]} | median; else echo -; fi
  done | paste -sd' '
}

seconds() { awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }

table=$(mktemp)
trap 'rm -f "$table"' EXIT
{
  echo "| input | PNG size | held floor (s) | streaming floor (s) | corvane (s) | ratio | aim | corvane peak RSS | same bytes |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
} >"$table"

for n in "${names[@]}"; do
  png=$inputs/$n.png
  opts=()
  interlaced=no
  [[ $n == adam7 ]] && interlaced=yes
  [[ $n == plain ]] && opts=(-plain)
  size=$(du -h "$png" | cut -f1)
  read -r f_ms s_ms c_ms < <(time_three "${opts[@]}" "$png")
  # corvane against the streaming floor; an interlaced image, which neither
  # can stream, against the held one.
  base=$s_ms aim=1.05
  [[ $interlaced == yes ]] && base=$f_ms aim=0.80
  c_cell="—" ratio="—" same="—" rss="—" s_cell="—"
  [[ $s_ms == - ]] || s_cell=$(seconds "$s_ms")
  if [[ -n $corvane ]]; then
    c_cell=$(seconds "$c_ms")
    ratio=$(awk -v c="$c_ms" -v f="$base" 'BEGIN { printf "%.2f", c / f }')
    [[ -x /usr/bin/time ]] && rss=$( { /usr/bin/time -f %M "$corvane" "${opts[@]}" "$png" >/dev/null; } 2>&1 | tail -1)
    [[ $rss == — ]] || rss=$(awk -v k="$rss" 'BEGIN { printf "%.1f MiB", k / 1024 }')
    if cmp -s <("$corvane" "${opts[@]}" "$png") <("$floor" "${opts[@]}" "$png"); then
      same=yes
    else
      same=NO
    fi
  fi
  label=$n
  [[ $n == plain ]] && label="plain (-plain, 1000x1000)"
  echo "| $label | $size | $(seconds "$f_ms") | $s_cell | $c_cell | $ratio | $aim | $rss | $same |" |
    tee -a "$table" >&2
done

machine="$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- |
  sed 's/^ *//'), Linux $(uname -r), $(c++ --version | head -1),"
machine+=" libpng $(pkg-config --modversion libpng); median of $runs runs,"
machine+=" $(date -u '+%Y-%m-%d %H:%M UTC')."

results=$(mktemp)
trap 'rm -f "$table" "$results"' EXIT
{
  echo "<!-- results -->"
  echo "Machine: $machine"
  echo
  cat "$table"
  echo "<!-- /results -->"
} >"$results"
awk -v file="$results" '
  /^<!-- results -->$/ { while ((getline line < file) > 0) print line; skip = 1; next }
  /^<!-- \/results -->$/ { skip = 0; next }
  !skip { print }' bench/README.md >"$results.md"
mv "$results.md" bench/README.md
cat "$table"
echo "written to bench/README.md" >&2
