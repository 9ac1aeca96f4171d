// SPDX-License-Identifier: MIT
// The band strategy: the level table, the filterings a band is tried with,
// and the engines that deflate it, the smallest result kept.
#include "band_strategy.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "filter.h"
#include "pm.h"

namespace belvane {

namespace {

// The measurements behind each row are in bench/README.md ("Deflate engines
// on belvane's rows", "zlib on bands that shrink far"): level 1 is ISA-L or
// zlib's run lengths, one a band; from 2 both run lengths and libdeflate;
// from 3 each band is also tried unfiltered and, where it shrinks far, by
// zlib's deepest search; the top level adds filtering by entropy.
constexpr Strategy kLevels[10] = {
    {.deflate_level = 0},
    {.deflate_level = 1, .isal = true, .rle = true, .pick = true},
    {.deflate_level = 1, .rle = true},
    {.deflate_level = 3, .rle = true, .trial = true, .quick = true, .zlib_ratio = 32},
    {.deflate_level = 4, .rle = true, .trial = true, .quick = true, .zlib_ratio = 32},
    {.deflate_level = 5, .rle = true, .trial = true, .quick = true, .zlib_ratio = 32},
    {.deflate_level = 6, .rle = true, .trial = true, .quick = true, .zlib_ratio = 32},
    {.deflate_level = 7, .rle = true, .trial = true, .quick = true, .zlib_ratio = 32},
    {.deflate_level = 9, .rle = true, .trial = true, .zlib_ratio = 8, .zlib_unfiltered = true},
    {.deflate_level = 12, .rle = true, .trial = true, .entropy = true, .zlib_ratio = 4,
     .zlib_unfiltered = true},
};

// `len` bytes deflated by zlib into `out` with `strategy` at its deepest
// level; 0 when zlib fails. Where data shrinks far, zlib's blocks span more
// input than libdeflate's and its long chains find the repeats, so it wins;
// run lengths look back one byte only, so a band needs no history.
size_t deflateZlib(const Band& b, int strategy, const uint8_t* in, size_t len, uint8_t* out) {
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, strategy) != Z_OK)
        return 0;
    zs.next_in = const_cast<uint8_t*>(in);
    zs.avail_in = uInt(len);
    zs.next_out = out;
    zs.avail_out = uInt(b.outcap);
    const int done = deflate(&zs, b.last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool whole = done == (b.last ? Z_STREAM_END : Z_OK) && zs.avail_in == 0;
    deflateEnd(&zs);
    return whole ? b.outcap - zs.avail_out : 0;
}

// `len` bytes deflated by libdeflate into `out`, continued where the band is
// not the last; 0 on failure.
size_t deflateBlocks(const Band& b, libdeflate_compressor* c, const uint8_t* in, size_t len,
                     uint8_t* out) {
    size_t n = libdeflate_deflate_compress(c, in, len, out, b.outcap);
    if (n == 0 || (!b.last && !continue_deflate(out, &n)))
        return 0;
    return n;
}

// `len` bytes deflated by ISA-L into `out`; a band that is not the last ends
// with its own sync flush, so needs no walk. 0 on failure.
size_t deflateIsal(const Band& b, int level, const uint8_t* in, size_t len, uint8_t* out) {
    isal_zstream& zs = *b.isal;
    isal_deflate_init(&zs);
    zs.level = uint32_t(level);
    zs.level_buf = b.isal_buf;
    zs.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    zs.next_in = const_cast<uint8_t*>(in);
    zs.avail_in = uint32_t(len);
    zs.next_out = out;
    zs.avail_out = uint32_t(b.outcap);
    zs.end_of_stream = b.last;
    zs.flush = b.last ? NO_FLUSH : SYNC_FLUSH;
    if (isal_deflate(&zs) != COMP_OK || zs.avail_in != 0)
        return 0;
    return b.outcap - zs.avail_out;
}

// Keeps `len` bytes in `b.other` as the band's output when they are fewer.
void keepSmaller(Band& b, size_t len) {
    if (len > 0 && (b.outlen == 0 || len < b.outlen)) {
        std::swap(b.out, b.other);
        b.outlen = len;
    }
}

// Bands of at most this many filtered bytes are deflated whole in every
// filtering, and sampled whole.
constexpr size_t kSmallBand = 64 << 10;

// The middle `1/parts` of the band's filtered `rows` (at least two rows; a
// small band whole), on which trials tell as well as on the whole band at a
// fraction of the cost.
struct Sample {
    const uint8_t* data;
    size_t len;
};

Sample sampleOf(const Band& b, const uint8_t* rows, size_t parts = 4) {
    const size_t stride = b.rowbytes + 1, all = size_t(b.rows);
    const size_t part =
        b.flen <= kSmallBand ? all : std::max(std::min<size_t>(all, 2), all / parts);
    return {rows + (all - part) / 2 * stride, part * stride};
}

// The trial's size for `rows` by `c`; a trial needs no continued stream.
size_t trialSize(const Band& b, libdeflate_compressor* c, const uint8_t* rows) {
    const Sample s = sampleOf(b, rows);
    return libdeflate_deflate_compress(c, s.data, s.len, b.other, b.outcap);
}

// What the trial kept: its size (0: no trial made) and the filtering.
struct Trial {
    size_t size;
    Choice choice;
};

// Filters the band by sums, then unfiltered and (where the level says) by
// entropy, and keeps in b.filtered the filtering the trial finds smallest.
// Drawings want string matching on their rows as they are, or filters that
// keep values few; photographs want small residues. Rows filtered by sums
// are judged first at libdeflate's fastest level, which is cheap on noisy
// residues; the others at level 4 (3 at level 3), as unfiltered rows of
// dithered gradients repeat at distances that the fastest level does not
// search. Where one of them beats the first look, the rows by sums are
// judged again at the same depth, so that smooth themes are not left
// unfiltered by a trial that searched them less deeply.
Trial chooseFiltering(Band& b, const Strategy& s) {
    const size_t n = b.rowbytes;
    Trial kept{0, b.adaptive ? Choice::sum : Choice::none};
    filter_rows(b.raw, b.rows, n, b.bpp, b.step, kept.choice, b.filtered, b.scratch);
    if (!b.adaptive || !s.trial)
        return kept;
    kept.size = trialSize(b, b.glance, b.filtered);
    bool deep = false;  // whether kept.size was judged at the trial's depth
    for (const Choice other : {Choice::none, Choice::entropy}) {
        if (other == Choice::entropy && !s.entropy)
            continue;
        filter_rows(b.raw, b.rows, n, b.bpp, b.step, other, b.spare, b.scratch);
        const size_t t = trialSize(b, b.trialer, b.spare);
        if (t > 0 && !deep && kept.choice == Choice::sum && t < kept.size) {
            kept.size = trialSize(b, b.trialer, b.filtered);
            deep = true;
        }
        if (t > 0 && (kept.size == 0 || t < kept.size)) {
            kept = {t, other};
            deep = true;
            std::swap(b.filtered, b.spare);
        }
    }
    return kept;
}

uint8_t* alloc(size_t bytes) {
    auto* p = static_cast<uint8_t*>(std::malloc(bytes));
    if (p == nullptr)
        pm_error("out of memory for the compression buffers");
    return p;
}

// Whether the band's result so far shrinks it far enough for zlib's search.
bool shrinksFar(const Band& b, const Strategy& s) {
    return s.zlib_ratio > 0 && b.outlen > 0 && b.outlen * size_t(s.zlib_ratio) <= b.flen;
}

// Deflates the filtered `rows` by the engines `s` runs and keeps the result
// in b.out where it is the smallest so far; true when it is. `least` is the
// trial's size of the rows' sample (0: none made).
bool deflateRows(Band& b, const Strategy& s, const uint8_t* rows, size_t least) {
    const size_t before = b.outlen;
    const auto matched = [&](const uint8_t* in, size_t len) {
        return s.isal ? deflateIsal(b, s.deflate_level, in, len, b.other)
                      : deflateBlocks(b, b.compressor, in, len, b.other);
    };
    // zlib's run lengths, or its Huffman coding alone, win on bands whose
    // residues are small and without repeats (smooth gradients, most gray
    // photographs): where the better of them beats string matching by 10% on
    // a sample, string matching is left out, and a level that picks runs
    // only the better. The first band is always tried every way: an icon is
    // one band, and there the sample misleads.
    bool strings = true, runs = s.rle, huffman = s.rle;
    if (s.pick || (s.quick && least > 0 && !b.first)) {
        const Sample sample = sampleOf(b, rows, s.pick ? 16 : 4);
        const size_t matches = s.pick ? matched(sample.data, sample.len) : least;
        const size_t rle = deflateZlib(b, Z_RLE, sample.data, sample.len, b.other);
        const size_t huff = deflateZlib(b, Z_HUFFMAN_ONLY, sample.data, sample.len, b.other);
        const size_t best = rle == 0 ? huff : huff == 0 ? rle : std::min(rle, huff);
        strings = best == 0 || best * 10 >= matches * 9;
        if (s.pick) {
            runs = !strings && best == rle;
            huffman = !strings && !runs;
        }
    }
    if (strings)
        keepSmaller(b, matched(rows, b.flen));
    if (runs)
        keepSmaller(b, deflateZlib(b, Z_RLE, rows, b.flen, b.other));
    if (huffman)
        keepSmaller(b, deflateZlib(b, Z_HUFFMAN_ONLY, rows, b.flen, b.other));
    if (shrinksFar(b, s))
        keepSmaller(b, deflateZlib(b, Z_DEFAULT_STRATEGY, rows, b.flen, b.other));
    if (b.outlen == 0 && !strings)
        keepSmaller(b, matched(rows, b.flen));
    return b.outlen != before;
}

}  // namespace

