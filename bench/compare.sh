#!/usr/bin/env bash
# Times corvane against the libpng floor programs and the other tools people
# use to turn a PNG into a portable map, and writes the table into
# bench/README.md under "## Against other tools" (that section only).
#
# Usage: bash bench/compare.sh [NAME...]   names: rgb8 rgba8 rgb16 gray8
#        palette gray1 adam7 plain (default: all; a run of some inputs only
#        leaves the README alone and writes its table to WORK_DIR/section.md)
# Environment: RUNS (timed runs per tool, default 5), BUILD_DIR (Release tree
# and inputs, default build-bench), WORK_DIR (outputs, default out/compare),
# README (default bench/README.md).
set -euo pipefail

# Packages of the peers and of the measuring tools.
PEER_PACKAGES=(imagemagick graphicsmagick libvips-tools ffmpeg python3-pil
               hyperfine time)
# First 16 hex digits of the sha256 of a package that must never come in
# (it would bring a program that does what corvane does).
BANNED_HASH=8fc5851bd44569a5
SECTION="## Against other tools"

# Fails when any package name read from standard input is the banned one.
refuse_banned() {
  local name hash
  while read -r name; do
    name=${name%%:*}
    [[ -n $name ]] || continue
    hash=$(printf '%s' "$name" | sha256sum | cut -c1-16)
    if [[ $hash == "$BANNED_HASH" ]]; then
      echo "compare.sh: refusing: a package that must not be installed is" \
           "among ${1:-the packages}" >&2
      return 1
    fi
  done
}

installed_packages() {
  dpkg-query -W -f '${Package} ${db:Status-Status}\n' 2>/dev/null |
    awk '$2 == "installed" { print $1 }'
}

# Installs the missing peers without recommended packages, after checking
# apt's simulated plan, and checks the installed set afterwards.
install_peers() {
  local missing=() p installed
  # Listed once: grep -q quitting early would break the pipe, and pipefail
  # would then count an installed package as missing.
  installed=$(installed_packages)
  for p in "${PEER_PACKAGES[@]}"; do
    grep -qx "$p" <<<"$installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -s --no-install-recommends "${missing[@]}" |
      awk '/^Inst / { print $2 }' | refuse_banned "apt's plan"
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi
  installed_packages | refuse_banned "the installed packages"
}


# Builds corvane and the bench programs in Release; the inputs live beside
# them, shared with bench/run.sh.
build_release() {
  bash scripts/deps.sh >&2
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
        -DTARVEX_BUILD_TESTS=OFF -DTARVEX_WERROR=OFF >/dev/null
  cmake --build "$BUILD_DIR" -j 2 --target corvane make_inputs floor >&2
  CORVANE=$BUILD_DIR/converter/corvane
  FLOOR=$BUILD_DIR/bench/floor
  local name
  mkdir -p "$INPUTS"
  for name in "${RAW_INPUTS[@]}" plain; do
    [[ -s $INPUTS/$name.png ]] && continue
    echo "making $INPUTS/$name.png" >&2
    "$BUILD_DIR/bench/make_inputs" "$INPUTS" "$name"
  done
}

# "width height depth colour-type interlace" from a PNG's IHDR.
png_info() {
  od -An -v -tu1 -j16 -N13 "$1" | awk '{ for (i = 1; i <= NF; i++) b[n++] = $i }
    END { print b[0] * 16777216 + b[1] * 65536 + b[2] * 256 + b[3],
                b[4] * 16777216 + b[5] * 65536 + b[6] * 256 + b[7],
                b[8], b[9], b[12] }'
}

# Bytes of the image as libpng decodes it for the converter: every channel
# kept, sub-byte samples unpacked to one byte each.
decoded_bytes() {
  local w h depth ctype channels
  read -r w h depth ctype _ < <(png_info "$1")
  case $ctype in
    0 | 3) channels=1 ;; 4) channels=2 ;; 2) channels=3 ;; *) channels=4 ;;
  esac
  echo $((w * h * channels * (depth == 16 ? 2 : 1)))
}

