#!/usr/bin/env bash
# Converts large portable maps to PNG with belvane and with the other tools
# people use for it, and compares wall and CPU time, PNG size and peak memory;
# every PNG is read back with corvane and checked against the input. Writes
# its tables into bench/README.md between the "encode" markers.
#
# Usage: bash bench/encode_compare.sh [--belvane PATH] [NAME...]
#   names: rgb8 rgb16 gray8 palette gray1 rgba8 (default: all; a run of some
#   inputs only leaves the README alone and writes WORK_DIR/table.md)
# Environment: BELVANE (the program, as --belvane; default: built from this
# tree when it has encoder/, else the peers are measured alone), BELVANE_ARGS
# (extra arguments for every belvane run), BELVANE_LEVELS (e.g. "1 6 9":
# belvane also at these -compression levels), RUNS (rounds, default 5),
# BUILD_DIR (Release tree and inputs, default build-bench), WORK_DIR (outputs,
# default out/encode), README (default bench/README.md).
set -euo pipefail

# The peers' installation, header reading, medians and the machine's
# description are the decoding comparison's.
source "$(dirname "${BASH_SOURCE[0]}")/compare.sh"

ENC_INPUTS=(rgb8 rgb16 gray8 palette gray1 rgba8)
ENC_PEERS=(imagemagick graphicsmagick vips pillow ffmpeg)
MARK_START="<!-- encode -->"
MARK_END="<!-- /encode -->"

# Builds corvane, the input maker and same_pixels (and belvane when it is
# taken from this tree) in Release.
build_tools() {
  local targets=(corvane make_inputs same_pixels)
  [[ -z ${BELVANE:-} && -f encoder/CMakeLists.txt ]] && targets+=(belvane)
  bash scripts/deps.sh >&2
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
        -DTARVEX_BUILD_TESTS=OFF -DTARVEX_WERROR=OFF >/dev/null
  cmake --build "$BUILD_DIR" -j 2 --target "${targets[@]}" >&2
  CORVANE=$BUILD_DIR/converter/corvane
  SAME_PIXELS=$BUILD_DIR/bench/same_pixels
  if [[ -z ${BELVANE:-} && -x $BUILD_DIR/encoder/belvane ]]; then
    BELVANE=$BUILD_DIR/encoder/belvane
  fi
}

# The portable map corvane makes of a bench PNG, with the suffix of its type
# (the peers that go by the name need it). Prints its path.
pnm_input() {
  local name=$1 png=$INPUTS/$1.png tmp=$INPUTS/$1.tmp ext
  [[ -s $png ]] || "$BUILD_DIR/bench/make_inputs" "$INPUTS" "$name" >&2
  for ext in ppm pgm pbm; do
    [[ -s $INPUTS/$name.$ext ]] && { echo "$INPUTS/$name.$ext"; return; }
  done
  "$CORVANE" "$png" >"$tmp"
  case $(head -c 2 "$tmp") in P4) ext=pbm ;; P5) ext=pgm ;; *) ext=ppm ;; esac
  mv "$tmp" "$INPUTS/$name.$ext"
  echo "$INPUTS/$name.$ext"
}

# The alpha mask of a bench PNG, as corvane -alpha writes it.
mask_input() {
  local mask=$INPUTS/$1.mask.pgm
  if [[ ! -s $mask ]]; then
    "$CORVANE" -alpha "$INPUTS/$1.png" >"$mask.tmp"
    mv "$mask.tmp" "$mask"
  fi
  echo "$mask"
}

# The command line of TOOL writing IN (with the alpha channel MASK, when
# given) as PNG on standard output, its words quoted for the shell;
# belvane@N is belvane at -compression N.
encode_command() {
  local tool=$1 qin qmask
  qin=$(printf %q "$2") qmask=$(printf %q "${3:-}")
  case $tool${3:++alpha} in
    belvane*)
      local level=${tool#belvane} args=${BELVANE_ARGS:-}
      [[ -n $level ]] && args+=" -compression ${level#@}"
      [[ -n ${3:-} ]] && args+=" -alpha $qmask"
      echo "$(printf %q "$BELVANE")${args:+ ${args# }} $qin" ;;
    imagemagick) echo "/usr/bin/convert $qin png:-" ;;
    imagemagick+alpha)
      echo "/usr/bin/convert $qin $qmask -alpha off -compose CopyOpacity -composite png:-" ;;
    graphicsmagick) echo "/usr/bin/gm convert $qin png:-" ;;
    graphicsmagick+alpha)
      echo "/usr/bin/gm composite -compose CopyOpacity $qmask $qin png:-" ;;
    vips) echo "/usr/bin/vips copy $qin .png" ;;
    vips+alpha) echo "/usr/bin/vips bandjoin $(printf %q "$2 $3") .png" ;;
    pillow | pillow+alpha)
      echo "/usr/bin/python3 $(printf %q "$PILLOW") $qin${3:+ $qmask}" ;;
    ffmpeg) echo "/usr/bin/ffmpeg -v error -nostdin -i $qin -f image2pipe -vcodec png -" ;;
    ffmpeg+alpha)
      echo "/usr/bin/ffmpeg -v error -nostdin -i $qin -i $qmask" \
           "-filter_complex alphamerge -f image2pipe -vcodec png -" ;;
    *) return 1 ;;
  esac
}

