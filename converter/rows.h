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
/// The row path start_rows chooses from; tests switch it to compare the two.
extern RowPath row_path;
/// True: every image is decoded whole before its first row is written, as
/// one that cannot stream is; tests compare the two.
extern bool always_hold;

/// True when 1-bit gray rows can stay packed (no png_set_packing): the
/// output is raw PBM taken straight from the bits.
bool keeps_packed_bits(const ImagePlan& plan);

/// Bytes of one decoded row under the plan's transformations, or 0 when
/// the size does not fit.
size_t decoded_row_bytes(const ImagePlan& plan);

/// Builds one output row of rgbpixel from a decoded row.
void compose_row(const ImagePlan& plan, const png_byte* in, rgbpixel* out);

/// Output bytes of one row from one decoded row; returns the byte count.
using DirectFn = size_t (*)(const ImagePlan&, const png_byte*, png_byte*);

/// How every row of one image is written, chosen once, and its buffers.
/// Plain data, so that the path a libpng error jumps to can release it.
struct RowWriter {
    enum Kind { identity, copied, plain, library };
    Kind kind = library;
    size_t bytes = 0;            ///< identity: bytes of a decoded row
    DirectFn direct = nullptr;   ///< copied: the routine
    png_byte* out = nullptr;     ///< copied: the output row
    rgbpixel* pixels = nullptr;  ///< plain, library: the composed row
    char* text = nullptr;        ///< plain: the formatted row
};

/// Chooses the writer for the plan (header written, format chosen) and
/// allocates its buffers; fatal when out of memory.
void start_rows(const ImagePlan& plan, RowWriter* w);
/// Writes one decoded row to standard output; fatal when a raw write fails.
void write_row(const ImagePlan& plan, const RowWriter& w, const png_byte* row);
/// Releases the writer's buffers; an empty writer is left alone.
void end_rows(RowWriter* w);

/// Formats one row in the plain form of `format` into `out`, returning the
/// number of bytes; `out` holds at least plain_row_capacity(cols) bytes.
size_t format_plain_row(const rgbpixel* row, uint32_t cols, int format,
                        char* out);
/// Worst-case bytes of a plain row of `cols` pixels, or 0 when too large.
size_t plain_row_capacity(uint32_t cols);

}  // namespace corvane
