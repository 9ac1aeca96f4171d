// SPDX-License-Identifier: MIT
// The choice of PNG layout: colour type, bit depth, significant bits,
// palette and transparency, such that corvane gives the input back; the
// one with the fewest raw bytes first.
#include <algorithm>
#include <tuple>
#include <utility>

#include "belvane.h"
#include "png_facts.h"

namespace belvane {

namespace {

namespace png = tarvex::png;

int wide(int bits) { return bits <= 8 ? 8 : 16; }

// One-bit gray converts back as PBM, so a PGM's gray needs two bits at least.
int grayDepth(int bits, bool bilevel) {
    if (bilevel)
        return 1;
    if (bits <= 2)
        return 2;
    return bits <= 4 ? 4 : wide(bits);
}

// The bytes to compress, and those of the chunks that only some layouts
// need (PLTE, and tRNS of a palette or a colour), 12 of them framing each.
uint64_t rasterBytes(const Source& s, const Layout& l) {
    const uint64_t rowBits = uint64_t(s.cols) * l.channels * l.depth;
    const uint64_t chunks = (l.npalette ? 12 + 3 * l.npalette : 0) +
                            (l.ntrns ? 12 + l.ntrns : 0) + (l.key ? 12 + 2 * l.channels : 0);
    return uint64_t(s.rows) * ((rowBits + 7) / 8 + 1) + chunks;
}

// A colour at the image's stored bits, as 8-bit palette bytes.
void toBytes(const rgbpixel& c, int bits, uint8_t* rgb) {
    rgb[0] = uint8_t(replicate(c.r, bits, 8));
    rgb[1] = uint8_t(replicate(c.g, bits, 8));
    rgb[2] = uint8_t(replicate(c.b, bits, 8));
}

void setColor(uint16_t* dst, const rgbpixel& c, const Layout& l) {
    const bool gray = png::color_channels(l.color_type) == 1;
    dst[0] = uint16_t(replicate(gray ? c.b : c.r, l.bits, l.depth));
    dst[1] = uint16_t(replicate(gray ? c.b : c.g, l.bits, l.depth));
    dst[2] = uint16_t(replicate(c.b, l.bits, l.depth));
}

// With a mask of maxval 1: the one colour whose pixels, and no others, the
// mask hides, so that a tRNS colour key stands for the whole mask.
bool findKey(const colorhist hist, int n, int bits, rgbpixel* keyP) {
    int hidden = -1;
    for (int i = 0; i < n; ++i) {
        if ((hist[i].color.b >> 8) != 0)
            continue;
        if (hidden >= 0)
            return false;
        hidden = i;
    }
    if (hidden < 0)
        return false;
    const rgbpixel h = hist[hidden].color;
    for (int i = 0; i < n; ++i)
        if (i != hidden && hist[i].color.r == h.r && hist[i].color.g == h.g &&
            (hist[i].color.b & 255) == (h.b & 255))
            return false;
    const int shift = 8 - bits;
    *keyP = rgbpixel{h.r >> shift, h.g >> shift, (h.b & 255) >> shift};
    return true;
}

Layout directLayout(int bits, bool gray, bool bilevel, int alphaBits) {
    Layout l;
    l.bits = bits;
    l.alpha_bits = alphaBits;
    if (alphaBits > 0) {
        l.color_type = gray ? png::kGrayAlpha : png::kRgbAlpha;
        l.depth = std::max(wide(bits), wide(alphaBits));
    } else {
        l.color_type = gray ? png::kGray : png::kRgb;
        l.depth = gray ? grayDepth(bits, bilevel) : wide(bits);
    }
    l.channels = png::channels(l.color_type);
    return l;
}

struct Entry {
    uint8_t rgb[3];
    uint8_t alpha;
    bool used;          // some pixel has it: `key` finds it
    rgbpixel key;
};

bool isGray(const Entry& e) { return e.rgb[0] == e.rgb[1] && e.rgb[1] == e.rgb[2]; }

int findEntry(const Entry* e, int n, const uint8_t* rgb) {
    for (int i = 0; i < n; ++i)
        if (std::equal(rgb, rgb + 3, e[i].rgb))
            return i;
    return -1;
}

// The palette of the counted colours; false when it needs more than 256
// entries. corvane writes PPM only when some entry is not gray, and a
// 256-level mask only when some alpha is neither 0 nor 255: an unused entry
// makes sure of each where the pixels alone would not.
bool paletteLayout(Layout& l, const colorhist hist, int n, bool gray,
                   bool mask8, const Request& rq) {
    Entry e[259];
    uint8_t special[3];
    if (rq.transparent)
        toBytes(rq.transparent_color, l.bits, special);
    for (int i = 0; i < n; ++i) {
        const rgbpixel k = hist[i].color;
        e[i] = Entry{{uint8_t(k.r), uint8_t(k.g), uint8_t(k.b & 255)},
                     uint8_t(k.b >> 8), true, k};
        if (rq.transparent && std::equal(special, special + 3, e[i].rgb))
            e[i].alpha = 0;
    }
    if (rq.background) {
        toBytes(rq.background_color, l.bits, special);
        if (findEntry(e, n, special) < 0)
            e[n++] = Entry{{special[0], special[1], special[2]}, 255, false, {}};
    }
    const bool needColor = !gray && std::all_of(e, e + n, isGray);
    const bool needMidAlpha = mask8 && std::all_of(e, e + n, [](const Entry& x) {
        return x.alpha == 0 || x.alpha == 255;
    });
    if (needColor || needMidAlpha)
        e[n++] = Entry{{uint8_t(gray ? 0 : 255), 0, 0},
                       uint8_t(needMidAlpha ? 128 : 255), false, {}};
    if (n > 256)
        return false;
    // In the order of their values, neighbouring colours get neighbouring
    // indices, which the filters can then predict: a ramp stored in the
    // order of a hash compresses a third worse.
    std::sort(e, e + n, [](const Entry& x, const Entry& y) {
        return std::tie(x.rgb[0], x.rgb[1], x.rgb[2], x.alpha) <
               std::tie(y.rgb[0], y.rgb[1], y.rgb[2], y.alpha);
    });
    // tRNS covers only the entries in front.
    std::stable_partition(e, e + n, [](const Entry& x) { return x.alpha < 255; });
    l.color_type = png::kPalette;
    l.channels = 1;
    l.depth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    l.npalette = n;
    l.index = ppm_alloccolorhash();
    for (int i = 0; i < n; ++i) {
        std::copy(e[i].rgb, e[i].rgb + 3, l.palette[i]);
        l.trns[i] = e[i].alpha;
        l.ntrns += e[i].alpha < 255;
        if (e[i].used && ppm_addtocolorhash(l.index, &e[i].key, i) < 0)
            pm_error("out of memory building the palette");
    }
    if (rq.background) {
        l.bkgd = true;
        l.bkgd_color[0] = uint16_t(findEntry(e, n, special));
    }
    return true;
}

}  // namespace

Layouts choose_layouts(const Source& image, const Source* mask, Census& census,
                       const Request& rq) {
    const int family = PNM_FORMAT_TYPE(image.format);
    const bool gray = family != PPM_PLAIN_CODE, bilevel = family == PBM_PLAIN_CODE;
    const int m = mask != nullptr ? mask->bits : 0;
    colorhist hist = census.colors != nullptr
                         ? ppm_colorhashtocolorhist(census.colors, 256) : nullptr;
    rgbpixel key{};
    const bool keyed = hist != nullptr && m == 1 &&
                       findKey(hist, census.ncolors, image.bits, &key);
    const bool needAlpha = mask != nullptr && !(m == 1 && (census.opaque || keyed));

    Layout direct = directLayout(image.bits, gray, bilevel, needAlpha ? m : 0);
    direct.key = keyed || rq.transparent;
    if (direct.key)
        setColor(direct.key_color, keyed ? key : rq.transparent_color, direct);
    direct.bkgd = rq.background;
    if (direct.bkgd)
        setColor(direct.bkgd_color, rq.background_color, direct);
    if (bilevel && needAlpha)
        pm_message("a bilevel image with this mask is stored as gray with "
                   "alpha: it converts back as a PGM of maxval 1");

    // A palette of a bilevel image would convert back as PGM, and a palette
    // mask back at maxval 1 or 255 only.
    Layouts c;
    c.layout[c.count++] = direct;
    if (hist != nullptr && !(bilevel && !needAlpha) && (m == 0 || m == 1 || m == 8)) {
        Layout pal;
        pal.bits = image.bits;
        if (paletteLayout(pal, hist, census.ncolors, gray, m == 8, rq)) {
            c.layout[c.count++] = pal;
            if (rasterBytes(image, pal) < rasterBytes(image, direct))
                std::swap(c.layout[0], c.layout[1]);
        }
    }
    c.trial = rasterBytes(image, direct) <= kTrialBytes;
    if (hist != nullptr)
        ppm_freecolorhist(hist);
    if (census.colors != nullptr)
        ppm_freecolorhash(census.colors);
    census.colors = nullptr;
    return c;
}

void free_layout(Layout& l) {
    if (l.index != nullptr)
        ppm_freecolorhash(l.index);
    l.index = nullptr;
}

}  // namespace belvane
