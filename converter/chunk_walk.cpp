// SPDX-License-Identifier: MIT
// The chunk walk: chunk by chunk, each CRC computed by libdeflate (several
// times faster than zlib's, which libpng then need not run), and the copy of
// what it read of an input that cannot be read twice.
#include "chunk_walk.h"

#include <libdeflate.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png_facts.h"

namespace corvane {

namespace {

// A byte of deflate data stands for at most about 1032 bytes; the margin
// covers the zlib header and checksum and the blocks' own headers.
constexpr uint64_t kMostInflation = 1032;
constexpr uint64_t kSlackBytes = 64;
constexpr size_t kBlock = size_t(64) << 10;

// The copy of a stream that is not a regular file: what the walk read of
// it, which the decoder reads again before the rest of the stream.
struct Copy {
    FILE* source = nullptr;
    png_byte* data = nullptr;
    size_t size = 0, capacity = 0, replayed = 0;
    bool short_of_memory = false;
    FILE* file = nullptr;  // the copy, then the rest of the source
};
Copy copy;

bool keep(const char* bytes, size_t n) {
    if (copy.capacity - copy.size < n) {
        const size_t capacity = std::max({2 * copy.capacity, copy.size + n, kBlock});
        auto* grown = static_cast<png_byte*>(std::realloc(copy.data, capacity));
        if (grown == nullptr)
            return false;
        copy.data = grown;
        copy.capacity = capacity;
    }
    std::memcpy(copy.data + copy.size, bytes, n);
    copy.size += n;
    return true;
}

ssize_t readSource(char* buf, size_t n) {
    const size_t got = std::fread(buf, 1, n, copy.source);
    return got == 0 && std::ferror(copy.source) ? -1 : ssize_t(got);
}

// The walk reads through this: every byte it is given is kept.
ssize_t recordRead(void*, char* buf, size_t n) {
    const ssize_t got = readSource(buf, n);
    if (got > 0 && !keep(buf, size_t(got))) {
        copy.short_of_memory = true;
        return -1;
    }
    return got;
}

// The decoder reads through this: the copy, then what the walk left.
ssize_t replayRead(void*, char* buf, size_t n) {
    if (copy.replayed == copy.size)
        return readSource(buf, n);
    const size_t m = std::min(n, copy.size - copy.replayed);
    std::memcpy(buf, copy.data + copy.replayed, m);
    copy.replayed += m;
    return ssize_t(m);
}

bool isName(const png_byte* n) {
    for (int i = 0; i < 4; ++i)
        if ((n[i] | 0x20) < 'a' || (n[i] | 0x20) > 'z')
            return false;
    return true;
}

bool named(const png_byte* n, const char* name) { return std::memcmp(n, name, 4) == 0; }

bool isText(const png_byte* n) { return named(n, "tEXt") || named(n, "zTXt") || named(n, "iTXt"); }

// Bytes of the filtered rows of a non-interlaced image, filter bytes included.
uint64_t filteredBytes(const png_byte ihdr[13]) {
    const uint64_t width = png_get_uint_32(ihdr), height = png_get_uint_32(ihdr + 4);
    const uint64_t bits = uint64_t(ihdr[8]) * unsigned(tarvex::png::channels(ihdr[9]));
    return height * (1 + (width * bits + 7) / 8);
}

// Reads a chunk's data (and its CRC) into the running CRC; false when the
// stream ends first or the CRC differs. `head` takes the first bytes.
bool checkData(FILE* in, const png_byte* header, uint32_t length, png_byte* head, size_t headSize,
               png_byte* buf) {
    uint32_t crc = libdeflate_crc32(0, header + 4, 4);
    for (uint32_t left = length; left > 0;) {
        const size_t n = std::min<size_t>(left, kBlock);
        if (std::fread(buf, 1, n, in) != n)
            return false;
        if (const size_t done = length - left; done < headSize)
            std::memcpy(head + done, buf, std::min(n, headSize - done));
        crc = libdeflate_crc32(crc, buf, n);
        left -= uint32_t(n);
    }
    png_byte stored[4];
    return std::fread(stored, 1, 4, in) == 4 && png_get_uint_32(stored) == crc;
}

// The chunks in order; false at the first fault.
bool walk(FILE* in, ChunkWalk* w, png_byte* buf) {
    png_byte ihdr[13] = {}, header[8];
    uint64_t idat = 0;
    bool inData = false, afterData = false;
    for (bool first = true;; first = false) {
        if (std::fread(header, 1, 8, in) != 8)
            return false;
        const uint32_t length = png_get_uint_32(header);
        const png_byte* name = header + 4;
        if (length > PNG_UINT_31_MAX || !isName(name) || first != named(name, "IHDR") ||
            (first && length != sizeof ihdr))
            return false;
        if (!checkData(in, header, length, ihdr, first ? sizeof ihdr : 0, buf))
            return false;
        if (named(name, "IDAT")) {
            if (afterData)
                return false;
            inData = true;
            idat += length;
        } else if (inData || afterData) {
            inData = false;
            afterData = true;
            w->text_after_data = w->text_after_data || isText(name);
            if (!(name[0] & 0x20) && !named(name, "IEND"))
                return false;
        }
        if (named(name, "IEND")) {
            w->interlaced = ihdr[12] != 0;
            w->plausible = filteredBytes(ihdr) / kMostInflation <= idat + kSlackBytes;
            return afterData;
        }
    }
}

}  // namespace

ChunkWalk walk_chunks(FILE* in, int sig_read) {
    static png_byte buf[kBlock];  // one conversion at a time
    ChunkWalk w;
    png_byte rest[8];
    const size_t skip = size_t(8 - sig_read);
    if (std::fread(rest, 1, skip, in) == skip)
        w.intact = walk(in, &w, buf);
    return w;
}

FILE* walked_input(FILE* in, int sig_read, ChunkWalk* walk) {
    release_walked_input();
    struct stat st {};
    const long start = std::ftell(in);
    if (start >= 0 && ::fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode)) {
        *walk = walk_chunks(in, sig_read);
        std::clearerr(in);
        return std::fseek(in, start, SEEK_SET) == 0 ? in : nullptr;
    }
    // The walk stops at IEND or the first fault, so that what follows (more
    // data on a pipe, or all the rest of a damaged file) is never kept.
    copy.source = in;
    FILE* recorder = fopencookie(nullptr, "rb", {recordRead, nullptr, nullptr, nullptr});
    if (recorder == nullptr)
        return nullptr;
    *walk = walk_chunks(recorder, sig_read);
    std::fclose(recorder);
    if (copy.short_of_memory)
        return nullptr;
    copy.file = fopencookie(nullptr, "rb", {replayRead, nullptr, nullptr, nullptr});
    return copy.file;
}

void release_walked_input() {
    if (copy.file != nullptr)
        std::fclose(copy.file);
    std::free(copy.data);
    copy = Copy{};
}

}  // namespace corvane