Strategy strategy_of(int level) {
    return kLevels[std::clamp(level, 0, 9)];
}

void compress_band(Band& b, const Strategy& s) {
    b.flen = size_t(b.rows) * (b.rowbytes + 1);
    b.outlen = 0;
    const uint8_t* kept = nullptr;  // the rows b.out holds
    if (s.trial && b.adaptive && b.flen <= kSmallBand) {
        // A small band (an icon, a sprite, an image's last rows) is deflated
        // whole in every filtering, each filter for all its rows among them,
        // as tiny images often want, and the smallest kept.
        for (const Choice c : {Choice::sum, Choice::none, Choice::entropy, Choice::sub,
                               Choice::up, Choice::average, Choice::paeth}) {
            if (c == Choice::entropy && !s.entropy)
                continue;
            filter_rows(b.raw, b.rows, b.rowbytes, b.bpp, b.step, c, b.spare, b.scratch);
            if (deflateRows(b, s, b.spare, 0)) {
                std::swap(b.filtered, b.spare);
                kept = b.filtered;
            }
        }
    } else {
        const Trial trial = chooseFiltering(b, s);
        kept = b.filtered;
        deflateRows(b, s, kept, trial.size);
        // The trial judged the filterings by libdeflate; on flat rows zlib's
        // search may do better with the rows as they are.
        if (s.zlib_unfiltered && trial.choice != Choice::none && shrinksFar(b, s)) {
            filter_rows(b.raw, b.rows, b.rowbytes, b.bpp, b.step, Choice::none, b.spare,
                        b.scratch);
            const size_t before = b.outlen;
            keepSmaller(b, deflateZlib(b, Z_DEFAULT_STRATEGY, b.spare, b.flen, b.other));
            if (b.outlen != before)
                kept = b.spare;
        }
    }
    b.ok = b.outlen > 0;
    b.adler = adler32_z(1, kept, b.flen);
}