# "magic width height maxval header-length" of a portable map, or "bad".
# Comments are allowed wherever the format allows them.
pnm_header() {
  head -c 1024 "$1" | od -An -v -tu1 | awk '
    function ws(c) { return c == 32 || (c >= 9 && c <= 13) }
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    END {
      if (n < 3 || b[0] != 80 || b[1] < 49 || b[1] > 54) { print "bad"; exit }
      want = (b[1] == 49 || b[1] == 52) ? 2 : 3
      p = 2
      for (k = 0; k < want; k++) {
        while (p < n && (ws(b[p]) || b[p] == 35)) {
          if (b[p] == 35) { while (p < n && b[p] != 10 && b[p] != 13) p++ }
          else p++
        }
        if (p >= n || b[p] < 48 || b[p] > 57) { print "bad"; exit }
        v = 0
        while (p < n && b[p] >= 48 && b[p] <= 57) { v = v * 10 + b[p] - 48; p++ }
        t[k] = v
      }
      if (p >= n || !ws(b[p])) { print "bad"; exit }
      if (want == 2) t[2] = 1
      print "P" (b[1] - 48), t[0], t[1], t[2], p + 1
    }'
}

# Checks that a portable map holds exactly the raster its header declares
# (raw: the byte count; plain: the sample count). Prints "magic WxH maxval".
check_pnm() {
  local magic w h maxval hdr bps have want
  read -r magic w h maxval hdr < <(pnm_header "$1")
  [[ $magic != bad && $w -gt 0 && $h -gt 0 && $maxval -gt 0 ]] || {
    echo "not a portable map"; return 1; }
  bps=$((maxval > 255 ? 2 : 1))
  case $magic in
    P4) want=$(((w + 7) / 8 * h)) ;;
    P5) want=$((w * h * bps)) ;;
    P6) want=$((w * h * 3 * bps)) ;;
    P1 | P2) want=$((w * h)) ;;
    P3) want=$((w * h * 3)) ;;
  esac
  case $magic in
    P4 | P5 | P6) have=$(($(stat -c %s "$1") - hdr)) ;;
    P1) have=$(tail -c +$((hdr + 1)) "$1" | tr -cd 01 | wc -c) ;;
    *) have=$(tail -c +$((hdr + 1)) "$1" | wc -w) ;;
  esac
  echo "$magic, maxval $maxval"
  [[ $have -eq $want ]] || { echo "raster holds $have, header declares $want" \
                                  "(${magic} counts bytes or samples)" >&2
                             return 1; }
}

# Whether two portable maps of the same header carry the same samples
# (plain ones compared number by number, so line breaks do not matter).
same_samples() {
  local ha hb
  ha=$(pnm_header "$1") hb=$(pnm_header "$2")
  [[ ${ha% *} == "${hb% *}" ]] || return 1
  case ${ha:0:2} in
    P1 | P2 | P3)
      cmp -s <(tail -c +$((${ha##* } + 1)) "$1" | tr -s '[:space:]' '\n') \
             <(tail -c +$((${hb##* } + 1)) "$2" | tr -s '[:space:]' '\n') ;;
    *) cmp -s <(tail -c +$((${ha##* } + 1)) "$1") \
              <(tail -c +$((${hb##* } + 1)) "$2") ;;
  esac
}

RAW_INPUTS=(rgb8 rgba8 rgb16 gray8 palette gray1 adam7)
RAW_TOOLS=(corvane floor imagemagick graphicsmagick vips ffmpeg pillow)
# Pillow and ffmpeg have no plain output.
PLAIN_TOOLS=(corvane floor imagemagick graphicsmagick vips)
declare -A LABEL=([corvane]=corvane [floor]="floor (libpng)"
  [imagemagick]="ImageMagick" [graphicsmagick]="GraphicsMagick"
  [vips]="libvips" [ffmpeg]=ffmpeg [pillow]=Pillow)

# The command line of TOOL converting IN to the raw type MAGIC (P4, P5 or
# P6: corvane's choice) or, when PLAIN is 1, to its plain form. Each peer is
# asked for the type corvane writes when it can be told.
tool_command() {
  local tool=$1 in=$2 magic=$3 plain=$4 ext=ppm codec=ppm
  case $magic in P4) ext=pbm codec=pbm ;; P5) ext=pgm codec=pgm ;; esac
  case $tool:$plain in
    corvane:0) echo "$CORVANE $in" ;;
    corvane:1) echo "$CORVANE -plain $in" ;;
    floor:0) echo "$FLOOR $in" ;;
    floor:1) echo "$FLOOR -plain $in" ;;
    imagemagick:0) echo "/usr/bin/convert -limit thread 1 $in pnm:-" ;;
    imagemagick:1) echo "/usr/bin/convert -limit thread 1 $in -compress none pnm:-" ;;
    graphicsmagick:0) echo "/usr/bin/gm convert -limit threads 1 $in pnm:-" ;;
    graphicsmagick:1) echo "/usr/bin/gm convert -limit threads 1 $in -quality 0 pnm:-" ;;
    vips:0) echo "/usr/bin/vips copy $in .$ext" ;;
    vips:1) echo "/usr/bin/vips copy $in .$ext[ascii]" ;;
    ffmpeg:0) echo "/usr/bin/ffmpeg -v error -nostdin -threads 1 -i $in" \
                   "-threads 1 -filter_threads 1 -f image2pipe -c:v $codec -" ;;
    pillow:0) echo "/usr/bin/python3 $PILLOW $in $magic" ;;
    *) return 1 ;;
  esac
}

