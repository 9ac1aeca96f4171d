// SPDX-License-Identifier: MIT
// Samples out of decoded PNG rows, the composition of output pixels (alpha
// mask, mixing over the background), gamma of file values, palette greys.
#include <algorithm>
#include <cmath>

#include "rows.h"

namespace corvane {

namespace {

template <bool Wide>
inline unsigned sample(const png_byte*& p) {
    if constexpr (Wide) {
        const unsigned v = static_cast<unsigned>(p[0]) << 8 | p[1];
        p += 2;
        return v;
    } else {
        return *p++;
    }
}

// One output pixel under a fixed alpha mode.
template <int Mode>
inline void store(rgbpixel* pix, unsigned r, unsigned g, unsigned b,
                  unsigned a) {
    if constexpr (Mode == 1) {
        *pix = {0, 0, a};
    } else if constexpr (Mode == 2) {
        if (a >= maxval)
            *pix = {r, g, b};
        else
            *pix = {mix_sample(uint16_t(r), uint16_t(a), bgr),
                    mix_sample(uint16_t(g), uint16_t(a), bgg),
                    mix_sample(uint16_t(b), uint16_t(a), bgb)};
    } else {
        *pix = {r, g, b};
    }
}

// The tRNS match looks at the samples as stored, before any reduction.
template <int Mode, bool Wide>
void composeGray(const ImagePlan& p, const png_byte* in, rgbpixel* out) {
    const unsigned opaque = maxval;
    for (uint32_t x = 0; x < p.width; ++x) {
        const unsigned raw = sample<Wide>(in);
        const unsigned s = raw >> p.shift;
        const unsigned a = p.has_trns && raw == p.trns_gray ? 0 : opaque;
        store<Mode>(out + x, s, s, s, a);
    }
}

template <int Mode, bool Wide>
void composeGrayAlpha(const ImagePlan& p, const png_byte* in, rgbpixel* out) {
    for (uint32_t x = 0; x < p.width; ++x) {
        unsigned s = sample<Wide>(in);
        unsigned a = sample<Wide>(in);
        if constexpr (Mode == 1)
            a >>= p.shift;
        else
            s >>= p.shift;
        store<Mode>(out + x, s, s, s, a);
    }
}

template <int Mode, bool Wide>
void composeRgb(const ImagePlan& p, const png_byte* in, rgbpixel* out) {
    const unsigned opaque = maxval;
    for (uint32_t x = 0; x < p.width; ++x) {
        const unsigned r = sample<Wide>(in);
        const unsigned g = sample<Wide>(in);
        const unsigned b = sample<Wide>(in);
        const bool clear = p.has_trns && r == p.trns_r && g == p.trns_g &&
                           b == p.trns_b;
        store<Mode>(out + x, r >> p.shift, g >> p.shift, b >> p.shift,
                    clear ? 0 : opaque);
    }
}

template <int Mode, bool Wide>
void composeRgbAlpha(const ImagePlan& p, const png_byte* in, rgbpixel* out) {
    for (uint32_t x = 0; x < p.width; ++x) {
        unsigned r = sample<Wide>(in);
        unsigned g = sample<Wide>(in);
        unsigned b = sample<Wide>(in);
        unsigned a = sample<Wide>(in);
        if constexpr (Mode == 1) {
            a >>= p.shift;
        } else {
            r >>= p.shift;
            g >>= p.shift;
            b >>= p.shift;
        }
        store<Mode>(out + x, r, g, b, a);
    }
}

template <int Mode, bool Wide>
void composePalette(const ImagePlan& p, const png_byte* in, rgbpixel* out) {
    for (uint32_t x = 0; x < p.width; ++x) {
        const png_byte i = *in++;
        const png_color c = p.palette[i];
        store<Mode>(out + x, c.red, c.green, c.blue, p.palette_alpha[i]);
    }
}

using Composer = void (*)(const ImagePlan&, const png_byte*, rgbpixel*);

template <int Mode, bool Wide>
Composer composerFor(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return composeGray<Mode, Wide>;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return composeGrayAlpha<Mode, Wide>;
    case PNG_COLOR_TYPE_RGB: return composeRgb<Mode, Wide>;
    case PNG_COLOR_TYPE_RGB_ALPHA: return composeRgbAlpha<Mode, Wide>;
    default: return composePalette<Mode, false>;
    }
}

template <int Mode>
Composer composerFor(int colorType, int bitDepth) {
    return bitDepth == 16 ? composerFor<Mode, true>(colorType)
                          : composerFor<Mode, false>(colorType);
}

}  // namespace

uint16_t mix_sample(uint16_t s, uint16_t a, uint16_t k) {
    // A coverage above maxval can only come from a palette alpha byte under
    // a reduced maxval; it means opaque, never a sum outside 0..maxval.
    if (a >= maxval)
        return s;
    double t1 = double(s) * a;
    t1 /= maxval;
    double t2 = double(a) / maxval;
    t2 = (1.0 - t2) * k;
    const double sum = t1 + t2;
    return sum <= 0.0 ? 0 : uint16_t(std::min<double>(sum, maxval));
}

uint16_t gamma_correct(uint16_t v, float g) {
    if (g == -1.0f)
        return v;
    // Only invalid significant bits could make maxval 0; nothing to scale.
    if (maxval == 0)
        return 0;
    const double x = double(v) / maxval;
    const double y = std::pow(x, 1.0 / double(g));
    const double z = y * maxval + 0.5;
    // A file value above maxval under a tiny gamma can go past any integer.
    if (!(z >= 0.0))
        return 0;
    if (z >= 4294967296.0)
        return 0xffff;
    return uint16_t(uint32_t(z));
}

int iscolor(png_color c) {
    return c.red != c.green || c.green != c.blue ? 1 : 0;
}

void compose_row(const ImagePlan& plan, const png_byte* in, rgbpixel* out) {
    Composer c = plan.mode == 1   ? composerFor<1>(plan.color_type, plan.bit_depth)
                 : plan.mode == 2 ? composerFor<2>(plan.color_type, plan.bit_depth)
                                  : composerFor<0>(plan.color_type, plan.bit_depth);
    c(plan, in, out);
}

}  // namespace corvane
