#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times corvane against the floor program on large generated PNG inputs (each
# written to /dev/null) and puts the medians, with a description of the
# machine, into bench/README.md.
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

# Median wall times of the floor and of corvane ("-" without corvane) on one
# input. The two alternate, so that a load that comes and goes on a shared
# machine weighs on both alike; one untimed run of each warms the page cache.
time_pair() {
  local f=() c=() i
  "$floor" "$@" >/dev/null
  [[ -z $corvane ]] || "$corvane" "$@" >/dev/null
  for ((i = 0; i < runs; i++)); do
    f+=("$(run_ms "$floor" "$@")")
    [[ -z $corvane ]] || c+=("$(run_ms "$corvane" "$@")")
  done
  echo "$(printf '%s\n' "${f[@]}" | median)" \
       "$( ((${#c[@]})) && printf '%s\n' "${c[@]}" | median || echo -)"
}

seconds() { awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }

table=$(mktemp)
trap 'rm -f "$table"' EXIT
{
  echo "| input | PNG size | floor (s) | corvane (s) | ratio | aim | same bytes |"
  echo "|---|---:|---:|---:|---:|---:|---|"
} >"$table"

for n in "${names[@]}"; do
  png=$inputs/$n.png
  opts=()
  aim=0.80
  if [[ $n == plain ]]; then
    opts=(-plain)
    aim=1.10
  fi
  size=$(du -h "$png" | cut -f1)
  read -r f_ms c_ms < <(time_pair "${opts[@]}" "$png")
  c_cell="—" ratio="—" same="—"
  if [[ -n $corvane ]]; then
    c_cell=$(seconds "$c_ms")
    ratio=$(awk -v c="$c_ms" -v f="$f_ms" 'BEGIN { printf "%.2f", c / f }')
    if cmp -s <("$corvane" "${opts[@]}" "$png") <("$floor" "${opts[@]}" "$png"); then
      same=yes
    else
      same=NO
    fi
  fi
  label=$n
  [[ $n == plain ]] && label="plain (-plain, 1000x1000)"
  echo "| $label | $size | $(seconds "$f_ms") | $c_cell | $ratio | $aim | $same |" |
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
