// SPDX-License-Identifier: MIT
// The banded, parallel filtering and deflate of the image data.
#include "deflater.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "filter.h"

namespace belvane {

namespace {

// ---- One band, on a worker ------------------------------------------------------

// `len` bytes deflated by zlib's run-length coding into `out`; 0 when zlib
// fails. Run lengths look back one byte only, so a band needs no history.
size_t deflateRle(const Job& j, const uint8_t* in, size_t len, uint8_t* out) {
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK)
        return 0;
    zs.next_in = const_cast<uint8_t*>(in);
    zs.avail_in = uInt(len);
    zs.next_out = out;
    zs.avail_out = uInt(j.outcap);
    const int done = deflate(&zs, j.last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool whole = done == (j.last ? Z_STREAM_END : Z_OK) && zs.avail_in == 0;
    deflateEnd(&zs);
    return whole ? j.outcap - zs.avail_out : 0;
}

// `len` bytes deflated by libdeflate into `out`, continued where the band is
// not the last; 0 on failure.
size_t deflateBlocks(const Job& j, libdeflate_compressor* c, const uint8_t* in, size_t len,
                     uint8_t* out) {
    size_t n = libdeflate_deflate_compress(c, in, len, out, j.outcap);
    if (n == 0 || (!j.last && !continue_deflate(out, &n)))
        return 0;
    return n;
}

// `len` bytes deflated by ISA-L into `out`; a band that is not the last ends
// with its own sync flush, so needs no walk. 0 on failure.
size_t deflateIsal(const Job& j, int level, const uint8_t* in, size_t len, uint8_t* out) {
    isal_zstream& zs = *j.isal;
    isal_deflate_init(&zs);
    zs.level = uint32_t(level);
    zs.level_buf = j.isal_buf;
    zs.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    zs.next_in = const_cast<uint8_t*>(in);
    zs.avail_in = uint32_t(len);
    zs.next_out = out;
    zs.avail_out = uint32_t(j.outcap);
    zs.end_of_stream = j.last;
    zs.flush = j.last ? NO_FLUSH : SYNC_FLUSH;
    if (isal_deflate(&zs) != COMP_OK || zs.avail_in != 0)
        return 0;
    return j.outcap - zs.avail_out;
}

// Keeps `len` bytes in `j.other` as the band's output when they are fewer.
void keepSmaller(Job& j, size_t len) {
    if (len > 0 && (j.outlen == 0 || len < j.outlen)) {
        std::swap(j.out, j.other);
        j.outlen = len;
    }
}

// The middle quarter of the band's filtered `rows` (at least two rows), on
// which trials tell as well as on the whole band at a quarter of the cost.
struct Sample {
    const uint8_t* data;
    size_t len;
};

Sample sampleOf(const Job& j, const uint8_t* rows) {
    const size_t stride = j.rowbytes + 1, all = size_t(j.rows);
    const size_t part = std::max(std::min<size_t>(all, 2), all / 4);
    return {rows + (all - part) / 2 * stride, part * stride};
}

// The fast trial's size for `rows`; a trial needs no continued stream.
size_t trialSize(const Job& j, const uint8_t* rows) {
    const Sample s = sampleOf(j, rows);
    return libdeflate_deflate_compress(j.trialer, s.data, s.len, j.other, j.outcap);
}

// Filters the band, and another way where the level tries more (unfiltered,
// or by entropy), and keeps the smallest of the encodings it tries.
void runJob(Job* jp, Engine e) {
    Job& j = *jp;
    const size_t n = j.rowbytes;
    j.flen = size_t(j.rows) * (n + 1);
    const Choice how = j.adaptive ? Choice::sum : Choice::none;
    filter_rows(j.raw, j.rows, n, j.bpp, j.step, how, j.filtered, j.scratch);
    size_t least = 0;  // the fast trial's size for the chosen filtering
    if (j.adaptive && e.trial) {
        // Drawings want string matching on their rows as they are, or
        // filters that keep values few; photographs want small residues.
        least = trialSize(j, j.filtered);
        for (const Choice other : {Choice::none, Choice::entropy}) {
            if (other == Choice::entropy && !e.entropy)
                continue;
            filter_rows(j.raw, j.rows, n, j.bpp, j.step, other, j.spare, j.scratch);
            if (const size_t t = trialSize(j, j.spare); t > 0 && (least == 0 || t < least)) {
                least = t;
                std::swap(j.filtered, j.spare);
            }
        }
    }
    const uint8_t* chosen = j.filtered;
    j.outlen = 0;
    // Where run lengths beat libdeflate's fastest level by 10% on the sample
    // (smooth gradients, most gray photographs), string matching at any
    // level is left out: measured, it won nothing on such bands but one
    // photograph's 1.1%, at three times the time. The first band is always
    // tried both ways: an icon is one band, and there the sample misleads.
    bool strings = true;
    if (e.quick && least > 0 && !j.first) {
        const Sample s = sampleOf(j, chosen);
        const size_t runs = deflateRle(j, s.data, s.len, j.other);
        strings = runs == 0 || runs * 10 >= least * 9;
    }
    if (strings)
        keepSmaller(j, e.isal ? deflateIsal(j, e.deflate_level, chosen, j.flen, j.other)
                              : deflateBlocks(j, j.compressor, chosen, j.flen, j.other));
    if (e.rle)
        keepSmaller(j, deflateRle(j, chosen, j.flen, j.other));
    if (j.outlen == 0 && !strings)
        keepSmaller(j, deflateBlocks(j, j.compressor, chosen, j.flen, j.other));
    j.status = j.outlen > 0 ? Z_OK : Z_BUF_ERROR;
    j.adler = adler32_z(1, chosen, j.flen);
}

// ---- The ring of bands, on the main thread --------------------------------------

// Waits for the oldest band and writes its part of the stream as an IDAT.
void retire(Deflater& d) {
    Job& j = d.jobs[d.first];
    if (j.worker.joinable())
        j.worker.join();
    if (j.status != Z_OK)
        pm_error("compression of the image data failed");
    d.adler = adler32_combine(d.adler, j.adler, z_off_t(j.flen));
    uint8_t* data = j.out;
    size_t len = j.outlen;
    if (!d.started) {
        // CMF: deflate with a 32 KiB window; FLG: the level, and a check.
        const unsigned flevel = d.level < 2 ? 0 : d.level < 6 ? 1 : d.level == 6 ? 2 : 3;
        const unsigned head = 0x78 * 256 + flevel * 64;
        data = j.out - 2;
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

// Hands the filling band to a worker and starts the next one, with the
// band's last row as the row above its first.
void launch(Deflater& d, bool last) {
    Job& j = d.jobs[d.fill];
    j.last = last;
    if (j.rows == 0 && !last)
        return;
    j.first = d.launched++ == 0;
    if (d.threads > 1)
        j.worker = std::thread(runJob, &j, d.engine);
    else
        runJob(&j, d.engine);
    ++d.busy;
    const int next = (d.fill + 1) % d.njobs;
    if (d.busy == d.njobs)
        retire(d);
    Job& n = d.jobs[next];
    std::memcpy(n.raw, j.raw + size_t(j.rows) * j.rowbytes, j.rowbytes);
    n.rows = 0;
    n.rowbytes = j.rowbytes;
    d.fill = next;
}

uint8_t* alloc(size_t bytes) {
    auto* p = static_cast<uint8_t*>(std::malloc(bytes));
    if (p == nullptr)
        pm_error("out of memory for the compression buffers");
    return p;
}

}  // namespace

// Measured on photographs, drawings and game maps: libdeflate's levels beat
// zlib's at every size, zlib's run lengths still win on many photographs'
// bands (and cost little), and trying each band unfiltered pays on drawings
// from level 3 up. Level 1 is ISA-L's level 1 alone: 3.4 times libdeflate
// 1's speed on photographs (13 on drawings), for 1.7% more on photographs and
// 4 to 10% on drawings. The default stops at libdeflate 7: 9 is 0.4% to 3%
// smaller at 1.6 to 3.7 times the time.
Engine engine_of(int level) {
    static const Engine kEngines[10] = {
        {0, false, false, false, false, false}, {1, true, false, false, false, false},
        {1, false, true, false, false, false},  {3, false, true, true, false, true},
        {4, false, true, true, false, true},    {5, false, true, true, false, true},
        {6, false, true, true, false, true},    {7, false, true, true, false, true},
        {9, false, true, true, false, true},    {12, false, true, true, true, false}};
    return kEngines[std::clamp(level, 0, 9)];
}

void start_deflater(Deflater& d, PngOut& png, int level, size_t rowbytes, size_t bpp,
                    size_t step, bool adaptive) {
    d.png = &png;
    d.level = level;
    d.engine = engine_of(level);
    d.adaptive = adaptive && level > 0;
    d.capacity = int(std::clamp<size_t>(kBand / (rowbytes + 1), 1, 1 << 20));
#ifdef TARVEX_FUZZING
    d.threads = 1;
#else
    d.threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
#endif
    d.njobs = d.threads + 1;
    d.first = d.busy = d.fill = d.launched = 0;
    d.adler = adler32(0, nullptr, 0);
    d.started = false;
    const size_t rows = size_t(d.capacity);
    const size_t filtered = rows * (rowbytes + 1);
    for (int i = 0; i < d.njobs; ++i) {
        Job& j = d.jobs[i];
        j.raw = alloc((rows + 1) * rowbytes + 1);
        j.filtered = alloc(filtered);
        j.spare = alloc(filtered);
        j.scratch = alloc(2 * rowbytes + 1);
        // Room for the zlib header in front, and behind for the stored block
        // that continues a band and for the Adler-32.
        j.outcap = std::max(libdeflate_deflate_compress_bound(nullptr, filtered),
                            size_t(deflateBound(nullptr, uLong(filtered)))) + 64;
        j.out = alloc(j.outcap + 16) + 2;
        j.other = alloc(j.outcap + 16) + 2;
        j.compressor = d.engine.isal ? nullptr
                                     : libdeflate_alloc_compressor(d.engine.deflate_level);
        j.trialer = d.engine.trial ? libdeflate_alloc_compressor(1) : nullptr;
        j.isal = nullptr;
        j.isal_buf = nullptr;
        if (d.engine.isal) {
            j.isal = static_cast<isal_zstream*>(static_cast<void*>(alloc(sizeof(isal_zstream))));
            j.isal_buf = alloc(ISAL_DEF_LVL1_DEFAULT);
        }
        if ((j.compressor == nullptr && !d.engine.isal) ||
            (d.engine.trial && j.trialer == nullptr))
            pm_error("out of memory for the compression buffers");
        j.bpp = bpp;
        j.step = step;
        j.adaptive = d.adaptive;
        j.rows = 0;
        j.rowbytes = rowbytes;
    }
}

void start_pass(Deflater& d, size_t rowbytes) {
    launch(d, false);
    Job& j = d.jobs[d.fill];
    j.rowbytes = rowbytes;
    std::memset(j.raw, 0, rowbytes);
}

uint8_t* next_row(Deflater& d) {
    Job& j = d.jobs[d.fill];
    if (j.rows == d.capacity)
        launch(d, false);
    Job& f = d.jobs[d.fill];
    return f.raw + size_t(++f.rows) * f.rowbytes;
}

void finish_deflater(Deflater& d) {
    launch(d, true);
    while (d.busy > 0)
        retire(d);
    for (int i = 0; i < d.njobs; ++i) {
        Job& j = d.jobs[i];
        for (uint8_t* p : {j.raw, j.filtered, j.spare, j.scratch})
            std::free(p);
        std::free(j.out - 2);
        std::free(j.other - 2);
        libdeflate_free_compressor(j.compressor);
        libdeflate_free_compressor(j.trialer);
        std::free(j.isal);
        std::free(j.isal_buf);
    }
}

}  // namespace belvane