# Pillow's conversion, as a user of it would write it: the mask, when given,
# becomes the alpha channel.
write_pillow_encoder() {
  cat >"$PILLOW" <<'PY'
import sys
from PIL import Image

image = Image.open(sys.argv[1])
if len(sys.argv) > 2:
    image.putalpha(Image.open(sys.argv[2]))
image.save(sys.stdout.buffer, "PNG")
PY
}

# How DECODED (corvane's reading of a PNG) stands to REF, the input:
# "yes" for the same bytes, "same pixels, as ..." for the same samples in
# another type or maxval, or "no: ..." with what was lost.
pixel_verdict() {
  local ref=$1 dec=$2 rm rx dm dx _ diff
  cmp -s "$ref" "$dec" && { echo yes; return; }
  read -r rm _ _ rx _ < <(pnm_header "$ref")
  read -r dm _ _ dx _ < <(pnm_header "$dec")
  if diff=$("$SAME_PIXELS" "$ref" "$dec" 2>&1); then
    echo "same pixels, as $dm maxval $dx"
  elif [[ $dm != "$rm" || $dx != "$rx" ]]; then
    echo "no: $dm maxval $dx for $rm maxval $rx; $diff"
  else
    echo "no: $diff"
  fi
}

# The verdict on one PNG: the image, and the mask when there is one.
png_verdict() {
  local png=$1 in=$2 mask=${3:-} dec=$WORK/decoded image alpha
  "$CORVANE" "$png" >"$dec" 2>"$dec.err" ||
    { echo "no: corvane: $(head -1 "$dec.err")"; return; }
  image=$(pixel_verdict "$in" "$dec")
  if [[ -n $mask ]]; then
    "$CORVANE" -alpha "$png" >"$dec" 2>"$dec.err" ||
      { echo "no: corvane -alpha: $(head -1 "$dec.err")"; return; }
    alpha=$(pixel_verdict "$mask" "$dec")
    [[ $image == yes && $alpha == yes ]] || image="image: $image; alpha: $alpha"
  fi
  rm -f "$dec" "$dec.err"
  echo "$image"
}

# 1 when a verdict says every sample came back, else 0.
lossless() {
  [[ $1 == *no:* ]] && echo 0 || echo 1
}

# The tools of this run: belvane (when there is one) at its default and at
# each of BELVANE_LEVELS, then the peers.
tool_list() {
  local level
  if [[ -n ${BELVANE:-} ]]; then
    echo belvane
    for level in ${BELVANE_LEVELS:-}; do echo "belvane@$level"; done
  fi
  printf '%s\n' "${ENC_PEERS[@]}"
}

tool_label() {
  case $1 in
    belvane) echo "belvane${BELVANE_ARGS:+ $BELVANE_ARGS}" ;;
    belvane@*) echo "belvane${BELVANE_ARGS:+ $BELVANE_ARGS} -compression ${1#belvane@}" ;;
    *) echo "${LABEL[$1]:-$1}" ;;
  esac
}

