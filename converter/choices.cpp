// SPDX-License-Identifier: MIT
// The significant-bits reduction, the choice of output type and the pixel
// aspect warning, each decided once per image.
#include "choices.h"

namespace corvane {

namespace {

uint16_t maxvalOfBits(unsigned bits) {
    return uint16_t((1u << bits) - 1);
}

bool inRange(unsigned v, unsigned depth) {
    return v >= 1 && v <= depth;
}

SigBits reduce(int bits, int depth, SigBits::Report report) {
    SigBits s;
    s.maxval = maxvalOfBits(unsigned(bits));
    s.shift = unsigned(depth - bits);
    s.report = report;
    s.report_bits = bits;
    return s;
}

// No alpha handling: differing colour depths are reported and kept; else
// the colour (or gray) samples come down to their significant bits.
SigBits colourBits(int colorType, int depth, const png_color_8& sb,
                   SigBits keep) {
    const bool colour = colorType & PNG_COLOR_MASK_COLOR;
    if (colour && (sb.red != sb.green || sb.red != sb.blue)) {
        keep.report = SigBits::different_depths;
        keep.report_bits = depth;
        return keep;
    }
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        return reduce(sb.red, 8, SigBits::bits_per_channel);
    if (colour && sb.red < depth)
        return reduce(sb.red, depth, SigBits::bits_per_channel);
    if (!colour && sb.gray < depth)
        return reduce(sb.gray, depth, SigBits::bits);
    return keep;
}

}  // namespace

uint16_t initial_maxval(int color_type, int bit_depth) {
    return color_type == PNG_COLOR_TYPE_PALETTE ? 255
                                                : maxvalOfBits(unsigned(bit_depth));
}

bool sbit_usable(int color_type, int bit_depth, const png_color_8& sb) {
    const unsigned d = color_type == PNG_COLOR_TYPE_PALETTE ? 8 : unsigned(bit_depth);
    bool ok = color_type & PNG_COLOR_MASK_COLOR
                  ? inRange(sb.red, d) && inRange(sb.green, d) && inRange(sb.blue, d)
                  : inRange(sb.gray, d);
    if (color_type & PNG_COLOR_MASK_ALPHA)
        ok = ok && inRange(sb.alpha, d);
    return ok;
}

SigBits significant_bits(int color_type, int bit_depth, int mode,
                         const png_color_8* sbit, bool palette_partial_alpha) {
    SigBits keep;
    keep.maxval = initial_maxval(color_type, bit_depth);
    if (sbit == nullptr || !sbit_usable(color_type, bit_depth, *sbit))
        return keep;
    const bool hasAlpha = color_type & PNG_COLOR_MASK_ALPHA;
    if (mode == 1) {
        if (hasAlpha && sbit->alpha < bit_depth)
            return reduce(sbit->alpha, bit_depth, SigBits::bits);
        return keep;
    }
    // Mixing needs colour and alpha on one scale: alpha images and partly
    // transparent palettes keep their full samples.
    if (mode == 2 && (hasAlpha || (color_type == PNG_COLOR_TYPE_PALETTE &&
                                   palette_partial_alpha)))
        return keep;
    return colourBits(color_type, bit_depth, *sbit, keep);
}

int output_format(int color_type, int bit_depth, int mode, uint16_t maxval,
                  const png_color* palette, int num_palette,
                  const png_byte* trns, int num_trns) {
    if (mode == 1) {
        if (color_type == PNG_COLOR_TYPE_PALETTE) {
            for (int i = 0; i < num_trns; ++i)
                if (trns[i] != 0 && trns[i] != maxval)
                    return PGM_PLAIN_CODE;
            return PBM_PLAIN_CODE;
        }
        if (color_type & PNG_COLOR_MASK_ALPHA)
            return maxval == 1 ? PBM_PLAIN_CODE : PGM_PLAIN_CODE;
        return PBM_PLAIN_CODE;
    }
    if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA)
        return bit_depth == 1 ? PBM_PLAIN_CODE : PGM_PLAIN_CODE;
    if (color_type == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < num_palette; ++i)
            if (iscolor(palette[i]))
                return PPM_PLAIN_CODE;
        return PGM_PLAIN_CODE;
    }
    return PPM_PLAIN_CODE;
}

void report_aspect(uint32_t x_per_unit, uint32_t y_per_unit) {
    // A zero density leaves the ratio undefined: nothing to fix.
    if (x_per_unit == 0 || y_per_unit == 0)
        return;
    const float r = float(x_per_unit) / float(y_per_unit);
    if (r == 1.0f)
        return;
    const bool below = r < 1.0f;
    pm_message("warning - non-square pixels; to fix do a 'quenzer -%cscale %g'",
               below ? 'x' : 'y', below ? 1.0 / double(r) : double(r));
}

}  // namespace corvane
