// SPDX-License-Identifier: MIT
// The image data as one zlib stream. The main thread hands over unfiltered
// rows in bands of about a megabyte; each band is filtered and deflated on
// its own core, ends on a byte boundary with a block that is not the last,
// and the bands, written in order as IDAT chunks, make one stream.
#pragma once

#include <zlib.h>

#include <thread>

#include "png_out.h"

struct libdeflate_compressor;
struct isal_zstream;

namespace belvane {

inline constexpr size_t kBand = size_t(1) << 20;  // unfiltered bytes per band
inline constexpr int kMaxJobs = 5;

/// How a level compresses: the engines it runs and how the filters of a
/// band are chosen.
struct Engine {
    int deflate_level;  ///< libdeflate's level (0: stored blocks), or ISA-L's
    bool isal;          ///< ISA-L's igzip instead of libdeflate
    bool rle;           ///< also try zlib's run-length coding; keep the smaller
    bool trial;         ///< try the band unfiltered as well; keep the smaller
    bool entropy;       ///< and filtered by the entropy of its rows
    bool quick;         ///< run lengths alone where they clearly win
};

/// The engine of a -compression level.
Engine engine_of(int level);

/// One band: its rows (the row above first), their filtered form, the
/// compressed form and the thread making it.
struct Job {
    uint8_t* raw;       ///< (capacity + 1) rows: the row above, then the band
    uint8_t* filtered;  ///< capacity rows of 1 + rowbytes
    uint8_t* spare;     ///< the same, for the other choice of filters
    uint8_t* scratch;   ///< two rows for trying filters
    uint8_t* out;       ///< 2 bytes of room for the zlib header, the stream, 4 more
    uint8_t* other;     ///< the same, for the other engine
    size_t outcap, outlen;
    libdeflate_compressor* compressor;
    libdeflate_compressor* trialer;  ///< fast, for trying filters; or null
    isal_zstream* isal;              ///< with ISA-L: its stream, or null
    uint8_t* isal_buf;               ///< and the buffer its level needs
    size_t rowbytes, bpp, step;
    int rows;
    bool adaptive, last;
    bool first;  ///< the stream's first band
    uLong adler;
    size_t flen;  ///< filtered bytes, which the Adler-32 covers
    int status;
    std::thread worker;
};

/// The stream: a ring of jobs, one filling while the others compress.
struct Deflater {
    PngOut* png;
    Engine engine;
    int level, threads, njobs;
    bool adaptive;  ///< filter rows (bytes of whole samples); else never
    int capacity;   ///< rows per band
    Job jobs[kMaxJobs];
    int first, busy, fill;
    int launched;  ///< bands handed to workers so far
    uLong adler;
    bool started;
};

/// Sets up the jobs for rows of at most `rowbytes` bytes with `bpp` bytes a
/// pixel (1 for sub-byte depths), filtered when `adaptive`, the filters
/// judged on every `step`th byte.
void start_deflater(Deflater& d, PngOut& png, int level, size_t rowbytes, size_t bpp,
                    size_t step, bool adaptive);
/// Starts a pass (the whole image, or one of Adam7's) of rows of `rowbytes`:
/// its first row has none above it.
void start_pass(Deflater& d, size_t rowbytes);
/// Where the next unfiltered row goes; it counts as written at the next call.
uint8_t* next_row(Deflater& d);
/// Ends the stream, writes what is left and frees the jobs.
void finish_deflater(Deflater& d);

/// Appends to the raw deflate data `p` of `*n` bytes, ending in a final
/// block, what turns it into data that more blocks may follow: the final
/// bit cleared, and an empty stored block to reach a byte boundary. `p` has
/// room for 5 more bytes. False when the data is not whole.
bool continue_deflate(uint8_t* p, size_t* n);

}  // namespace belvane
