// SPDX-License-Identifier: MIT
// The image data as one zlib stream. The caller hands over unfiltered rows
// in bands of about a megabyte; each band is compressed on a worker, ends on
// a byte boundary with a block that is not the last, and the bands, taken
// back in order, make one stream.
#pragma once

#include <zlib.h>

#include <thread>
#include <vector>

#include "band_strategy.h"

namespace belvane {

inline constexpr size_t kBand = size_t(1) << 20;  // unfiltered bytes per band

/// A band and the worker compressing it.
struct Slot {
    Band band;
    std::thread worker;
    bool waiting = false;  ///< compressed, not yet taken
};

/// The stream: a ring of bands, one filling while the others compress and
/// the finished ones wait to be taken.
struct Deflater {
    Strategy strategy;
    int level = 0;
    int workers = 1;  ///< bands compressed at once; 1: on the caller's thread
    int capacity = 1;  ///< rows per band
    std::vector<Slot> slots;
    int first = 0;     ///< the oldest band handed over and not yet finished
    int busy = 0;      ///< bands handed over, not yet finished
    int fill = 0;      ///< the band being filled
    int ready = 0;     ///< finished bands, before `first`, not yet taken
    int launched = 0;  ///< bands handed over so far
    uLong adler = 1;
    bool started = false;
};

/// How the stream is made: the level, at most how many workers (0: one per
/// core), the longest row in bytes, bytes per pixel (1 below a byte), every
/// how many bytes the filters are judged, whether rows are filtered at all,
/// and about how many row bytes the whole image data holds.
struct DeflateSetup {
    int level = 0;
    int workers = 0;
    size_t rowbytes = 0, bpp = 1, step = 1;
    bool adaptive = false;
    uint64_t total = 0;
};

/// Sets up the ring: one band per worker and one more, no more workers
/// than the image has bands.
void start_deflater(Deflater& d, const DeflateSetup& setup);
/// Starts a pass (the whole image, or one of Adam7's) of rows of `rowbytes`:
/// its first row has none above it.
void start_pass(Deflater& d, size_t rowbytes);
/// Where the next unfiltered row goes; it counts as written at the next
/// call. Bands finished meanwhile wait for take_band.
uint8_t* next_row(Deflater& d);
/// Hands over the last band and waits for every band to finish.
void end_deflater(Deflater& d);
/// The next part of the zlib stream, in order, when a band has finished:
/// valid until the next call into `d`. False when none waits.
bool take_band(Deflater& d, const uint8_t** data, size_t* len);
/// Frees the ring.
void free_deflater(Deflater& d);

}  // namespace belvane