# Converts one input with every tool: one run under GNU time writes the PNG
# (its size, peak RSS and verdict), then the tools run in turn, one run each
# per round, so that a change in the machine's load weighs on all alike.
# Appends "input tool label wall cpu bytes rss-KiB lossless verdict" lines
# to results.tsv.
measure_encoding() {
  local name=$1 in=$2 mask=${3:-} tool cmd png status verdict
  local cmds=() kept=() words
  declare -A size rss verdicts
  for tool in $(tool_list); do
    cmd=$(encode_command "$tool" "$in" "$mask")
    # The words as hyperfine will split them, run without a shell between.
    eval "words=($cmd)"
    png=$WORK/$name.$tool.png
    status=0
    /usr/bin/time -f %M -o "$WORK/time" "${words[@]}" \
      >"$png" 2>"$WORK/$name.$tool.err" || status=$?
    if ((status)); then
      echo "$name: $tool failed with status $status (see $WORK/$name.$tool.err)" >&2
      printf '%s\t%s\t%s\t-\t-\t-\t-\t0\tfailed (status %s): %s\n' "$name" \
        "$tool" "$(tool_label "$tool")" "$status" \
        "$(head -c 200 "$WORK/$name.$tool.err" | tr '\t\n' '  ')" \
        >>"$WORK/results.tsv"
      continue
    fi
    size[$tool]=$(stat -c %s "$png")
    rss[$tool]=$(tail -1 "$WORK/time")
    verdicts[$tool]=$(png_verdict "$png" "$in" "$mask")
    rm -f "$png" "$WORK/$name.$tool.err"
    cmds+=("$cmd") kept+=("$tool")
  done
  time_in_turn "$name" "${cmds[@]}"
  local i wall cpu
  for i in "${!kept[@]}"; do
    tool=${kept[i]}
    wall=$(run_median "$name" "$i" 2)
    cpu=$(run_median "$name" "$i" 3)
    printf '%s\t%s\t%s\t%.3f\t%.2f\t%s\t%s\t%s\t%s\n' "$name" "$tool" \
      "$(tool_label "$tool")" "$wall" "$cpu" "${size[$tool]}" "${rss[$tool]}" \
      "$(lossless "${verdicts[$tool]}")" "${verdicts[$tool]}" >>"$WORK/results.tsv"
  done
}

# "name<TAB>description" of one input.
describe_pnm() {
  local name=$1 in=$2 mask=${3:-} magic w h maxval
  read -r magic w h maxval _ < <(pnm_header "$in")
  printf '%s\t%sx%s %s%s, %s MB%s\n' "$name" "$w" "$h" "$magic" \
    "$([[ $magic == P4 ]] || echo ", maxval $maxval")" \
    "$(awk -v b="$(stat -c %s "$in")" 'BEGIN { printf "%.0f", b / 1e6 }')" \
    "${mask:+, with a P5 mask}"
}

# The table of every tool on every input.
render_results() {
  awk -F'\t' '
    FNR == NR { label[$1] = $2; next }
    BEGIN {
      print "| input | tool | wall (s) | CPU (s) | PNG (MB) | peak RSS (MB) | exact |"
      print "|---|---|---:|---:|---:|---:|---|"
    }
    {
      first = $1 != last ? $1 " (" label[$1] ")" : ""
      last = $1
      name = $2 ~ /^belvane/ ? "**" $3 "**" : $3
      printf "| %s | %s | %s | %s | %s | %s | %s |\n", first, name, $4, $5,
        mb($6, "%.2f"), $7 == "-" ? "-" : mb($7 * 1024, "%.1f"), $9
    }
    function mb(b, fmt) { return b == "-" ? "-" : sprintf(fmt, b / 1e6) }
  ' "$WORK/inputs.tsv" "$WORK/results.tsv"
}

# Each input against the aims (belvane at its default against the peers that
# gave every sample back), then one line per aim.
render_aims() {
  awk -F'\t' '
    FNR == NR { order[++n] = $1; next }
    $2 == "belvane" && $4 != "-" {
      bs[$1] = $6; bw[$1] = $4; br[$1] = $7; bx[$1] = $9; next }
    $2 ~ /^belvane/ || $8 != 1 { next }
    !($1 in ps) || $6 < ps[$1] { ps[$1] = $6; psw[$1] = $3 }
    !($1 in pw) || $4 < pw[$1] { pw[$1] = $4; pww[$1] = $3 }
    !($1 in pr) || $7 < pr[$1] { pr[$1] = $7; prw[$1] = $3 }
    END {
      print "| input | belvane PNG (MB) | smallest peer (MB) | ratio | belvane wall (s) | fastest peer (s) | ratio | belvane peak RSS (MB) | lowest peer (MB) | belvane exact |"
      print "|---|---:|---|---:|---:|---|---:|---:|---|---|"
      for (i = 1; i <= n; i++) {
        k = order[i]; have = k in bs
        printf "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", k,
          have ? sprintf("%.2f", bs[k] / 1e6) : "-", best(ps, psw, k, 1e6, "%.2f"),
          ratio(bs, ps, k, "%.4f"), have ? bw[k] : "-",
          best(pw, pww, k, 1, "%.3f"), ratio(bw, pw, k, "%.2f"),
          have ? sprintf("%.1f", br[k] * 1024 / 1e6) : "-",
          best(pr, prw, k, 1e6 / 1024, "%.1f"), !have ? "-" : bx[k] == "yes" ? "yes" : "no"
        if (!have) { missing = missing " " k; continue }
        measured++
        if (!(k in ps) || bs[k] > ps[k]) size_miss = size_miss " " k
        if (!(k in pw) || bw[k] > pw[k]) time_miss = time_miss " " k
        if (!(k in pr) || br[k] >= pr[k]) mem_miss = mem_miss " " k
        if (bx[k] != "yes") exact_miss = exact_miss " " k
      }
      print ""
      if (missing != "") printf "- belvane was not measured on:%s.\n", missing
      if (measured == 0) exit
      verdict("Exact (corvane gives the input back byte for byte)", exact_miss)
      verdict("PNG no larger than the smallest lossless peer", size_miss)
      verdict("Wall time no more than the fastest lossless peer", time_miss)
      verdict("Peak RSS below every lossless peer", mem_miss)
    }
    function best(v, who, k, unit, fmt) {
      return k in v ? sprintf(fmt " (%s)", v[k] / unit, who[k]) : "none lossless"
    }
    function ratio(b, p, k, fmt) {
      return (k in b) && p[k] > 0 ? sprintf(fmt, b[k] / p[k]) : "-"
    }
    function verdict(aim, miss) {
      printf "- %s: %s.\n", aim, miss == "" ? "met on every input" : "missed on" miss
    }' "$WORK/inputs.tsv" "$WORK/results.tsv"
}

