// SPDX-License-Identifier: MIT
// The walk over a PNG's chunks before any row goes out (every length and CRC,
// the end chunk, what the image data could inflate to), and the input it
// walks: a regular file read once and rewound, or any other stream kept as
// far as the walk went.
#pragma once

#include <cstdint>
#include <cstdio>

namespace corvane {

/// What the walk found.
struct ChunkWalk {
    bool intact = false;          ///< IHDR first, every chunk whole and named, CRCs right, IEND reached
    bool interlaced = false;      ///< IHDR asks for Adam7
    bool plausible = false;       ///< the image data could inflate to every row the header declares
    bool text_after_data = false; ///< a text chunk follows the image data
};

/// True when the rows of a walked PNG may be written as they are decoded:
/// whatever fails then is the compressed data itself.
inline bool streamable(const ChunkWalk& w) {
    return w.intact && !w.interlaced && w.plausible;
}

/// Walks the chunks on `in`, whose first `sig_read` signature bytes have been
/// read. Reads to IEND or the first fault; leaves `in` wherever it stopped.
ChunkWalk walk_chunks(FILE* in, int sig_read);

/// Walks the PNG on `in` and returns the stream to decode it from: `in`
/// itself, rewound, when it is a regular file; otherwise the copy in memory
/// of what the walk read, then the rest of `in` (null when memory is
/// short). One input at a time.
FILE* walked_input(FILE* in, int sig_read, ChunkWalk* walk);

/// Releases the copy walked_input made, if any.
void release_walked_input();

}  // namespace corvane