void alloc_band(Band& b, const Strategy& s, int capacity, size_t rowbytes) {
    const size_t rows = size_t(capacity);
    const size_t filtered = rows * (rowbytes + 1);
    b.raw = alloc((rows + 1) * rowbytes + 1);
    b.filtered = alloc(filtered);
    b.spare = alloc(filtered);
    b.scratch = alloc(2 * rowbytes + 1);
    // Room for the zlib header in front, and behind for the stored block
    // that continues a band and for the Adler-32.
    b.outcap = std::max(libdeflate_deflate_compress_bound(nullptr, filtered),
                        size_t(deflateBound(nullptr, uLong(filtered)))) + 64;
    b.out = alloc(b.outcap + 16) + 2;
    b.other = alloc(b.outcap + 16) + 2;
    b.compressor = s.isal ? nullptr : libdeflate_alloc_compressor(s.deflate_level);
    b.trialer = s.trial ? libdeflate_alloc_compressor(std::min(4, s.deflate_level)) : nullptr;
    b.glance = s.trial ? libdeflate_alloc_compressor(1) : nullptr;
    if (s.isal) {
        b.isal = static_cast<isal_zstream*>(static_cast<void*>(alloc(sizeof(isal_zstream))));
        b.isal_buf = alloc(ISAL_DEF_LVL1_DEFAULT);
    }
    if ((b.compressor == nullptr && !s.isal) ||
        (s.trial && (b.trialer == nullptr || b.glance == nullptr)))
        pm_error("out of memory for the compression buffers");
    b.rows = 0;
    b.rowbytes = rowbytes;
}

void free_band(Band& b) {
    for (uint8_t* p : {b.raw, b.filtered, b.spare, b.scratch, b.isal_buf})
        std::free(p);
    std::free(b.out - 2);
    std::free(b.other - 2);
    libdeflate_free_compressor(b.compressor);
    libdeflate_free_compressor(b.trialer);
    libdeflate_free_compressor(b.glance);
    std::free(b.isal);
    b = Band{};
}

}  // namespace belvane
