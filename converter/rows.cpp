// SPDX-License-Identifier: MIT
// Writing the decoded rows: straight copies where the raw output bytes can
// be taken from the decoded row, a plain formatter that builds whole rows,
// and the library's row writer for everything else.
#include <cstring>

#include "png_facts.h"
#include "rows.h"

namespace corvane {

RowPath row_path = RowPath::fast;
bool always_hold = false;

namespace {


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

void start_rows(const ImagePlan& p, RowWriter* w) {
    *w = RowWriter{};
    if (row_path == RowPath::library) {
        w->kind = RowWriter::library;
    } else if (pm_plain_output) {
        w->kind = RowWriter::plain;
        w->text = static_cast<char*>(pm_allocrow(p.width + 1, 19));
    } else if (isIdentity(p)) {
        w->kind = RowWriter::identity;
        w->bytes = decoded_row_bytes(p);
        return;
    } else if ((w->direct = directFor(p)) != nullptr) {
        w->kind = RowWriter::copied;
        w->out = static_cast<png_byte*>(pm_allocrow(p.width + 1, 8));
        return;
    } else {
        w->kind = RowWriter::library;
    }
    w->pixels = static_cast<rgbpixel*>(pm_allocrow(p.width, sizeof(rgbpixel)));
}

void write_row(const ImagePlan& p, const RowWriter& w, const png_byte* row) {
    switch (w.kind) {
    case RowWriter::identity:
        writeRaw(p, row, w.bytes);
        break;
    case RowWriter::copied:
        writeRaw(p, w.out, w.direct(p, row, w.out));
        break;
    case RowWriter::plain:
        compose_row(p, row, w.pixels);
        std::fwrite(w.text, 1, format_plain_row(w.pixels, p.width, p.format, w.text), stdout);
        break;
    default:
        compose_row(p, row, w.pixels);
        pnm_writepnmrow(stdout, w.pixels, int(p.width), maxval, p.format, 0);
        break;
    }
}

void end_rows(RowWriter* w) {
    pm_freerow(w->out);
    pm_freerow(w->pixels);
    pm_freerow(w->text);
    *w = RowWriter{};
}

}  // namespace corvane
