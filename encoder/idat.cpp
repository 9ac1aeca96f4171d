// The image data: every row rebuilt from the rasters at the layout's depth,
// filtered, and deflated in segments, as many at once as there are cores.
// Each segment is primed with the 32 KiB before it and ends on a byte
// boundary, so their concatenation is one zlib stream.
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "png_out.h"

namespace belvane {

namespace {

constexpr size_t kSegment = size_t(1) << 20;  // filtered bytes per job
constexpr size_t kWindow = 32768;             // deflate's history
constexpr int kMaxJobs = 5;

struct Job {
    uint8_t* in;     // history, then the segment
    size_t history, len;
    uint8_t* out;    // 2 bytes of room for the zlib header, the stream, 4 for Adler-32
    uint8_t* spare;  // the same, for trying another strategy
    size_t outcap, outlen;
    bool last;
    int level, strategies[2], nstrategies, chosen;
    int status;
    std::thread worker;
};

struct Deflater {
    PngOut* png;
    int level, threads, njobs;
    int strategies[2];  // tried on the first segment (every one, from level 7)
    int chosen;         // -1 until the first segment has chosen
    Job jobs[kMaxJobs];
    int first, busy, fill;  // oldest job in flight, jobs in flight, job filling
    uLong adler;
    bool started;
};

// The segment deflated with one strategy into `out`; 0 when zlib fails.
size_t deflateWith(const Job& j, int strategy, uint8_t* out) {
    z_stream zs{};
    if (deflateInit2(&zs, j.level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        return 0;
    if (j.history > 0)
        deflateSetDictionary(&zs, j.in, uInt(j.history));
    zs.next_in = j.in + j.history;
    zs.avail_in = uInt(j.len);
    zs.next_out = out + 2;
    zs.avail_out = uInt(j.outcap - 6);
    const int done = deflate(&zs, j.last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool whole = done == (j.last ? Z_STREAM_END : Z_OK) && zs.avail_in == 0;
    deflateEnd(&zs);
    return whole ? j.outcap - 6 - zs.avail_out : 0;
}

// Keeps the smallest of the job's strategies.
void deflateJob(Job* j) {
    j->status = Z_BUF_ERROR;
    for (int i = 0; i < j->nstrategies; ++i) {
        const size_t len = deflateWith(*j, j->strategies[i], j->spare);
        if (len > 0 && (j->status != Z_OK || len < j->outlen)) {
            std::swap(j->out, j->spare);
            j->outlen = len;
            j->chosen = j->strategies[i];
            j->status = Z_OK;
        }
    }
}

// Filtered photographs are mostly noise in the low bits, which run-length
// and Huffman coding compress better than string matching and several
// times faster; drawings and palettes are the other way round. The first
// segment tries both.
void startDeflater(Deflater& d, PngOut& png, bool filtered) {
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
    const bool tryAll = d.chosen < 0 || d.level >= 7;
    j.nstrategies = tryAll ? 2 : 1;
    std::copy(d.strategies, d.strategies + 2, j.strategies);
    if (!tryAll)
        j.strategies[0] = d.chosen;
    // The first segment chooses before the others start.
    if (d.threads > 1 && d.chosen >= 0) {
        j.worker = std::thread(deflateJob, &j);
    } else {
        deflateJob(&j);
        if (d.chosen < 0 && j.status == Z_OK)
            d.chosen = j.chosen;
    }
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

void append(Deflater& d, const uint8_t* p, size_t n) {
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

void finish(Deflater& d) {
    launch(d, true);
    while (d.busy > 0)
        retire(d);
    for (int i = 0; i < d.njobs; ++i) {
        std::free(d.jobs[i].in);
        std::free(d.jobs[i].out);
        std::free(d.jobs[i].spare);
    }
}

// ---- Rows --------------------------------------------------------------------

struct Pass {
    int x0, y0, dx, dy;
};
constexpr Pass kWhole[1] = {{0, 0, 1, 1}};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

struct Rows {
    const Source* image;
    const Source* mask;  // null when the layout stores no alpha
    const Layout* layout;
    rgbpixel* pixels;
    rgbpixel* alphas;
    uint16_t* samples;
    uint8_t *raw, *prev, *best, *trial;
    KeyMemo* memo;  // palette entries of keys
    bool gray;      // the image's value is in `b` alone
    bool adaptive;  // choose a filter per row; else none
};

// Stored values of every sample value, and 8-bit census keys for palettes.
uint16_t valueTable[65536], alphaTable[65536];
uint8_t keyTable[256], alphaKeyTable[256];

void fillTable(const Source& s, int to, uint16_t* table) {
    for (sampleval v = 0; v <= s.maxval; ++v)
        table[v] = uint16_t(replicate(significant(s, v), s.bits, to));
}

// The samples of pixels x0, x0 + dx, ... of the rows read; returns how many.
size_t gather(Rows& r, const Pass& p) {
    const Layout& l = *r.layout;
    const rgbpixel* px = r.pixels;
    const rgbpixel* al = r.alphas;
    uint16_t* s = r.samples;
    for (int x = p.x0; x < r.image->cols; x += p.dx) {
        const rgbpixel& c = px[x];
        switch (l.color_type) {
        case 3: {
            const rgbpixel k = census_key(keyTable[r.gray ? c.b : c.r],
                                          keyTable[r.gray ? c.b : c.g], keyTable[c.b],
                                          r.mask ? alphaKeyTable[al[x].b] : 255);
            *s++ = uint16_t(lookup_key(*r.memo, l.index, k));
            break;
        }
        case 0: *s++ = valueTable[c.b]; break;
        case 4: *s++ = valueTable[c.b]; *s++ = alphaTable[al[x].b]; break;
        case 2:
            *s++ = valueTable[c.r]; *s++ = valueTable[c.g]; *s++ = valueTable[c.b];
            break;
        default:
            *s++ = valueTable[c.r]; *s++ = valueTable[c.g]; *s++ = valueTable[c.b];
            *s++ = alphaTable[al[x].b];
        }
    }
    return size_t(s - r.samples);
}

// Packs samples at the depth into bytes, the first pixel leftmost.
size_t pack(const uint16_t* s, size_t n, int depth, uint8_t* out) {
    if (depth == 16) {
        for (size_t i = 0; i < n; ++i) {
            out[2 * i] = uint8_t(s[i] >> 8);
            out[2 * i + 1] = uint8_t(s[i]);
        }
        return 2 * n;
    }
    if (depth == 8) {
        for (size_t i = 0; i < n; ++i)
            out[i] = uint8_t(s[i]);
        return n;
    }
    const size_t bytes = (n * size_t(depth) + 7) / 8;
    std::memset(out, 0, bytes);
    const int perByte = 8 / depth;
    for (size_t i = 0; i < n; ++i)
        out[i / size_t(perByte)] |= uint8_t(s[i] << (8 - depth * int(i % size_t(perByte) + 1)));
    return bytes;
}

// The four predictors, each over a whole row: the first `bpp` bytes have
// no left neighbour (nor an upper-left one), which counts as 0.
void filter(int type, const uint8_t* raw, const uint8_t* up, size_t n, size_t bpp,
            uint8_t* out) {
    const size_t head = std::min(n, bpp);
    switch (type) {
    case 1:
        std::memcpy(out, raw, head);
        for (size_t i = head; i < n; ++i)
            out[i] = uint8_t(raw[i] - raw[i - bpp]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i)
            out[i] = uint8_t(raw[i] - up[i]);
        break;
    case 3:
        for (size_t i = 0; i < head; ++i)
            out[i] = uint8_t(raw[i] - up[i] / 2);
        for (size_t i = head; i < n; ++i)
            out[i] = uint8_t(raw[i] - (raw[i - bpp] + up[i]) / 2);
        break;
    default:
        for (size_t i = 0; i < head; ++i)
            out[i] = uint8_t(raw[i] - up[i]);
        for (size_t i = head; i < n; ++i) {
            const int a = raw[i - bpp], b = up[i], c = up[i - bpp];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            out[i] = uint8_t(raw[i] - (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
        }
    }
}

uint64_t cost(const uint8_t* p, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += uint64_t(std::abs(int(int8_t(p[i]))));
    return sum;
}

// Filters the row (each filter tried, the smallest sum of signed bytes
// wins, where the layout is filtered at all) and appends it.
void emitRow(Deflater& d, Rows& r, size_t n) {
    const size_t bpp = std::max<size_t>(1, size_t(r.layout->channels * r.layout->depth / 8));
    uint8_t type = 0;
    const uint8_t* out = r.raw;
    if (r.adaptive) {
        uint64_t least = cost(r.raw, n);
        for (int t = 1; t <= 4; ++t) {
            filter(t, r.raw, r.prev, n, bpp, r.trial);
            const uint64_t c = cost(r.trial, n);
            if (c < least) {
                least = c;
                type = uint8_t(t);
                std::swap(r.trial, r.best);
            }
        }
        if (type != 0)
            out = r.best;
    }
    append(d, &type, 1);
    append(d, out, n);
    std::swap(r.raw, r.prev);
}

void readRow(const Source& s, rgbpixel* row) {
    pnm_readpnmrow(s.file, row, s.cols, s.maxval, s.format);
}

void writePass(Deflater& d, Rows& r, const Pass& p) {
    const Source& img = *r.image;
    if (p.x0 >= img.cols || p.y0 >= img.rows)
        return;
    pm_seek2(img.file, &img.raster, sizeof img.raster);
    if (r.mask != nullptr)
        pm_seek2(r.mask->file, &r.mask->raster, sizeof r.mask->raster);
    const size_t width = size_t(img.cols - p.x0 + p.dx - 1) / size_t(p.dx);
    const size_t rowBytes = (width * size_t(r.layout->channels * r.layout->depth) + 7) / 8;
    std::memset(r.prev, 0, rowBytes);
    for (int y = 0; y < img.rows; ++y) {
        readRow(img, r.pixels);
        if (r.mask != nullptr)
            readRow(*r.mask, r.alphas);
        if (y < p.y0 || (y - p.y0) % p.dy != 0)
            continue;
        emitRow(d, r, pack(r.samples, gather(r, p), r.layout->depth, r.raw));
    }
}

}  // namespace

void write_image_data(PngOut& out, const Source& image, const Source* mask,
                      const Layout& l) {
    Rows r{};
    r.image = &image;
    r.layout = &l;
    const bool alphaStored = l.color_type >= 4 || (l.color_type == 3 && mask != nullptr);
    r.mask = alphaStored ? mask : nullptr;
    if (l.color_type == 3) {
        fillTable(image, 8, valueTable);
        for (sampleval v = 0; v <= image.maxval && v < 256; ++v)
            keyTable[v] = uint8_t(valueTable[v]);
        if (r.mask != nullptr) {
            fillTable(*mask, 8, alphaTable);
            for (sampleval v = 0; v <= mask->maxval && v < 256; ++v)
                alphaKeyTable[v] = uint8_t(alphaTable[v]);
        }
    } else {
        fillTable(image, l.depth, valueTable);
        if (r.mask != nullptr)
            fillTable(*mask, l.depth, alphaTable);
    }
    const unsigned cols = unsigned(image.cols);
    const unsigned pixelBytes = unsigned(std::max(1, l.channels * l.depth / 8));
    r.pixels = static_cast<rgbpixel*>(pm_allocrow(cols, sizeof(rgbpixel)));
    r.alphas = static_cast<rgbpixel*>(pm_allocrow(cols, sizeof(rgbpixel)));
    r.samples = static_cast<uint16_t*>(pm_allocrow(cols, unsigned(l.channels * 2)));
    uint8_t** bufs[] = {&r.raw, &r.prev, &r.best, &r.trial};
    for (uint8_t** b : bufs)
        *b = static_cast<uint8_t*>(pm_allocrow(cols, pixelBytes));
    static KeyMemo memo;
    clear_memo(memo);
    r.memo = &memo;
    r.gray = PNM_FORMAT_TYPE(image.format) != PPM_PLAIN_CODE;
    r.adaptive = l.color_type != 3 && l.depth >= 8;

    Deflater d;
    startDeflater(d, out, r.adaptive);
    const Pass* passes = interlace ? kAdam7 : kWhole;
    for (int i = 0; i < (interlace ? 7 : 1); ++i)
        writePass(d, r, passes[i]);
    finish(d);
    pm_freerow(r.pixels);
    pm_freerow(r.alphas);
    pm_freerow(r.samples);
    for (uint8_t** b : bufs)
        pm_freerow(*b);
}

}  // namespace belvane
