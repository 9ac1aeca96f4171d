// SPDX-License-Identifier: MIT
// The PNG stream being written: chunks with their CRCs, and the image data.
#pragma once

#include "belvane.h"

namespace belvane {

/// Where the chunks go, how many bytes went, and which chunks (for -verbose).
struct PngOut {
    FILE* file = nullptr;
    uint64_t bytes = 0;
    struct Seen {
        char type[5];
        int count;
    } seen[16]{};
    int nseen = 0;
};

/// Writes one chunk: length, type, data, CRC. A failed write is fatal.
void put_chunk(PngOut& out, const char* type, const uint8_t* data, size_t len);

/// Reads the rasters again (once per Adam7 pass), stores, filters and
/// compresses every row and writes the result as IDAT chunks.
void write_image_data(PngOut& out, const Options& opt, const Source& image,
                      const Source* mask, const Layout& layout);

}  // namespace belvane
