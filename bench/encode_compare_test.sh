#!/usr/bin/env bash
# Checks the parts of encode_compare.sh that decide what its tables say: the
# command lines as they are split for running, the verdict on what corvane
# read back (with same_pixels), the aims against the lossless peers only, and
# the rewrite between the README markers.
# Usage: bash bench/encode_compare_test.sh PATH-TO-same_pixels
set -uo pipefail
source "$(dirname "$0")/encode_compare.sh"
set +e

source "$(dirname "$0")/test_helpers.sh"
SAME_PIXELS=${1:?the path of same_pixels}
WORK=$tmp

# The words a command line splits into, one a line.
words_of() { local words; eval "words=($1)"; printf '%s\n' "${words[@]}"; }

# Command lines: paths with spaces stay one word, the vips band list is one
# word, belvane's own arguments come before the mask and the file.
in="$tmp/in put.ppm" mask="$tmp/m a.pgm"
BELVANE="$tmp/bel vane" PILLOW=$tmp/p.py BELVANE_ARGS="-interlace"
expect "belvane words" "$(printf '%s\n' "$BELVANE" -interlace -compression 9 \
  -alpha "$mask" "$in")" "$(words_of "$(encode_command belvane@9 "$in" "$mask")")"
expect "belvane default" "$(printf '%s\n' "$BELVANE" -interlace "$in")" \
  "$(words_of "$(encode_command belvane "$in")")"
expect "vips band list" "$in $mask" \
  "$(words_of "$(encode_command vips "$in" "$mask")" | sed -n 3p)"
expect "ffmpeg mask" "$mask" \
  "$(words_of "$(encode_command ffmpeg "$in" "$mask")" | sed -n 8p)"
BELVANE_LEVELS="1 9"
expect "tool list" "belvane belvane@1 belvane@9 imagemagick" \
  "$(tool_list | head -4 | xargs)"
expect "level label" "belvane -interlace -compression 1" "$(tool_label belvane@1)"
BELVANE= BELVANE_ARGS=
expect "peers alone" imagemagick "$(tool_list | head -1)"

# Verdicts: same bytes, the same pixels in another type, lost bits, one
# changed sample; the mask is judged too.
printf 'P4\n8 1\n\x0f' >"$tmp/bits.pbm"
printf 'P5\n8 1\n255\n\xff\xff\xff\xff\0\0\0\0' >"$tmp/bits.pgm"
printf 'P6\n1 1\n65535\n\x12\x34\x56\x78\x9a\xbc' >"$tmp/deep.ppm"
printf 'P6\n1 1\n255\n\x12\x56\x9a' >"$tmp/shallow.ppm"
printf 'P6\n1 1\n255\n\x12\x56\x9b' >"$tmp/other.ppm"
expect "same bytes" yes "$(pixel_verdict "$tmp/bits.pbm" "$tmp/bits.pbm")"
expect "PBM read back as PGM" "same pixels, as P5 maxval 255" \
  "$(pixel_verdict "$tmp/bits.pbm" "$tmp/bits.pgm")"
expect "16 bits to 8" "no: P6 maxval 255 for P6 maxval 65535; 3 of 3 samples differ, by up to 34 of maxval 65535" \
  "$(pixel_verdict "$tmp/deep.ppm" "$tmp/shallow.ppm")"
expect "one sample" "no: 1 of 3 samples differ, by up to 1 of maxval 255" \
  "$(pixel_verdict "$tmp/shallow.ppm" "$tmp/other.ppm")"
for v in "yes:1" "same pixels, as P5 maxval 255:1" "no: 1 of 3:0" \
         "image: yes; alpha: no: 1 of 3:0" "image: same pixels; alpha: yes:1"; do
  expect "lossless ${v%:*}" "${v##*:}" "$(lossless "${v%:*}")"
done

# Aims: a smaller but lossy peer and a failed one do not count, a tie in
# size or time meets the aim but a tie in memory misses it.
printf 'a\tx\nb\tx\n' >"$tmp/inputs.tsv"
row() { printf '%s\t%s\t%s\t%s\t1\t%s\t%s\t%s\t%s\n' "$@"; }
{ row a belvane belvane 1.000 100 50 1 yes
  row a belvane@9 "belvane -compression 9" 9.000 10 1 1 yes
  row a pillow Pillow 0.500 10 10 0 "no: lost"
  row a vips libvips 1.000 100 60 1 yes
  row a gm GraphicsMagick - - - 0 "failed"
  row b belvane belvane 2.000 200 70 1 "same pixels, as P5 maxval 255"
  row b vips libvips 1.000 300 70 1 yes; } >"$tmp/results.tsv"
aims=$(render_aims)
expect "aims row" "| a | 0.00 | 0.00 (libvips) | 1.0000 | 1.000 | 1.000 (libvips) | 1.00 | 0.1 | 0.1 (libvips) | yes |" \
  "$(grep '^| a ' <<<"$aims")"
expect "verdicts" "$(printf '%s\n' \
  "- Exact (corvane gives the input back byte for byte): missed on b." \
  "- PNG no larger than the smallest lossless peer: met on every input." \
  "- Wall time no more than the fastest lossless peer: missed on b." \
  "- Peak RSS below every lossless peer: missed on b.")" "$(grep '^- ' <<<"$aims")"
grep -v belvane "$tmp/results.tsv" >"$tmp/peers.tsv"
mv "$tmp/peers.tsv" "$tmp/results.tsv"
expect "peers alone" "- belvane was not measured on: a b." \
  "$(render_aims | grep '^- ')"

# The README: only what stands between the markers changes, and a README
# without them is left as it was.
printf '# B\n\n%s\nold\n%s\n\nkept\n' "$MARK_START" "$MARK_END" >"$tmp/r.md"
printf '%s\nnew\n%s\n' "$MARK_START" "$MARK_END" >"$tmp/block"
write_block "$tmp/r.md" "$tmp/block"
expect "replaced" "$(printf '# B\n\n%s\nnew\n%s\n\nkept' "$MARK_START" \
  "$MARK_END")" "$(cat "$tmp/r.md")"
printf '# B\n' >"$tmp/none.md"
write_block "$tmp/none.md" "$tmp/block" 2>/dev/null
expect "no markers fails" "1 # B" "$? $(cat "$tmp/none.md")"

echo "encode_compare: $passed passed, $failed failed"
((failed == 0))
