// SPDX-License-Identifier: MIT
// The image data: every row rebuilt from the rasters at the layout's depth,
// filtered row by row and handed to the deflater.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "deflater.h"
#include "png_facts.h"

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
    uint8_t* bytes;  // a raw row of the image, then one of the mask
    KeyMemo* memo;  // palette entries of keys
    bool gray;      // the image's value is in `b` alone
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

void readRow(const Source& s, rgbpixel* row) {
    pnm_readpnmrow(s.file, row, s.cols, s.maxval, s.format);
}

// A PBM row is already PNG's 1-bit gray, but for the sense of its bits.
void readBits(const Source& s, uint8_t* row) {
    std::memset(row, 0, pbm_packed_bytes(unsigned(s.cols)));  // a plain row is ORed in
    pbm_readpbmrow_packed(s.file, row, s.cols, s.format);
    tarvex::png::flip_bits(row, row, uint32_t(s.cols));
}

// ---- Raw rows as bytes -----------------------------------------------------------

bool isRaw(const Source& s) {
    return s.format == PGM_RAW_CODE || s.format == PPM_RAW_CODE;
}

int samplesOf(const Source& s) { return s.format == PPM_RAW_CODE ? 3 : 1; }

size_t rawBytes(const Source& s) {
    return size_t(s.cols) * size_t(samplesOf(s)) * (s.maxval < 256 ? 1 : 2);
}

// The raster was checked to be all there, but the file may still end early.
void readRaw(const Source& s, uint8_t* buf, size_t n) {
    if (std::fread(buf, 1, n, s.file) != n)
        pm_error("EOF / read error reading a raw row");
}

// A raw row whose bytes are already the layout's: full-scale samples of one
// or two bytes, no alpha.
bool verbatim(const Rows& r) {
    const Source& s = *r.image;
    return r.mask == nullptr && !s.rescaled &&
           ((s.maxval == 255 && r.layout->depth == 8) ||
            (s.maxval == 65535 && r.layout->depth == 16));
}

// The stored samples of a raw row (and mask row), interleaved as the layout's
// pixels: each sample through its table.
template <int In, int Out>
void storeRaw(const Rows& r, const uint8_t* img, const uint8_t* alpha, uint8_t* out) {
    const int channels = samplesOf(*r.image);
    const auto get = [](const uint8_t* p, size_t i) {
        return In == 1 ? unsigned(p[i]) : unsigned(p[2 * i] << 8 | p[2 * i + 1]);
    };
    const auto put = [&out](unsigned v) {
        if (Out == 2)
            *out++ = uint8_t(v >> 8);
        *out++ = uint8_t(v);
    };
    size_t k = 0;
    for (int x = 0; x < r.image->cols; ++x) {
        for (int c = 0; c < channels; ++c)
            put(valueTable[get(img, k++)]);
        if (alpha != nullptr)
            put(alphaTable[get(alpha, size_t(x))]);
    }
}

void storeRawRow(const Rows& r, const uint8_t* img, const uint8_t* alpha, uint8_t* out) {
    const bool wide = r.image->maxval > 255, deep = r.layout->depth == 16;
    if (!wide)
        deep ? storeRaw<1, 2>(r, img, alpha, out) : storeRaw<1, 1>(r, img, alpha, out);
    else
        deep ? storeRaw<2, 2>(r, img, alpha, out) : storeRaw<2, 1>(r, img, alpha, out);
}

// Whole rows of raw maps go to the bands as bytes, without rgbpixels.
bool rawPath(const Rows& r, const Pass& p) {
    const Source* m = r.mask;
    return p.dx == 1 && p.dy == 1 && isRaw(*r.image) && r.layout->color_type != 3 &&
           r.layout->depth >= 8 &&
           (m == nullptr || (m->format == PGM_RAW_CODE &&
                             (m->maxval > 255) == (r.image->maxval > 255)));
}

void writeRawPass(Deflater& d, Rows& r) {
    const Source& img = *r.image;
    const size_t n = rawBytes(img);
    const bool same = verbatim(r);
    for (int y = 0; y < img.rows; ++y) {
        uint8_t* row = next_row(d);
        if (same) {
            readRaw(img, row, n);
            continue;
        }
        readRaw(img, r.bytes, n);
        uint8_t* alpha = nullptr;
        if (r.mask != nullptr) {
            alpha = r.bytes + n;
            readRaw(*r.mask, alpha, rawBytes(*r.mask));
        }
        storeRawRow(r, r.bytes, alpha, row);
    }
}

void writePass(Deflater& d, Rows& r, const Pass& p) {
    const Source& img = *r.image;
    if (p.x0 >= img.cols || p.y0 >= img.rows)
        return;
    pm_seek2(img.file, &img.raster, sizeof img.raster);
    if (r.mask != nullptr)
        pm_seek2(r.mask->file, &r.mask->raster, sizeof r.mask->raster);
    const size_t width = size_t(img.cols - p.x0 + p.dx - 1) / size_t(p.dx);
    start_pass(d, (width * size_t(r.layout->channels * r.layout->depth) + 7) / 8);
    if (rawPath(r, p))
        return writeRawPass(d, r);
    const bool bits = p.dx == 1 && p.dy == 1 && PNM_FORMAT_TYPE(img.format) == PBM_PLAIN_CODE &&
                      r.layout->color_type == 0;
    for (int y = 0; y < img.rows && bits; ++y)
        readBits(img, next_row(d));
    for (int y = 0; y < img.rows && !bits; ++y) {
        readRow(img, r.pixels);
        if (r.mask != nullptr)
            readRow(*r.mask, r.alphas);
        if (y < p.y0 || (y - p.y0) % p.dy != 0)
            continue;
        pack(r.samples, gather(r, p), r.layout->depth, next_row(d));
    }
}

}  // namespace

void write_image_data(PngOut& out, const Options& opt, const Source& image,
                      const Source* mask, const Layout& l) {
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
    const size_t pixelBytes = size_t(std::max(1, l.channels * l.depth / 8));
    r.pixels = static_cast<rgbpixel*>(pm_allocrow(cols, sizeof(rgbpixel)));
    r.alphas = static_cast<rgbpixel*>(pm_allocrow(cols, sizeof(rgbpixel)));
    r.samples = static_cast<uint16_t*>(pm_allocrow(cols, unsigned(l.channels * 2)));
    r.bytes = static_cast<uint8_t*>(pm_allocrow(cols, 8));
    static KeyMemo memo;
    clear_memo(memo);
    r.memo = &memo;
    r.gray = PNM_FORMAT_TYPE(image.format) != PPM_PLAIN_CODE;

    Deflater d;
    const size_t rowBytes = (size_t(cols) * size_t(l.channels * l.depth) + 7) / 8;
    start_deflater(d, out, opt.compression, rowBytes, pixelBytes, l.depth == 16 ? 2 : 1,
                   l.color_type != 3 && l.depth >= 8);
    const Pass* passes = opt.interlace ? kAdam7 : kWhole;
    for (int i = 0; i < (opt.interlace ? 7 : 1); ++i)
        writePass(d, r, passes[i]);
    finish_deflater(d);
    pm_freerow(r.pixels);
    pm_freerow(r.alphas);
    pm_freerow(r.samples);
    pm_freerow(r.bytes);
}

}  // namespace belvane