# Pillow's conversion, as a user of it would write it.
write_pillow_script() {
  cat >"$PILLOW" <<'PY'
import sys
from PIL import Image

image = Image.open(sys.argv[1])
modes = {"P4": ("1",), "P5": ("L", "I"), "P6": ("RGB",)}[sys.argv[2]]
if image.mode not in modes:
    image = image.convert(modes[0])
image.save(sys.stdout.buffer, "PPM")
PY
}

# What a peer's output is next to corvane's (REF): same samples, or how not.
compare_note() {
  local ref=$1 out=$2 rh oh rm rx om ox
  same_samples "$ref" "$out" && { echo "same samples"; return; }
  rh=$(pnm_header "$ref") oh=$(pnm_header "$out")
  read -r rm _ _ rx _ <<<"$rh"
  read -r om _ _ ox _ <<<"$oh"
  if [[ $rm != "$om" || $rx != "$ox" ]]; then
    echo "writes $om maxval $ox (corvane: $rm maxval $rx)"
  else
    echo "samples differ"
  fi
}

# Converts one input with every tool: checks each output, takes CPU time and
# peak memory of one run with GNU time, then the wall times with hyperfine.
# Appends "input tool label output median-s cpu-s rss-KiB note" lines to
# results.tsv.
measure_input() {
  local name=$1 in=$INPUTS/$1.png plain=0 tools=("${RAW_TOOLS[@]}")
  local magic=P6 tool cmd out desc note status cmds=() kept=()
  [[ $name == plain ]] && plain=1 tools=("${PLAIN_TOOLS[@]}")
  declare -A descs notes rss
  for tool in "${tools[@]}"; do
    cmd=$(tool_command "$tool" "$in" "$magic" "$plain")
    out=$WORK/$name.$tool.pnm
    status=0
    timeout 900 $cmd >"$out" 2>"$WORK/$name.$tool.err" || status=$?
    if ((status)); then
      echo "$name: $tool failed with status $status" \
           "(see $WORK/$name.$tool.err)" >&2
      printf '%s\t%s\t%s\tfailed (status %s)\t-\t-\t-\t%s\n' "$name" "$tool" \
        "${LABEL[$tool]}" "$status" \
        "$(head -c 200 "$WORK/$name.$tool.err" | tr '\t\n' '  ')" \
        >>"$WORK/results.tsv"
      continue
    fi
    desc=$(check_pnm "$out" 2>"$WORK/check") ||
      desc="$desc; BAD SIZE: $(cat "$WORK/check")"
    rm -f "$WORK/$name.$tool.err"
    if [[ $tool == corvane ]]; then
      magic=$(sed 's/^P1/P4/; s/^P2/P5/; s/^P3/P6/' <<<"${desc:0:2}")
      note=""
    else
      note=$(compare_note "$WORK/$name.corvane.pnm" "$out")
      rm -f "$out"
    fi
    /usr/bin/time -f '%M' -o "$WORK/time" $cmd >/dev/null 2>&1
    descs[$tool]=$desc notes[$tool]=$note
    rss[$tool]=$(cat "$WORK/time")
    cmds+=("$cmd") kept+=("$tool")
  done
  rm -f "$WORK/$name.corvane.pnm"
  time_in_turn "$name" "${cmds[@]}"
  local i median cpu
  for i in "${!kept[@]}"; do
    tool=${kept[i]}
    median=$(run_median "$name" "$i" 2)
    cpu=$(run_median "$name" "$i" 3)
    printf '%s\t%s\t%s\t%s\t%.3f\t%.2f\t%s\t%s\n' "$name" "$tool" \
      "${LABEL[$tool]}" "${descs[$tool]}" \
      "$median" "$cpu" "${rss[$tool]}" "${notes[$tool]}" \
      >>"$WORK/results.tsv"
  done
}

