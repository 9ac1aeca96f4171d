// The image data as one zlib stream: the filtered rows deflated in
// segments, as many at once as there are cores, and written as IDAT chunks.
// Each segment is primed with the 32 KiB before it and ends on a byte
// boundary, so their concatenation is one stream.
#pragma once

#include <zlib.h>

#include <thread>

#include "png_out.h"

namespace belvane {

inline constexpr size_t kSegment = size_t(1) << 20;  // filtered bytes per job
inline constexpr size_t kWindow = 32768;             // deflate's history
inline constexpr int kMaxJobs = 5;

/// One segment: its bytes, its compressed form and the thread making it.
struct Job {
    uint8_t* in;     // history, then the segment
    size_t history, len;
    uint8_t* out;    // 2 bytes of room for the zlib header, the stream, 4 for Adler-32
    uint8_t* spare;  // the same, for trying another strategy
    size_t outcap, outlen;
    bool last;
    int level, strategies[2], nstrategies;
    int status;
    std::thread worker;
};

/// The stream: a ring of jobs, the first filling while the others compress.
struct Deflater {
    PngOut* png;
    int level, threads, njobs;
    int strategies[2];  // run lengths, or string matching
    int chosen;         // -1 until the start of the data has chosen
    Job jobs[kMaxJobs];
    int first, busy, fill;  // oldest job in flight, jobs in flight, job filling
    uLong adler;
    bool started;
};

/// Sets up the jobs for the level of -compression; `filtered` rows try
/// string matching tuned for filtered data against run lengths.
void start_deflater(Deflater& d, PngOut& png, bool filtered);
/// Adds bytes of filtered rows to the stream.
void deflate_append(Deflater& d, const uint8_t* p, size_t n);
/// Ends the stream, writes what is left and frees the jobs.
void finish_deflater(Deflater& d);

}  // namespace belvane
