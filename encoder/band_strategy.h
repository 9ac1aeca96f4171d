// SPDX-License-Identifier: MIT
// How one band of rows becomes deflate data: which filterings each level
// tries, which engines it runs, and the smaller result kept.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

struct libdeflate_compressor;
struct isal_zstream;

namespace belvane {

/// What a -compression level tries on each band.
struct Strategy {
    int deflate_level = 0;  ///< libdeflate's level (0: stored blocks), or ISA-L's
    bool isal = false;      ///< ISA-L's igzip instead of libdeflate
    bool rle = false;       ///< also zlib's run-length coding; the smaller kept
    bool trial = false;     ///< try the band unfiltered as well; the smaller kept
    bool entropy = false;   ///< and filtered by the entropy of its rows
    bool quick = false;     ///< run lengths alone where they clearly win
    bool pick = false;      ///< one engine a band, string matching or run
                            ///< lengths, as a sixteenth of it compresses
    int zlib_ratio = 0;     ///< zlib's deepest search too, where the band so far
                            ///< shrinks this many times or more (0: never)
    bool zlib_unfiltered = false;  ///< and on the rows unfiltered, whatever the trial kept
};

/// The strategy of a -compression level (clamped to 0 to 9).
Strategy strategy_of(int level);

/// One band: its rows (the row above first), their filtered form, and the
/// compressed form once compress_band has run.
struct Band {
    uint8_t* raw = nullptr;       ///< (capacity + 1) rows: the row above, then the band
    uint8_t* filtered = nullptr;  ///< capacity rows of 1 + rowbytes
    uint8_t* spare = nullptr;     ///< the same, for the other choice of filters
    uint8_t* scratch = nullptr;   ///< two rows for trying filters
    uint8_t* out = nullptr;       ///< 2 bytes of room in front, the data, 4 behind
    uint8_t* other = nullptr;     ///< the same, for the other engine
    size_t outcap = 0, outlen = 0;
    libdeflate_compressor* compressor = nullptr;
    libdeflate_compressor* trialer = nullptr;  ///< for trying filterings; or null
    libdeflate_compressor* glance = nullptr;   ///< the first look at rows by sums
    isal_zstream* isal = nullptr;              ///< with ISA-L: its stream, or null
    uint8_t* isal_buf = nullptr;               ///< and the buffer its level needs
    size_t rowbytes = 0, bpp = 1, step = 1;
    int rows = 0;
    bool adaptive = false;  ///< filter rows; else store them unfiltered
    bool last = false;      ///< the stream's last band: ends in a final block
    bool first = false;     ///< the stream's first band
    uLong adler = 1;        ///< Adler-32 of the filtered rows
    size_t flen = 0;        ///< filtered bytes, which the Adler-32 covers
    bool ok = false;        ///< compressed without failure
};

/// Allocates a band's buffers for `capacity` rows of at most `rowbytes`
/// bytes and the engines `s` runs; failure is fatal.
void alloc_band(Band& b, const Strategy& s, int capacity, size_t rowbytes);
void free_band(Band& b);

/// Filters and deflates the band's rows as `s` says; the result is
/// b.out[0, b.outlen), continued (not final) unless b.last. Runs on a worker.
void compress_band(Band& b, const Strategy& s);

/// Appends to the raw deflate data `p` of `*n` bytes, ending in a final
/// block, what turns it into data that more blocks may follow: the final
/// bit cleared, and an empty stored block to reach a byte boundary. `p` has
/// room for 5 more bytes. False when the data is not whole.
bool continue_deflate(uint8_t* p, size_t* n);

}  // namespace belvane
