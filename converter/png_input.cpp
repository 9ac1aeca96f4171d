// SPDX-License-Identifier: MIT
// The read-ahead input. libpng reads the data of an ancillary chunk in one
// piece, and allocates (and clears) the whole declared length first: a few
// bytes declaring a gigabyte of text would cost a gigabyte before the read
// failed. The data of such a chunk, when it is large, is therefore read
// ahead here, so that what the chunk costs is what the input really holds,
// and a chunk the input cannot fill fails at once with the message of the
// read it would have failed in.
#include "png_input.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace corvane {

namespace {

struct Input {
    FILE* file = nullptr;
    uint64_t offset = 0;         // bytes libpng has read
    uint64_t next_chunk = 0;     // where the next chunk header starts
    png_bytep ahead = nullptr;   // a chunk's data and CRC read ahead
    size_t ahead_size = 0, ahead_used = 0;
};

// The input of the running conversion; plain data, released by the error
// path through drop_read_ahead.
Input input;

constexpr uint32_t kReadAheadFrom = 1u << 20;

// Reads `length` bytes ahead; false when the input ends first.
bool readAhead(png_structp png, size_t length) {
    size_t capacity = 0;
    while (input.ahead_size < length) {
        if (input.ahead_size == capacity) {
            capacity = std::min(length, std::max(capacity * 2, size_t(kReadAheadFrom)));
            auto* grown = static_cast<png_bytep>(std::realloc(input.ahead, capacity));
            if (grown == nullptr)
                png_error(png, "out of memory");
            input.ahead = grown;
        }
        const size_t got = std::fread(input.ahead + input.ahead_size, 1,
                                      capacity - input.ahead_size, input.file);
        if (got == 0)
            return false;
        input.ahead_size += got;
    }
    return true;
}

// An ancillary chunk with a valid name and length, large enough to read
// ahead. Critical chunks are checked before their data is read, or streamed.
bool readsAhead(const png_byte header[8]) {
    const uint32_t length = png_get_uint_32(header);
    if (length < kReadAheadFrom || length > PNG_UINT_31_MAX || !(header[4] & 0x20))
        return false;
    for (int i = 4; i < 8; ++i)
        if ((header[i] | 0x20) < 'a' || (header[i] | 0x20) > 'z')
            return false;
    return true;
}

void readInput(png_structp png, png_bytep data, size_t length) {
    size_t done = 0;
    if (input.ahead != nullptr) {
        done = std::min(length, input.ahead_size - input.ahead_used);
        std::memcpy(data, input.ahead + input.ahead_used, done);
        input.ahead_used += done;
        if (input.ahead_used == input.ahead_size)
            drop_read_ahead();
    }
    if (done < length && std::fread(data + done, 1, length - done, input.file) != length - done)
        png_error(png, "Read Error");
    if (input.offset == input.next_chunk && length >= 8) {
        input.next_chunk += 12 + uint64_t(png_get_uint_32(data));
        if (readsAhead(data) && !readAhead(png, size_t(png_get_uint_32(data)) + 4))
            png_error(png, "Read Error");
    }
    input.offset += length;
}

}  // namespace

void read_png_input(png_structp png, FILE* file, int sig_read) {
    // libpng reads the rest of the signature first; the first chunk follows.
    input = Input{file};
    input.next_chunk = uint64_t(8 - sig_read);
    png_set_read_fn(png, nullptr, readInput);
    png_set_sig_bytes(png, sig_read);
}

void drop_read_ahead() {
    std::free(input.ahead);
    input.ahead = nullptr;
    input.ahead_size = input.ahead_used = 0;
}

}  // namespace corvane
