// SPDX-License-Identifier: MIT
// Decisions the driver takes from the image header and chunks before any row
// is read: the significant-bits reduction, the output type, pixel aspect.
#pragma once

#include <cstdint>

#include "corvane.h"

namespace corvane {

/// What the significant bits of an image do to the output.
struct SigBits {
    enum Report { none, different_depths, bits_per_channel, bits };
    uint16_t maxval = 0;  ///< output maxval
    unsigned shift = 0;   ///< right shift of the output samples (or palette)
    Report report = none; ///< which message goes with it
    int report_bits = 0;  ///< the number that message prints
};

/// The maxval of an image before any reduction.
uint16_t initial_maxval(int color_type, int bit_depth);

/// True when every significant-bits value the colour type uses lies in 1 to
/// the sample depth; other sBIT chunks are treated as absent.
bool sbit_usable(int color_type, int bit_depth, const png_color_8& sbit);

/// The reduction under alpha `mode` for an image with the given sBIT (null
/// when there is none or gamma correction was asked for);
/// `palette_partial_alpha` is true when a palette tRNS byte is neither 0
/// nor 255.
SigBits significant_bits(int color_type, int bit_depth, int mode,
                         const png_color_8* sbit, bool palette_partial_alpha);

/// The output family (a plain format code) of the image.
int output_format(int color_type, int bit_depth, int mode, uint16_t maxval,
                  const png_color* palette, int num_palette,
                  const png_byte* trns, int num_trns);

/// Writes the non-square pixel warning when the densities differ.
void report_aspect(uint32_t x_per_unit, uint32_t y_per_unit);

}  // namespace corvane
