// SPDX-License-Identifier: MIT
// Writing the decoded rows: straight copies where the raw output bytes can
// be taken from the decoded row, a plain formatter that builds whole rows,
// and the library's row writer for everything else.
#include <cstring>

#include "png_facts.h"
#include "rows.h"

namespace corvane {

RowPath row_path = RowPath::fast;

namespace {

// Output bytes of one row from one decoded row; returns the byte count.
using DirectFn = size_t (*)(const ImagePlan&, const png_byte*, png_byte*);


// Copies N bytes at offset Off out of every Stride bytes.
template <unsigned Stride, unsigned N, unsigned Off>
size_t pick(const ImagePlan& p, const png_byte* in, png_byte* out) {
    png_byte* o = out;
    in += Off;
    for (uint32_t x = 0; x < p.width; ++x, in += Stride, o += N)
        std::memcpy(o, in, N);
    return size_t(o - out);
}

size_t invertBits(const ImagePlan& p, const png_byte* in, png_byte* out) {
    return tarvex::png::flip_bits(in, out, p.width);
}

size_t paletteRgb(const ImagePlan& p, const png_byte* in, png_byte* out) {
    png_byte* o = out;
    for (uint32_t x = 0; x < p.width; ++x, o += 3) {
        const png_color& c = p.palette[in[x]];
        o[0] = c.red;
        o[1] = c.green;
        o[2] = c.blue;
    }
    return size_t(o - out);
}

size_t paletteGray(const ImagePlan& p, const png_byte* in, png_byte* out) {
    for (uint32_t x = 0; x < p.width; ++x)
        out[x] = p.palette[in[x]].blue;
    return p.width;
}

// Raw rows whose bytes are the decoded row's bytes: written in place.
bool isIdentity(const ImagePlan& p) {
    if (p.mode != 0 || p.shift != 0 || keeps_packed_bits(p))
        return false;
    return p.color_type == PNG_COLOR_TYPE_GRAY ||
           p.color_type == PNG_COLOR_TYPE_RGB;
}

DirectFn directFor(const ImagePlan& p) {
    const bool wide = p.bit_depth == 16;
    if (keeps_packed_bits(p))
        return invertBits;
    if (p.color_type == PNG_COLOR_TYPE_PALETTE && p.mode == 0)
        return p.format == PPM_PLAIN_CODE ? paletteRgb : paletteGray;
    if (p.shift != 0 || p.mode == 2)
        return nullptr;
    if (p.color_type == PNG_COLOR_TYPE_RGB_ALPHA)
        return p.mode == 0 ? (wide ? pick<8, 6, 0> : pick<4, 3, 0>)
                           : (wide ? pick<8, 2, 6> : pick<4, 1, 3>);
    if (p.color_type == PNG_COLOR_TYPE_GRAY_ALPHA && p.format == PGM_PLAIN_CODE)
        return p.mode == 0 ? (wide ? pick<4, 2, 0> : pick<2, 1, 0>)
                           : (wide ? pick<4, 2, 2> : pick<2, 1, 1>);
    return nullptr;
}

// A failed raw sample write ends the run with the library writer's own
// message; like the library, a raw PBM row leaves it to the stream state.
void writeRaw(const ImagePlan& p, const void* bytes, size_t n) {
    if (std::fwrite(bytes, 1, n, stdout) == n || p.format == PBM_PLAIN_CODE)
        return;
    if (maxval > 255)
        pm_error("Error writing double byte sample to file");
    pm_error("Error writing single byte sample to file");
}

void writeDirect(const ImagePlan& p, png_bytep* rows, uint32_t height,
                 DirectFn fn) {
    png_byte* out = static_cast<png_byte*>(pm_allocrow(p.width + 1, 8));
    for (uint32_t y = 0; y < height; ++y) {
        writeRaw(p, out, fn(p, rows[y], out));
    }
    pm_freerow(out);
}

void writeIdentity(const ImagePlan& p, png_bytep* rows, uint32_t height) {
    const size_t n = decoded_row_bytes(p);
    for (uint32_t y = 0; y < height; ++y)
        writeRaw(p, rows[y], n);
}

void writePlain(const ImagePlan& p, png_bytep* rows, uint32_t height) {
    rgbpixel* row = static_cast<rgbpixel*>(pm_allocrow(p.width, sizeof(rgbpixel)));
    char* text = static_cast<char*>(pm_allocrow(p.width + 1, 19));
    for (uint32_t y = 0; y < height; ++y) {
        compose_row(p, rows[y], row);
        std::fwrite(text, 1, format_plain_row(row, p.width, p.format, text),
                    stdout);
    }
    pm_freerow(text);
    pm_freerow(row);
}

void writeLibrary(const ImagePlan& p, png_bytep* rows, uint32_t height) {
    rgbpixel* row = static_cast<rgbpixel*>(pm_allocrow(p.width, sizeof(rgbpixel)));
    for (uint32_t y = 0; y < height; ++y) {
        compose_row(p, rows[y], row);
        pnm_writepnmrow(stdout, row, int(p.width), maxval, p.format, 0);
    }
    pm_freerow(row);
}

// Decimal digits of v, most significant first, no leading zeros.
inline char* putDecimal(char* o, unsigned v) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        *o++ = digits[--n];
    return o;
}

}  // namespace