# The median of the numbers on standard input, one a line.
median_of() {
  sort -g | awk '{ v[NR] = $1 } END {
    print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs the commands in turn, one run each per round, for RUNS rounds, so
# that a passing load weighs on all of them alike; writes "index wall cpu"
# lines to WORK/NAME.runs (hyperfine's CSV rows come in command order:
# command,mean,stddev,median,user,system,...).
time_in_turn() {
  local name=$1 round
  shift
  : >"$WORK/$name.runs"
  for ((round = 0; round < RUNS; round++)); do
    hyperfine -N --style none --runs 1 --export-csv "$WORK/$name.csv" \
      "$@" >"$WORK/$name.hyperfine" 2>&1
    tail -n +2 "$WORK/$name.csv" |
      awk -F, '{ printf "%d %s %s\n", NR - 1, $2, $5 + $6 }' >>"$WORK/$name.runs"
  done
}

# The median of column COL (2: wall, 3: CPU) of command I's runs of NAME.
run_median() {
  awk -v i="$2" -v c="$3" '$1 == i { print $c }' "$WORK/$1.runs" | median_of
}

# "name<TAB>description<TAB>decoded bytes" of one input.
describe_input() {
  local w h depth ctype interlace kind
  read -r w h depth ctype interlace < <(png_info "$INPUTS/$1.png")
  case $ctype in
    0) kind=gray ;; 2) kind=RGB ;; 3) kind=palette ;; 4) kind=gray+alpha ;;
    *) kind=RGBA ;;
  esac
  printf '%s\t%s\t%s\n' "$1" "${w}x$h $kind $depth-bit$( ((interlace)) &&
    echo ", Adam7"), $(du -m "$INPUTS/$1.png" | cut -f1) MB PNG" \
    "$(decoded_bytes "$INPUTS/$1.png")"
}

# The table of every tool on the raw inputs (WHICH=raw) or on the plain one.
render_table() {
  awk -F'\t' -v which="$1" '
    FNR == NR { label[$1] = $2; next }
    (which == "plain") != ($1 == "plain") { next }
    { row[++n] = $0; if ($2 == "floor") floor[$1] = $5 }
    END {
      print "| input | tool | output | median wall (s) | CPU (s) | peak RSS (MiB) | ÷ floor | compared with corvane |"
      print "|---|---|---|---:|---:|---:|---:|---|"
      for (i = 1; i <= n; i++) {
        split(row[i], f, "\t")
        ratio = (f[5] != "-" && floor[f[1]] > 0) ? sprintf("%.2f", f[5] / floor[f[1]]) : "-"
        rss = f[7] == "-" ? "-" : sprintf("%.0f", f[7] / 1024)
        name = f[2] == "corvane" ? "**corvane**" : f[3]
        first = f[1] != last ? f[1] " (" label[f[1]] ")" : ""
        last = f[1]
        printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", first, name, f[4], f[5], f[6], rss, ratio, f[8]
      }
    }' "$WORK/inputs.tsv" "$WORK/results.tsv"
}

