#!/usr/bin/env bash
# Checks the parts of compare.sh that decide what its table says: reading
# portable-map headers, judging raster sizes and samples, refusing a banned
# package, reading PNG headers, and rewriting only its own README section.
set -uo pipefail
source "$(dirname "$0")/compare.sh"
set +e

source "$(dirname "$0")/test_helpers.sh"

ok() { "$@" >/dev/null 2>&1 && echo yes || echo no; }

# FILE HEADER RASTER-BYTES: a file holding the header, then that many bytes.
map() { { printf '%b' "$2"; head -c "$3" /dev/zero; } >"$tmp/$1"; }

# Headers: comments, any whitespace, and what is not a portable map.
map p6c 'P6\n# made here\n3 2\n255\n' 18
map p4 'P4 10\t2\n' 4
map p7 'P7\n3 2\n255\n' 18
map nomax 'P6 3 2\n' 0
map glued 'P5 3 2 255' 0
expect "P6 with a comment" "P6 3 2 255 23" "$(pnm_header "$tmp/p6c")"
expect "P4 has no maxval" "P4 10 2 1 8" "$(pnm_header "$tmp/p4")"
for f in p7 nomax glued; do
  expect "$f is not a portable map" bad "$(pnm_header "$tmp/$f")"
done

# Raster sizes: exact passes; short, long, and 16-bit counted as 8 fail.
map exact 'P6 3 2 255\n' 18
map short 'P6 3 2 255\n' 17
map long 'P6 3 2 255\n' 19
map deep 'P5 3 2 65535\n' 12
map deep8 'P5 3 2 65535\n' 6
map pbm 'P4 10 3\n' 6
printf 'P3 2 1 255\n1 2 3\n4\n5 6\n' >"$tmp/plain"
printf 'P3 2 1 255\n1 2 3 4 5\n' >"$tmp/plainshort"
printf 'P1 3 2\n010\n11\n1\n' >"$tmp/plainbits"
for c in exact:yes short:no long:no deep:yes deep8:no pbm:yes plain:yes \
         plainshort:no plainbits:yes p6c:yes; do
  expect "size of ${c%:*}" "${c#*:}" "$(ok check_pnm "$tmp/${c%:*}")"
done
expect "description" "P5, maxval 65535" "$(check_pnm "$tmp/deep")"

# Samples: headers may differ in comments and plain line breaks, not values.
map same 'P6\n# other tool\n3 2\n255\n' 18
printf 'P3 2 1 255 1 2 3 4 5 6\n' >"$tmp/plain2"
printf 'P3 2 1 255\n1 2 3 4 5 7\n' >"$tmp/plain3"
map widemax 'P6 3 2 65535\n' 36
expect "comment only" yes "$(ok same_samples "$tmp/exact" "$tmp/same")"
expect "plain line breaks" yes "$(ok same_samples "$tmp/plain" "$tmp/plain2")"
expect "one plain sample" no "$(ok same_samples "$tmp/plain" "$tmp/plain3")"
expect "other maxval" no "$(ok same_samples "$tmp/exact" "$tmp/widemax")"
printf '\1' | dd of="$tmp/same" bs=1 seek=30 conv=notrunc status=none
expect "one raw byte" no "$(ok same_samples "$tmp/exact" "$tmp/same")"
expect "note on type" "writes P6 maxval 65535 (corvane: P6 maxval 255)" \
  "$(compare_note "$tmp/exact" "$tmp/widemax")"

# The banned package is found by its hash, with or without an architecture.
BANNED_HASH=$(printf decoy | sha256sum | cut -c1-16)
expect "clean plan" yes "$(printf 'libfoo\nbar:amd64\n' | ok refuse_banned)"
expect "banned in plan" no "$(printf 'libfoo\ndecoy:amd64\n' | ok refuse_banned)"
expect "prefix is not the name" yes "$(printf 'decoys\n' | ok refuse_banned)"

# PNG headers: IHDR read, sub-byte samples counted unpacked, 16-bit doubled.
bytes() { printf '\\x%02x' "$@"; }
png() {  # png FILE WIDTH HEIGHT DEPTH COLOUR-TYPE INTERLACE
  local w=$2 h=$3
  printf '%b' '\x89PNG\r\n\x1a\n' "$(bytes 0 0 0 13)IHDR" \
    "$(bytes $((w >> 24)) $((w >> 16 & 255)) $((w >> 8 & 255)) $((w & 255)))" \
    "$(bytes $((h >> 24)) $((h >> 16 & 255)) $((h >> 8 & 255)) $((h & 255)))" \
    "$(bytes "$4" "$5" 0 0 "$6")" >"$1"
}
png "$tmp/a.png" 70000 3 1 0 0
png "$tmp/b.png" 6000 4000 16 6 1
expect "IHDR" "70000 3 1 0 0" "$(png_info "$tmp/a.png")"
expect "1-bit decoded" 210000 "$(decoded_bytes "$tmp/a.png")"
expect "RGBA 16 decoded" 192000000 "$(decoded_bytes "$tmp/b.png")"

# The verdicts: plain has its own aim, a peer as fast as corvane is a miss,
# and memory is judged against the decoded image.
WORK=$tmp
printf 'rgb8\tx\t1000000\nplain\tx\t1000000\n' >"$tmp/inputs.tsv"
row() { printf '%s\t%s\t%s\tP6\t%s\t1\t%s\t\n' "$@"; }
{ row rgb8 corvane corvane 0.80 1000; row rgb8 floor floor 1.00 1000
  row rgb8 vips libvips 0.80 500; row plain corvane corvane 1.05 1100
  row plain floor floor 1.00 900; row plain gm GraphicsMagick 2.00 900
  row plain vips libvips - -; } >"$tmp/results.tsv"
verdicts=$(render_aims | grep '^- ')
expect "speed met" yes "$(grep -q 'floor: met' <<<"$verdicts" && echo yes)"
expect "tie with a peer" "- Faster than every peer on every input: missed on rgb8." \
  "$(grep Faster <<<"$verdicts")"
expect "memory" "- Peak memory at most the decoded image plus 10%: missed on plain." \
  "$(grep memory <<<"$verdicts")"
expect "fastest peer row" "| plain | 1.05 | 1.10 | 1.00 | GraphicsMagick | 2.00 | 0.53 | 1.13 | 0.92 |" \
  "$(grep '^| plain' < <(render_aims))"

# The README: only the section is replaced, wherever it stands; it is added
# when absent and the file is made when missing.
printf '# B\n\nintro\n\n%s\n\nold\n## Later\n\nkept\n' "$SECTION" >"$tmp/r.md"
printf '%s\n\nnew\n' "$SECTION" >"$tmp/body"
write_section "$tmp/r.md" "$tmp/body"
expect "replaced" "$(printf '# B\n\nintro\n\n%s\n\nnew\n\n## Later\n\nkept' \
  "$SECTION")" "$(cat "$tmp/r.md")"
cp "$tmp/r.md" "$tmp/again.md"
write_section "$tmp/again.md" "$tmp/body"
expect "rewriting changes nothing" "" "$(diff "$tmp/r.md" "$tmp/again.md")"
printf '# B\n\n## Other\n' >"$tmp/s.md"
write_section "$tmp/s.md" "$tmp/body"
expect "appended" "$(printf '# B\n\n## Other\n\n%s\n\nnew' "$SECTION")" \
  "$(cat "$tmp/s.md")"
write_section "$tmp/new.md" "$tmp/body"
expect "created" "$(cat "$tmp/body")" "$(cat "$tmp/new.md")"

echo "compare: $passed passed, $failed failed"
((failed == 0))
