// SPDX-License-Identifier: MIT
// The PNG stream being written: chunks with their CRCs.
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

}  // namespace belvane