# Each input against the aims, then one line per aim.
render_aims() {
  awk -F'\t' '
    FNR == NR { decoded[$1] = $3; order[++n] = $1; next }
    $5 == "-" { next }
    $2 == "corvane" { c[$1] = $5; ccpu[$1] = $6; rss[$1] = $7 * 1024; next }
    $2 == "floor" { f[$1] = $5; fcpu[$1] = $6; frss[$1] = $7 * 1024; next }
    !($1 in best) || $5 < best[$1] { best[$1] = $5; who[$1] = $3 }
    END {
      print "| input | corvane ÷ floor | aim | CPU time ÷ floor | fastest peer | peer ÷ floor | corvane ÷ fastest peer | peak RSS ÷ decoded image: corvane | floor |"
      print "|---|---:|---:|---:|---|---:|---:|---:|---:|"
      for (i = 1; i <= n; i++) {
        k = order[i]; aim = k == "plain" ? 1.10 : 0.80
        if (!(k in c) || !(k in f) || !(k in best)) {
          printf "| %s | failed: see the table ||||||||\n", k
          speed_miss = speed_miss " " k; continue
        }
        r = c[k] / f[k]; m = rss[k] / decoded[k]
        cr = fcpu[k] > 0 ? sprintf("%.2f", ccpu[k] / fcpu[k]) : "-"
        printf "| %s | %.2f | %.2f | %s | %s | %.2f | %.2f | %.2f | %.2f |\n", k, r, aim, cr, who[k], best[k] / f[k], c[k] / best[k], m, frss[k] / decoded[k]
        if (r > aim) speed_miss = speed_miss " " k
        if (c[k] >= best[k]) peer_miss = peer_miss " " k
        if (m > 1.10) mem_miss = mem_miss " " k
      }
      print ""
      verdict("Raw output at most 0.80 of the floor, -plain at most 1.10 of the plain floor", speed_miss)
      verdict("Faster than every peer on every input", peer_miss)
      verdict("Peak memory at most the decoded image plus 10%", mem_miss)
    }
    function verdict(aim, miss) {
      printf "- %s: %s.\n", aim, miss == "" ? "met on every input" : "missed on" miss
    }' "$WORK/inputs.tsv" "$WORK/results.tsv"
}

# The machine and the versions of every tool measured.
describe_machine() {
  local cpu mem thp
  cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
  mem=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
  thp=$(sed 's/.*\[\(.*\)\].*/\1/' /sys/kernel/mm/transparent_hugepage/enabled \
        2>/dev/null || echo unknown)
  echo "Machine: $(getconf _NPROCESSORS_ONLN) cores ($cpu), $mem, Linux $(uname -r)," \
       "Debian $(cat /etc/debian_version), transparent huge pages: $thp."
  echo "Tools: corvane $(git describe --always --dirty 2>/dev/null)" \
       "(g++ $(g++ -dumpfullversion), libpng $(pkg-config --modversion libpng));" \
       "$(/usr/bin/convert -version | sed -n '1s/^Version: //p' | cut -d' ' -f1-3);" \
       "GraphicsMagick $(/usr/bin/gm version | sed -n '1s/^GraphicsMagick //p' | cut -d' ' -f1);" \
       "$(/usr/bin/vips --version);" \
       "ffmpeg $(/usr/bin/ffmpeg -version | sed -n '1s/^ffmpeg version \([^ ]*\).*/\1/p');" \
       "Pillow $(/usr/bin/python3 -c 'import PIL; print(PIL.__version__)');" \
       "$(hyperfine --version)."
}

