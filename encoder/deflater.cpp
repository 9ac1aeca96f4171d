// The segmented, parallel deflate of the image data.
#include "deflater.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace belvane {

namespace {

constexpr size_t kSample = 256 * 1024;  // bytes the strategies are tried on

// The first `len` bytes of the job deflated with one strategy into `out`
// (after 2 bytes of room); 0 when zlib fails.
size_t deflateWith(const Job& j, size_t len, bool last, int strategy, uint8_t* out) {
    z_stream zs{};
    if (deflateInit2(&zs, j.level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        return 0;
    if (j.history > 0)
        deflateSetDictionary(&zs, j.in, uInt(j.history));
    zs.next_in = j.in + j.history;
    zs.avail_in = uInt(len);
    zs.next_out = out + 2;
    zs.avail_out = uInt(j.outcap - 6);
    const int done = deflate(&zs, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool whole = done == (last ? Z_STREAM_END : Z_OK) && zs.avail_in == 0;
    deflateEnd(&zs);
    return whole ? j.outcap - 6 - zs.avail_out : 0;
}

// Deflates the job with each of its strategies and keeps the smallest.
void deflateJob(Job* j) {
    j->status = Z_BUF_ERROR;
    for (int i = 0; i < j->nstrategies; ++i) {
        const size_t len = deflateWith(*j, j->len, j->last, j->strategies[i], j->spare);
        if (len > 0 && (j->status != Z_OK || len < j->outlen)) {
            std::swap(j->out, j->spare);
            j->outlen = len;
            j->status = Z_OK;
        }
    }
}

// The strategy that deflates the start of the job smaller.
int pickStrategy(const Job& j, const int* strategies) {
    const size_t n = std::min(j.len, kSample);
    size_t least = 0;
    int choice = strategies[0];
    for (int i = 0; i < 2; ++i) {
        const size_t size = deflateWith(j, n, false, strategies[i], j.spare);
        if (size > 0 && (least == 0 || size < least)) {
            least = size;
            choice = strategies[i];
        }
    }
    return choice;
}

// Waits for the oldest job and writes its part of the stream as an IDAT.
void retire(Deflater& d) {
    Job& j = d.jobs[d.first];
    if (j.worker.joinable())
        j.worker.join();
    if (j.status != Z_OK)
        pm_error("compression of the image data failed (zlib error %d)", j.status);
    uint8_t* data = j.out + 2;
    size_t len = j.outlen;
    if (!d.started) {
        // CMF: deflate with a 32 KiB window; FLG: the level, and a check.
        const unsigned flevel = d.level < 2 ? 0 : d.level < 6 ? 1 : d.level == 6 ? 2 : 3;
        const unsigned head = 0x78 * 256 + flevel * 64;
        data = j.out;
        data[0] = 0x78;
        data[1] = uint8_t(flevel * 64 + (31 - head % 31) % 31);
        len += 2;
        d.started = true;
    }
    if (j.last) {
        for (int i = 0; i < 4; ++i)
            data[len + size_t(i)] = uint8_t(d.adler >> (24 - 8 * i));
        len += 4;
    }
    put_chunk(*d.png, "IDAT", data, len);
    d.first = (d.first + 1) % d.njobs;
    --d.busy;
}

void launch(Deflater& d, bool last) {
    Job& j = d.jobs[d.fill];
    j.last = last;
    j.level = d.level;
    if (d.chosen < 0)
        d.chosen = pickStrategy(j, d.strategies);
    // Level 9 tries both strategies on every segment.
    j.nstrategies = d.level == 9 ? 2 : 1;
    std::copy(d.strategies, d.strategies + 2, j.strategies);
    if (j.nstrategies == 1)
        j.strategies[0] = d.chosen;
    if (d.threads > 1)
        j.worker = std::thread(deflateJob, &j);
    else
        deflateJob(&j);
    ++d.busy;
    const int next = (d.fill + 1) % d.njobs;
    if (d.busy == d.njobs)
        retire(d);
    // The next segment starts with the end of this one as its history.
    Job& n = d.jobs[next];
    n.history = std::min(kWindow, j.history + j.len);
    std::memcpy(n.in, j.in + j.history + j.len - n.history, n.history);
    n.len = 0;
    d.fill = next;
}

}  // namespace

// Filtered photographs are mostly noise in the low bits, which run-length
// coding compresses better than string matching and several times faster;
// drawings and palettes are the other way round. The start of the image
// data chooses between them.
void start_deflater(Deflater& d, PngOut& png, bool filtered) {
    d.png = &png;
    d.level = compression;
    d.strategies[0] = Z_RLE;
    d.strategies[1] = filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY;
    d.chosen = compression == 0 ? Z_DEFAULT_STRATEGY : -1;
#ifdef TARVEX_FUZZING
    d.threads = 1;
#else
    d.threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
#endif
    d.njobs = d.threads + 1;
    d.first = d.busy = d.fill = 0;
    d.adler = adler32(0, nullptr, 0);
    d.started = false;
    for (int i = 0; i < d.njobs; ++i) {
        Job& j = d.jobs[i];
        j.history = j.len = 0;
        j.outcap = compressBound(kSegment) + 16;
        j.in = static_cast<uint8_t*>(std::malloc(kWindow + kSegment));
        j.out = static_cast<uint8_t*>(std::malloc(j.outcap));
        j.spare = static_cast<uint8_t*>(std::malloc(j.outcap));
        if (j.in == nullptr || j.out == nullptr || j.spare == nullptr)
            pm_error("out of memory for the compression buffers");
    }
}

void deflate_append(Deflater& d, const uint8_t* p, size_t n) {
    d.adler = adler32_z(d.adler, p, n);
    while (n > 0) {
        Job& j = d.jobs[d.fill];
        const size_t part = std::min(n, kSegment - j.len);
        std::memcpy(j.in + j.history + j.len, p, part);
        j.len += part;
        p += part;
        n -= part;
        if (j.len == kSegment)
            launch(d, false);
    }
}

void finish_deflater(Deflater& d) {
    launch(d, true);
    while (d.busy > 0)
        retire(d);
    for (int i = 0; i < d.njobs; ++i) {
        std::free(d.jobs[i].in);
        std::free(d.jobs[i].out);
        std::free(d.jobs[i].spare);
    }
}

}  // namespace belvane
