// SPDX-License-Identifier: MIT
// The spool under a piped input: a cookie stream that reads the pipe, keeps
// what it reads in deflated 1 MiB chunks while recording, and replays them
// after a seek back, inflating one chunk at a time.
#include "spool.h"

#include <libdeflate.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pm.h"

namespace belvane {

namespace {

constexpr size_t kChunk = size_t(1) << 20;  // bytes of input a chunk holds
constexpr size_t kBuffer = size_t(1) << 16;  // the cookie stream's buffer

struct Chunk {
    uint8_t* data;  // deflated; null once freed
    size_t len;
};

}  // namespace

struct Spool {
    FILE* in = nullptr;
    std::vector<Chunk> chunks;  // the recorded input, kChunk bytes each
    uint8_t* tail = nullptr;    // the recorded bytes after the chunks
    size_t tail_len = 0;
    uint8_t* window = nullptr;  // one chunk inflated
    size_t window_chunk = SIZE_MAX;
    uint8_t* scratch = nullptr;  // one chunk deflated, before it is kept
    size_t scratch_cap = 0;
    uint64_t pos = 0;   // where the next read starts
    uint64_t read = 0;  // bytes taken from the pipe
    size_t first_kept = 0;  // chunks before it are freed
    bool recording = true;
    bool lost = false;  // a seek was refused: the stream's position is unknown
    libdeflate_compressor* compressor = nullptr;
    libdeflate_decompressor* decompressor = nullptr;
};

namespace {

uint64_t heldEnd(const Spool& s) {
    return uint64_t(s.chunks.size()) * kChunk + s.tail_len;
}

void* allocate(size_t n) {
    void* p = std::malloc(n);
    if (p == nullptr)
        pm_error("out of memory keeping %zu bytes of piped input", n);
    return p;
}

// Deflates the full tail into a chunk of its own size.
void keepTail(Spool& s) {
    const size_t n = libdeflate_deflate_compress(s.compressor, s.tail, kChunk, s.scratch,
                                                 s.scratch_cap);
    if (n == 0)
        pm_error("cannot compress piped input into memory");
    auto* data = static_cast<uint8_t*>(allocate(n));
    std::memcpy(data, s.scratch, n);
    s.chunks.push_back(Chunk{data, n});
    s.tail_len = 0;
}

void record(Spool& s, const char* buf, size_t n) {
    while (n > 0) {
        const size_t part = std::min(n, kChunk - s.tail_len);
        std::memcpy(s.tail + s.tail_len, buf, part);
        s.tail_len += part;
        buf += part;
        n -= part;
        if (s.tail_len == kChunk)
            keepTail(s);
    }
}

// Chunk `k` inflated; chunks before it are freed once recording is over.
const uint8_t* inflated(Spool& s, size_t k) {
    if (s.window_chunk == k)
        return s.window;
    size_t got = 0;
    const Chunk& c = s.chunks[k];
    if (libdeflate_deflate_decompress(s.decompressor, c.data, c.len, s.window, kChunk, &got) !=
            LIBDEFLATE_SUCCESS || got != kChunk)
        pm_error("the copy of piped input kept in memory is damaged");
    s.window_chunk = k;
    for (; !s.recording && s.first_kept < k; ++s.first_kept) {
        std::free(s.chunks[s.first_kept].data);
        s.chunks[s.first_kept].data = nullptr;
    }
    return s.window;
}

// Bytes from the recording at `pos`, up to the end of its chunk.
size_t replay(Spool& s, char* buf, size_t size) {
    const size_t k = size_t(s.pos / kChunk), off = size_t(s.pos % kChunk);
    const bool inTail = k == s.chunks.size();
    const uint8_t* from = inTail ? s.tail : inflated(s, k);
    const size_t n = std::min(size, (inTail ? s.tail_len : kChunk) - off);
    std::memcpy(buf, from + off, n);
    s.pos += n;
    return n;
}

ssize_t readSpool(void* cookie, char* buf, size_t size) {
    Spool& s = *static_cast<Spool*>(cookie);
    if (s.pos < heldEnd(s) && !s.lost)
        return ssize_t(replay(s, buf, size));
    if (s.pos != s.read || s.lost) {
        errno = ESPIPE;
        return -1;
    }
    const size_t n = std::fread(buf, 1, size, s.in);
    if (n == 0 && std::ferror(s.in))
        return -1;
    s.read += n;
    s.pos += n;
    if (s.recording)
        record(s, buf, n);
    return ssize_t(n);
}

// Only back over bytes still held, and on from there only where nothing
// was read without being kept.
int seekSpool(void* cookie, off64_t* offset, int whence) {
    Spool& s = *static_cast<Spool*>(cookie);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(s.pos) : -1;
    const int64_t to = base + *offset;
    if (base < 0 || to < 0) {
        errno = EINVAL;
        return -1;
    }
    const uint64_t target = uint64_t(to);
    const bool held = target >= uint64_t(s.first_kept) * kChunk && target <= heldEnd(s) &&
                      heldEnd(s) == s.read;
    if (target != s.pos && !held) {
        s.lost = true;
        errno = ESPIPE;
        return -1;
    }
    s.pos = target;
    *offset = to;
    return 0;
}

int closeSpool(void* cookie) {
    auto* s = static_cast<Spool*>(cookie);
    for (const Chunk& c : s->chunks)
        std::free(c.data);
    std::free(s->tail);
    std::free(s->window);
    std::free(s->scratch);
    libdeflate_free_compressor(s->compressor);
    libdeflate_free_decompressor(s->decompressor);
    const int status = s->in == stdin ? 0 : std::fclose(s->in);
    delete s;
    return status;
}

bool isRegular(FILE* f) {
    struct stat st;
    return fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

Input open_input(const char* name) {
    FILE* file = pm_openr(name);
    return isRegular(file) ? Input{file} : spool_stream(file);
}

Input spool_stream(FILE* file) {
    Input in;
    auto* s = new Spool;
    s->in = file;
    // Level 1 is fast and still shrinks a drawing many times over; of a
    // photograph, the census keeps only the few rows before it stops.
    s->compressor = libdeflate_alloc_compressor(1);
    s->decompressor = libdeflate_alloc_decompressor();
    if (s->compressor == nullptr || s->decompressor == nullptr)
        pm_error("out of memory setting up the spool of piped input");
    s->scratch_cap = libdeflate_deflate_compress_bound(s->compressor, kChunk);
    s->scratch = static_cast<uint8_t*>(allocate(s->scratch_cap));
    s->tail = static_cast<uint8_t*>(allocate(kChunk));
    s->window = static_cast<uint8_t*>(allocate(kChunk));
    in.file = fopencookie(s, "rb", cookie_io_functions_t{readSpool, nullptr, seekSpool,
                                                         closeSpool});
    if (in.file == nullptr)
        pm_error("cannot set up the spool of piped input: %s", std::strerror(errno));
    if (std::setvbuf(in.file, nullptr, _IOFBF, kBuffer) != 0)
        pm_error("cannot give the spool of piped input a buffer");
    in.spool = s;
    return in;
}

void stop_recording(Spool* spool) {
    if (spool != nullptr)
        spool->recording = false;
}

}  // namespace belvane