# The whole section, heading included.
render_section() {
  cat <<TEXT
$SECTION

    bash bench/compare.sh          # RUNS=N timed runs per tool (default 5)

The script installs the peers from Debian when missing (without recommended
packages, refusing any plan that would bring in a package it must not), builds
a Release tree in \`$BUILD_DIR/\`, makes the inputs there with \`make_inputs\`
and converts each one with every tool to a portable map on standard output.
Every output is checked: its header must be a portable map of the input's
size and its raster exactly as long as the header declares; the notes say
where a peer wrote another type or maxval than corvane, or other samples.
Each peer is asked for the type corvane writes where it can be told
(\`vips copy\` by the suffix, ffmpeg by its pbm/pgm/ppm encoder, Pillow by the
mode it converts to) and runs single-threaded: \`MAGICK_THREAD_LIMIT=1\`,
\`OMP_NUM_THREADS=1\`, \`VIPS_CONCURRENCY=1\`, \`-limit thread(s) 1\`, ffmpeg
\`-threads 1 -filter_threads 1\`. The tools run in turn, one run each per
round, for $RUNS rounds (hyperfine, standard output on \`/dev/null\`; the
checking run before them warms the page cache), so that a change in the
machine's load weighs on all of them alike; wall and CPU time (user +
system) are the medians over the rounds, and peak RSS comes from GNU time
over one more run. "÷ floor" is the median over the floor's median on the
same input (for the plain input, the plain floor's).

$(describe_machine)
Measured $STARTED ($RUNS runs each); load average $LOAD_START at the start and
$LOAD_END at the end.
$(busy_note)

$(render_table raw)

### Plain output

$(render_table plain)

Pillow and ffmpeg cannot write plain portable maps, so they are not in this
table.

### Aims

$(render_aims)

The decoded image is width × height × channels × bytes per sample, sub-byte
samples counted unpacked as libpng hands them over (corvane keeps 1-bit gray
packed). Peak RSS also holds each program's fixed footprint: converting the
320 x 200 sample, corvane peaks at $(footprint "$CORVANE") MiB and the floor at
$(footprint "$FLOOR") MiB.

### Commands

\`IN.png\` is the input; corvane's output type picks the peers' type (here P6).

$(for t in "${RAW_TOOLS[@]}"; do
    echo "- ${LABEL[$t]}: \`$(CORVANE=corvane FLOOR=floor PILLOW=pillow_convert.py \
      tool_command "$t" IN.png P6 0)\`"
  done
  for t in "${PLAIN_TOOLS[@]}"; do
    echo "- ${LABEL[$t]}, plain: \`$(CORVANE=corvane FLOOR=floor \
      tool_command "$t" IN.png P6 1)\`"
  done)

\`pillow_convert.py\` opens the PNG with Pillow, converts it to the mode of corvane's
type when it differs (\`1\`, \`L\` or \`RGB\`) and saves it as PPM on
standard output.
TEXT
}

# Peak RSS in MiB of PROGRAM converting the small sample image.
footprint() {
  /usr/bin/time -f %M -o "$WORK/time" "$1" samples/sample.png >/dev/null
  awk '{ printf "%.1f", $1 / 1024 }' "$WORK/time"
}

# Says the figures are noisy when other work was running at the start.
busy_note() {
  awk -v l="${LOAD_START%% *}" -v c="$(getconf _NPROCESSORS_ONLN)" 'BEGIN {
    if (l >= 0.5)
      print "The machine was busy with other work when this was measured" \
            " (load " l " on " c " cores): the wall times are noisy, and" \
            " CPU time, which waiting does not count, is the steadier guide."
  }'
}

# Replaces the section in README (or adds it at the end, creating the file
# when needed) with the text in BODY, keeping every other section.
write_section() {
  local readme=$1 body=$2 tmp
  tmp=$(mktemp)
  if [[ -f $readme ]] && grep -qxF "$SECTION" "$readme"; then
    awk -v head="$SECTION" -v body="$body" '
      $0 == head { while ((getline line < body) > 0) print line; skip = 1; next }
      skip && /^## / { skip = 0; print "" }
      !skip { print }' "$readme" >"$tmp"
  else
    { [[ -s $readme ]] && { cat "$readme"; echo; }; cat "$body"; } >"$tmp"
  fi
  mv "$tmp" "$readme"
}

main() {
  cd "$(dirname "$0")/.."
  RUNS=${RUNS:-5}
  BUILD_DIR=${BUILD_DIR:-build-bench}
  INPUTS=$BUILD_DIR/inputs
  WORK=${WORK_DIR:-out/compare}
  PILLOW=$WORK/pillow_convert.py
  README=${README:-bench/README.md}
  export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1
  install_peers
  build_release
  mkdir -p "$WORK"
  write_pillow_script
  LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
  STARTED=$(date -u '+%Y-%m-%d %H:%M UTC')
  : >"$WORK/results.tsv"
  : >"$WORK/inputs.tsv"
  local name names=("$@")
  ((${#names[@]})) || names=("${RAW_INPUTS[@]}" plain)
  for name in "${names[@]}"; do
    echo "measuring $name" >&2
    describe_input "$name" >>"$WORK/inputs.tsv"
    measure_input "$name"
  done
  LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)
  render_section >"$WORK/section.md"
  # A table of some inputs only must not stand in the README for all.
  if (($#)); then
    echo "wrote the table of ${names[*]} into $WORK/section.md" >&2
  else
    write_section "$README" "$WORK/section.md"
    echo "wrote the table into $README" >&2
  fi
}

# Sourcing the script (as its test does) defines the functions only.
if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  main "$@"
fi