bool keeps_packed_bits(const ImagePlan& p) {
    return row_path == RowPath::fast && !pm_plain_output &&
           p.color_type == PNG_COLOR_TYPE_GRAY && p.bit_depth == 1 &&
           p.mode == 0;
}

size_t decoded_row_bytes(const ImagePlan& p) {
    if (keeps_packed_bits(p))
        return pbm_packed_bytes(p.width);
    size_t bytes = 0;
    const size_t perPixel =
        size_t(tarvex::png::channels(p.color_type)) * (p.bit_depth == 16 ? 2 : 1);
    return __builtin_mul_overflow(size_t(p.width), perPixel, &bytes) ? 0 : bytes;
}

size_t plain_row_capacity(uint32_t cols) {
    return (size_t(cols) + 1) * 19;
}

size_t format_plain_row(const rgbpixel* row, uint32_t cols, int format,
                        char* out) {
    char* o = out;
    unsigned count = 0;
    if (format == PBM_PLAIN_CODE) {
        for (uint32_t x = 0; x < cols; ++x) {
            if (count > 69) {
                *o++ = '\n';
                count = 0;
            }
            *o++ = row[x].b == 0 ? '1' : '0';
            ++count;
        }
        *o++ = '\n';
        return size_t(o - out);
    }
    const bool color = format == PPM_PLAIN_CODE;
    for (uint32_t x = 0; x < cols; ++x) {
        if (count >= 65) {
            *o++ = '\n';
            count = 0;
        } else if (count > 0) {
            *o++ = ' ';
            if (color)
                *o++ = ' ';
            count += color ? 2 : 1;
        }
        if (color) {
            o = putDecimal(o, uint16_t(row[x].r));
            *o++ = ' ';
            o = putDecimal(o, uint16_t(row[x].g));
            *o++ = ' ';
        }
        o = putDecimal(o, uint16_t(row[x].b));
        count += color ? 11 : 3;
    }
    if (count > 0)
        *o++ = '\n';
    return size_t(o - out);
}

void write_rows(const ImagePlan& plan, png_bytep* rows, uint32_t height) {
    if (row_path == RowPath::library)
        writeLibrary(plan, rows, height);
    else if (pm_plain_output)
        writePlain(plan, rows, height);
    else if (isIdentity(plan))
        writeIdentity(plan, rows, height);
    else if (DirectFn fn = directFor(plan))
        writeDirect(plan, rows, height, fn);
    else
        writeLibrary(plan, rows, height);
}

}  // namespace corvane
