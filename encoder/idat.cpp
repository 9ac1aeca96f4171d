// The image data: every row rebuilt from the rasters at the layout's depth,
// filtered row by row and handed to the deflater.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "deflater.h"

namespace belvane {

namespace {

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

uint64_t cost(const uint8_t* p, size_t n, size_t step) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; i += step)
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
        // Low bytes of 16-bit samples are mostly noise that no filter predicts:
        // the high bytes alone choose.
        const size_t step = r.layout->depth == 16 ? 2 : 1;
        uint64_t least = cost(r.raw, n, step);
        for (int t = 1; t <= 4; ++t) {
            filter(t, r.raw, r.prev, n, bpp, r.trial);
            const uint64_t c = cost(r.trial, n, step);
            if (c < least) {
                least = c;
                type = uint8_t(t);
                std::swap(r.trial, r.best);
            }
        }
        if (type != 0)
            out = r.best;
    }
    deflate_append(d, &type, 1);
    deflate_append(d, out, n);
    std::swap(r.raw, r.prev);
}

void readRow(const Source& s, rgbpixel* row) {
    pnm_readpnmrow(s.file, row, s.cols, s.maxval, s.format);
}

// A PBM row is already PNG's 1-bit gray, but for black being 1.
size_t readBits(const Source& s, uint8_t* row) {
    const size_t n = pbm_packed_bytes(unsigned(s.cols));
    std::memset(row, 0, n);
    pbm_readpbmrow_packed(s.file, row, s.cols, s.format);
    for (size_t i = 0; i < n; ++i)
        row[i] = uint8_t(~row[i]);
    if (s.cols % 8 != 0)
        row[n - 1] &= uint8_t(0xff00 >> (s.cols % 8));
    return n;
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
    const bool bits = p.dx == 1 && p.dy == 1 && PNM_FORMAT_TYPE(img.format) == PBM_PLAIN_CODE &&
                      r.layout->color_type == 0;
    for (int y = 0; y < img.rows && bits; ++y)
        emitRow(d, r, readBits(img, r.raw));
    for (int y = 0; y < img.rows && !bits; ++y) {
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
    start_deflater(d, out, r.adaptive);
    const Pass* passes = interlace ? kAdam7 : kWhole;
    for (int i = 0; i < (interlace ? 7 : 1); ++i)
        writePass(d, r, passes[i]);
    finish_deflater(d);
    pm_freerow(r.pixels);
    pm_freerow(r.alphas);
    pm_freerow(r.samples);
    for (uint8_t** b : bufs)
        pm_freerow(*b);
}

}  // namespace belvane