# What ran, where, and how busy the machine was.
describe_run() {
  describe_machine
  if [[ -n ${BELVANE:-} ]]; then
    echo "belvane: \`$BELVANE\`${BELVANE_ARGS:+ with \`$BELVANE_ARGS\`}," \
         "built $(date -u -r "$BELVANE" '+%Y-%m-%d %H:%M UTC')."
  else
    echo "belvane: not measured (no program given or built)."
  fi
  echo "Measured $STARTED, median of $RUNS rounds; load average $LOAD_START" \
       "at the start and $LOAD_END at the end."
  busy_note
}

# The text that goes between the markers.
render_block() {
  echo "$MARK_START"
  describe_run
  echo
  render_results
  echo
  render_aims
  echo "$MARK_END"
}

# Replaces what stands between the markers in README with BLOCK (a file
# that holds the markers too); fails when README has no markers.
write_block() {
  local readme=$1 block=$2 tmp
  grep -qxF "$MARK_START" "$readme" && grep -qxF "$MARK_END" "$readme" || {
    echo "encode_compare.sh: $readme has no $MARK_START ... $MARK_END" >&2
    return 1
  }
  tmp=$(mktemp)
  awk -v start="$MARK_START" -v end="$MARK_END" -v block="$block" '
    $0 == start { while ((getline line < block) > 0) print line; skip = 1; next }
    $0 == end { skip = 0; next }
    !skip { print }' "$readme" >"$tmp"
  mv "$tmp" "$readme"
}

main_encode() {
  if [[ ${1:-} == --belvane ]]; then
    BELVANE=$2
    shift 2
  fi
  [[ -z ${BELVANE:-} ]] || BELVANE=$(realpath "$BELVANE")
  cd "$(dirname "$0")/.."
  RUNS=${RUNS:-5}
  BUILD_DIR=${BUILD_DIR:-build-bench}
  INPUTS=$BUILD_DIR/inputs
  WORK=${WORK_DIR:-out/encode}
  PILLOW=$WORK/pillow_encode.py
  README=${README:-bench/README.md}
  install_peers
  build_tools
  [[ -n ${BELVANE:-} ]] || echo "no belvane: measuring the peers alone" >&2
  mkdir -p "$WORK" "$INPUTS"
  write_pillow_encoder
  local names=("$@") name in mask
  ((${#names[@]})) || names=("${ENC_INPUTS[@]}")
  : >"$WORK/results.tsv"
  : >"$WORK/inputs.tsv"
  for name in "${names[@]}"; do
    echo "making the input $name" >&2
    in=$(pnm_input "$name") mask=
    [[ $name == rgba8 ]] && mask=$(mask_input "$name")
    describe_pnm "$name" "$in" "$mask" >>"$WORK/inputs.tsv"
  done
  LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
  STARTED=$(date -u '+%Y-%m-%d %H:%M UTC')
  for name in "${names[@]}"; do
    echo "measuring $name" >&2
    in=$(pnm_input "$name") mask=
    [[ $name == rgba8 ]] && mask=$(mask_input "$name")
    measure_encoding "$name" "$in" "$mask"
  done
  LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)
  render_block >"$WORK/table.md"
  cat "$WORK/table.md"
  if (($#)); then
    echo "wrote the table of ${names[*]} into $WORK/table.md" >&2
  else
    write_block "$README" "$WORK/table.md"
    echo "wrote the table into $README" >&2
  fi
}

# Sourcing the script (as its test does) defines the functions only.
if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  main_encode "$@"
fi
