// SPDX-License-Identifier: MIT
// The image data's rows: every row rebuilt from the rasters at the layout's
// depth, Adam7's passes in turn, for the deflater to filter and compress.
#include "image_rows.h"

#include <algorithm>
#include <cstring>

#include "png_facts.h"

namespace belvane {

namespace {

namespace png = tarvex::png;

struct Pass {
    int x0, y0, dx, dy;
};
constexpr Pass kWhole[1] = {{0, 0, 1, 1}};
constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

const Pass& passOf(const ImageRows& r) {
    return r.interlace ? kAdam7[r.pass] : kWhole[0];
}

void fillTable(const Source& s, int to, std::vector<uint16_t>& table) {
    table.assign(size_t(s.maxval) + 1, 0);
    for (sampleval v = 0; v <= s.maxval; ++v)
        table[v] = uint16_t(replicate(significant(s, v), s.bits, to));
}

// The samples of pixels x0, x0 + dx, ... of the rows read; returns how many.
size_t gather(ImageRows& r, const Pass& p) {
    const Layout& l = *r.layout;
    const bool gray = PNM_FORMAT_TYPE(r.image->format) != PPM_PLAIN_CODE;
    const uint8_t* key = r.keys->image;
    const uint16_t* value = r.value.data();
    const uint16_t* alpha = r.alpha.data();
    const rgbpixel* px = r.pixels;
    const rgbpixel* al = r.alphas;
    uint16_t* s = r.samples;
    for (int x = p.x0; x < r.image->cols; x += p.dx) {
        const rgbpixel& c = px[x];
        switch (l.color_type) {
        case png::kPalette: {
            const rgbpixel k = census_key(key[gray ? c.b : c.r], key[gray ? c.b : c.g],
                                          key[c.b], r.mask ? r.keys->mask[al[x].b] : 255);
            *s++ = uint16_t(lookup_key(r.memo, l.index, k));
            break;
        }
        case png::kGray: *s++ = value[c.b]; break;
        case png::kGrayAlpha: *s++ = value[c.b]; *s++ = alpha[al[x].b]; break;
        case png::kRgb:
            *s++ = value[c.r]; *s++ = value[c.g]; *s++ = value[c.b];
            break;
        default:
            *s++ = value[c.r]; *s++ = value[c.g]; *s++ = value[c.b];
            *s++ = alpha[al[x].b];
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
    png::flip_bits(row, row, uint32_t(s.cols));
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

// The stored samples of a raw row (and mask row), interleaved as the layout's
// pixels: each sample through its table.
template <int In, int Out>
void storeRaw(const ImageRows& r, const uint8_t* img, const uint8_t* alpha, uint8_t* out) {
    const int channels = samplesOf(*r.image);
    const uint16_t* value = r.value.data();
    const uint16_t* alphaValue = r.alpha.data();
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
            put(value[get(img, k++)]);
        if (alpha != nullptr)
            put(alphaValue[get(alpha, size_t(x))]);
    }
}

void storeRawRow(const ImageRows& r, const uint8_t* img, const uint8_t* alpha, uint8_t* out) {
    const bool wide = r.image->maxval > 255, deep = r.layout->depth == 16;
    if (!wide)
        deep ? storeRaw<1, 2>(r, img, alpha, out) : storeRaw<1, 1>(r, img, alpha, out);
    else
        deep ? storeRaw<2, 2>(r, img, alpha, out) : storeRaw<2, 1>(r, img, alpha, out);
}

// How the rows of the pass `p` are read: whole rows of raw maps go to the
// bands as bytes, without rgbpixels.
RowPath pathOf(const ImageRows& r, const Pass& p) {
    const Source& img = *r.image;
    const Source* m = r.mask;
    const Layout& l = *r.layout;
    if (p.dx != 1 || p.dy != 1)
        return RowPath::pixels;
    if (PNM_FORMAT_TYPE(img.format) == PBM_PLAIN_CODE && l.color_type == png::kGray)
        return RowPath::bits;
    const bool raw = isRaw(img) && l.color_type != png::kPalette && l.depth >= 8 &&
                     (m == nullptr || (m->format == PGM_RAW_CODE &&
                                       (m->maxval > 255) == (img.maxval > 255)));
    if (!raw)
        return RowPath::pixels;
    const bool same = m == nullptr && !img.rescaled &&
                      ((img.maxval == 255 && l.depth == 8) ||
                       (img.maxval == 65535 && l.depth == 16));
    return same ? RowPath::verbatim : RowPath::raw;
}

// Opens the next pass that holds pixels; false after the last.
bool openPass(ImageRows& r) {
    const Source& img = *r.image;
    for (++r.pass; r.pass < (r.interlace ? 7 : 1); ++r.pass) {
        const Pass& p = passOf(r);
        if (p.x0 >= img.cols || p.y0 >= img.rows)
            continue;
        pm_seek2(img.file, &img.raster, sizeof img.raster);
        if (r.mask != nullptr)
            pm_seek2(r.mask->file, &r.mask->raster, sizeof r.mask->raster);
        const size_t width = size_t(img.cols - p.x0 + p.dx - 1) / size_t(p.dx);
        r.rowbytes = (width * size_t(r.layout->channels * r.layout->depth) + 7) / 8;
        r.left = (img.rows - p.y0 + p.dy - 1) / p.dy;
        r.y = 0;
        r.path = pathOf(r, p);
        return true;
    }
    return false;
}

}  // namespace

void start_rows(ImageRows& r, const Source& image, const Source* mask, const Layout& l,
                const KeyTables& keys, bool interlace) {
    r.image = &image;
    r.layout = &l;
    r.keys = &keys;
    r.interlace = interlace;
    const bool alphaStored = png::has_alpha(l.color_type) ||
                             (l.color_type == png::kPalette && mask != nullptr);
    r.mask = alphaStored ? mask : nullptr;
    if (l.color_type != png::kPalette) {
        fillTable(image, l.depth, r.value);
        if (r.mask != nullptr)
            fillTable(*mask, l.depth, r.alpha);
    }
    const unsigned cols = unsigned(image.cols);
    r.pixels = static_cast<rgbpixel*>(pm_allocrow(cols, sizeof(rgbpixel)));
    r.alphas = static_cast<rgbpixel*>(pm_allocrow(cols, sizeof(rgbpixel)));
    r.samples = static_cast<uint16_t*>(pm_allocrow(cols, unsigned(l.channels * 2)));
    r.bytes = static_cast<uint8_t*>(pm_allocrow(cols, 8));
    clear_memo(r.memo);
    r.pass = -1;
    r.left = 0;
}

size_t next_row_bytes(ImageRows& r, bool* fresh) {
    *fresh = false;
    if (r.left == 0) {
        if (!openPass(r))
            return 0;
        *fresh = true;
    }
    return r.rowbytes;
}

void read_row(ImageRows& r, uint8_t* out) {
    const Source& img = *r.image;
    --r.left;
    switch (r.path) {
    case RowPath::bits: return readBits(img, out);
    case RowPath::verbatim: return readRaw(img, out, rawBytes(img));
    case RowPath::raw: {
        const size_t n = rawBytes(img);
        readRaw(img, r.bytes, n);
        uint8_t* alpha = nullptr;
        if (r.mask != nullptr) {
            alpha = r.bytes + n;
            readRaw(*r.mask, alpha, rawBytes(*r.mask));
        }
        return storeRawRow(r, r.bytes, alpha, out);
    }
    case RowPath::pixels: break;
    }
    const Pass& p = passOf(r);
    for (;;) {
        const int y = r.y++;
        readRow(img, r.pixels);
        if (r.mask != nullptr)
            readRow(*r.mask, r.alphas);
        if (y >= p.y0 && (y - p.y0) % p.dy == 0)
            break;
    }
    pack(r.samples, gather(r, p), r.layout->depth, out);
}

void free_rows(ImageRows& r) {
    pm_freerow(r.pixels);
    pm_freerow(r.alphas);
    pm_freerow(r.samples);
    pm_freerow(r.bytes);
    r = ImageRows{};
}

}  // namespace belvane
