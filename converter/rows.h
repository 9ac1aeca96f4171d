// SPDX-License-Identifier: MIT
// Row composition and row output of the converter: what is fixed about an
// image before its first row, and the routine chosen once to write each row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane.h"

namespace corvane {

/// Everything the row routines need about one image; filled by the driver
/// before the first row and read-only afterwards.
struct ImagePlan {
    uint32_t width = 0;
    int color_type = 0;
    int bit_depth = 0;
    int mode = 0;              ///< alpha mode the rows are composed with
    unsigned shift = 0;        ///< significant-bits reduction of the output samples
    int format = 0;            ///< PBM, PGM or PPM plain code
    bool has_trns = false;     ///< gray or RGB image with a transparent colour
    uint16_t trns_gray = 0, trns_r = 0, trns_g = 0, trns_b = 0;
    png_color palette[256] = {};    ///< as the rows see it (shifted, corrected)
    uint16_t palette_alpha[256] = {}; ///< per index, at most maxval
};

/// How the rows are turned into output bytes.
enum class RowPath {
    fast,    ///< direct copies where the bytes allow, own plain formatter
    library, ///< every row composed and written by pnm_writepnmrow
};
/// The row path used by write_rows; tests switch it to compare the two.
extern RowPath row_path;

/// True when 1-bit gray rows can stay packed (no png_set_packing): the
/// output is raw PBM taken straight from the bits.
bool keeps_packed_bits(const ImagePlan& plan);

/// Bytes of one decoded row under the plan's transformations, or 0 when
/// the size does not fit.
size_t decoded_row_bytes(const ImagePlan& plan);

/// Builds one output row of rgbpixel from a decoded row.
void compose_row(const ImagePlan& plan, const png_byte* in, rgbpixel* out);

/// Writes the rows of the image (header already written) to standard
/// output; fatal when out of memory or when a raw write fails.
void write_rows(const ImagePlan& plan, png_bytep* rows, uint32_t height);

/// Formats one row in the plain form of `format` into `out`, returning the
/// number of bytes; `out` holds at least plain_row_capacity(cols) bytes.
size_t format_plain_row(const rgbpixel* row, uint32_t cols, int format,
                        char* out);
/// Worst-case bytes of a plain row of `cols` pixels, or 0 when too large.
size_t plain_row_capacity(uint32_t cols);

}  // namespace corvane
