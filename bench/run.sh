#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times corvane against the floor program, held and streaming, and libvips
# (one thread and its own), each writing to /dev/null, and puts the medians,
# peak memory and a description of the machine into bench/README.md.
#   bash bench/run.sh [NAME...]     names: rgb8 rgba8 rgb16 gray8 palette gray1
#                                   adam7 plain (default: all)
#   MARK=giga bash bench/run.sh FILE.png...   real PNGs, into the giga table
# RUNS (default 5) is the number of timed runs per program and input. The build
# (Release) and the generated inputs live in build-bench/, which is not
# committed. HELD=0 leaves the held floor out (it holds the whole image).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD_DIR:-build-bench}
runs=${RUNS:-5}
mark=${MARK:-results}
inputs=$build/inputs
names=("$@")
((${#names[@]})) || names=(rgb8 rgba8 rgb16 gray8 palette gray1 adam7 plain)

bash scripts/deps.sh >&2
targets=(make_inputs floor corvane)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARVEX_BUILD_TESTS=OFF \
      -DTARVEX_WERROR=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >&2
floor=$build/bench/floor
corvane=${CORVANE:-$build/converter/corvane}
vips=/usr/bin/vips
[[ -x $vips ]] || vips=

pngs=()
mkdir -p "$inputs"
for n in "${names[@]}"; do
  if [[ $n == *.png ]]; then
    pngs+=("$n")
    continue
  fi
  if [[ ! -s $inputs/$n.png ]]; then
    echo "making $inputs/$n.png" >&2
    "$build/bench/make_inputs" "$inputs" "$n"
  fi
  pngs+=("$inputs/$n.png")
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
seconds() { [[ $1 == - ]] && echo "—" || awk -v ms="$1" 'BEGIN { printf "%.3f", ms / 1000 }'; }
ratio() { [[ $1 == - || $2 == - ]] && echo "—" || awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
peak() { { /usr/bin/time -f %M "$@" >/dev/null; } 2>&1 | tail -1 | awk '{ printf "%.1f", $1 / 1024 }'; }

# The programs of one input, as command lines ("" where one does not apply).
programs() {
  local png=$1 opts=$2 interlaced=$3
  local held="$floor $opts" stream="$floor -stream $opts" v1="" vt=""
  [[ ${HELD:-1} == 0 ]] && held=""
  [[ $interlaced == yes ]] && stream=""
  if [[ -n $vips && -z $opts ]]; then
    v1="env VIPS_CONCURRENCY=1 $vips copy" vt="$vips copy"
  fi
  printf '%s\n' "$held" "$stream" "$corvane $opts" "$v1" "$vt"
}

# Median wall times of the five programs on one input, "-" for one left out.
# They alternate, so that a load that comes and goes on a shared machine
# weighs on them alike; one untimed run of each warms the page cache.
time_all() {
  local png=$1 i p times=("" "" "" "" "") progs=()
  mapfile -t progs < <(programs "$png" "$2" "$3")
  local out=.ppm
  for p in 0 1 2 3 4; do
    [[ -z ${progs[p]} ]] && continue
    if ((p >= 3)); then ${progs[p]} "$png" $out >/dev/null; else ${progs[p]} "$png" >/dev/null; fi
  done
  for ((i = 0; i < runs; i++)); do
    for p in 0 1 2 3 4; do
      [[ -z ${progs[p]} ]] && continue
      if ((p >= 3)); then times[p]+="$(run_ms ${progs[p]} "$png" $out) "
      else times[p]+="$(run_ms ${progs[p]} "$png") "; fi
    done
  done
  for p in 0 1 2 3 4; do
    if [[ -n ${times[p]} ]]; then printf '%s\n' ${times[p]} | median; else echo -; fi
  done | paste -sd' '
}

table=$(mktemp)
results=$(mktemp)
trap 'rm -f "$table" "$results" "$results.md"' EXIT
{
  echo "| input | PNG size | held floor (s) | streaming floor (s) | corvane (s) | libvips, 1 thread (s) | libvips (s) | corvane ÷ streaming floor | corvane ÷ faster libvips | corvane peak RSS (MiB) | libvips peak RSS (MiB) | same bytes as the floor |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"
} >"$table"

for png in "${pngs[@]}"; do
  n=$(basename "$png" .png)
  opts="" interlaced=no
  [[ $n == plain ]] && opts=-plain
  [[ $("$corvane" -verbose "$png" 2>&1 >/dev/null | head -1) == *Adam7* ]] && interlaced=yes
  read -r h_ms s_ms c_ms v1_ms vt_ms < <(time_all "$png" "$opts" "$interlaced")
  vbest=-
  [[ $v1_ms == - ]] || vbest=$((v1_ms < vt_ms ? v1_ms : vt_ms))
  base=$s_ms
  [[ $interlaced == yes ]] && base=$h_ms
  c_rss=$(peak "$corvane" $opts "$png")
  v_rss="—"
  [[ $vbest == - ]] || v_rss=$(peak "$vips" copy "$png" .ppm)
  same=yes
  cmp -s <("$corvane" $opts "$png") <("$floor" $opts "$png") || same=NO
  label=$n
  [[ $interlaced == yes ]] && label="$n (Adam7: ÷ held floor)"
  [[ $n == plain ]] && label="plain (-plain, 1000x1000)"
  echo "| $label | $(du -hL "$png" | cut -f1) | $(seconds "$h_ms") | $(seconds "$s_ms") | $(seconds "$c_ms") | $(seconds "$v1_ms") | $(seconds "$vt_ms") | $(ratio "$c_ms" "$base") | $(ratio "$c_ms" "$vbest") | $c_rss | $v_rss | $same |" |
    tee -a "$table" >&2
done

machine="$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- |
  sed 's/^ *//'), Linux $(uname -r), $(c++ --version | head -1),"
machine+=" libpng $(pkg-config --modversion libpng); median of $runs runs,"
machine+=" $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg) at the end."
{
  echo "<!-- $mark -->"
  echo "Machine: $machine"
  echo
  cat "$table"
  echo "<!-- /$mark -->"
} >"$results"
awk -v file="$results" -v mark="$mark" '
  $0 == "<!-- " mark " -->" { while ((getline line < file) > 0) print line; skip = 1; next }
  $0 == "<!-- /" mark " -->" { skip = 0; next }
  !skip { print }' bench/README.md >"$results.md"
cp "$results.md" bench/README.md
cat "$table"
echo "written to bench/README.md" >&2
