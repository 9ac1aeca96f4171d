// SPDX-License-Identifier: MIT
// The floors of the speed comparison: the held one decodes the whole PNG with
// libpng into one buffer per row, then writes the portable map; "-stream"
// reads each row into one reused buffer and writes it at once. Raw rows take
// one fwrite each; "-plain" formats each row into a buffer and writes that.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char* message) {
    std::fprintf(stderr, "floor: %s\n", message);
    std::exit(1);
}

[[noreturn]] void on_png_error(png_structp, png_const_charp message) {
    fail(message);
}

void* checked_malloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size)
        fail("image too large");
    void* p = std::malloc(count * size);
    if (p == nullptr)
        fail("out of memory");
    return p;
}

struct Image {
    png_uint_32 width = 0, height = 0;
    int depth = 0, color_type = 0;
    png_bytepp rows = nullptr;
    png_color palette[256] = {};
    bool palette_is_gray = true;
};

void read_palette(png_structp png, png_infop info, Image& im) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) == 0)
        return;
    for (int i = 0; i < count && i < 256; ++i) {
        im.palette[i] = entries[i];
        if (entries[i].red != entries[i].green || entries[i].green != entries[i].blue)
            im.palette_is_gray = false;
    }
}

struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    size_t row_size = 0;
};

// Reads the header and sets up the transformations.
Decoder start(FILE* in, Image& im) {
    png_byte signature[4];
    if (std::fread(signature, 1, 4, in) != 4 || png_sig_cmp(signature, 0, 4) != 0)
        fail("not a PNG file");
    Decoder d;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, nullptr);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (d.info == nullptr)
        fail("out of memory");
    png_init_io(d.png, in);
    png_set_sig_bytes(d.png, 4);
    png_read_info(d.png, d.info);
    im.width = png_get_image_width(d.png, d.info);
    im.height = png_get_image_height(d.png, d.info);
    im.depth = png_get_bit_depth(d.png, d.info);
    im.color_type = png_get_color_type(d.png, d.info);
    if (im.depth < 8)
        png_set_packing(d.png);
    png_set_interlace_handling(d.png);
    read_palette(d.png, d.info, im);
    png_read_update_info(d.png, d.info);
    d.row_size = png_get_rowbytes(d.png, d.info);
    return d;
}

void hold(Decoder& d, Image& im) {
    im.rows = static_cast<png_bytepp>(checked_malloc(im.height, sizeof(png_bytep)));
    for (png_uint_32 y = 0; y < im.height; ++y)
        im.rows[y] = static_cast<png_bytep>(checked_malloc(d.row_size, 1));
    png_read_image(d.png, im.rows);
    png_read_end(d.png, d.info);
}

int channels(int color_type) {
    switch (color_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// What the converter writes without options: the magic, the sample count per
// pixel and the maxval.
struct Output {
    char magic;  // '4', '5' or '6' (raw); plain is magic - 3
    int samples;
    unsigned maxval;
};

Output output_for(const Image& im) {
    unsigned top = im.depth == 16 ? 65535u : (1u << im.depth) - 1;
    switch (im.color_type) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return im.depth == 1 ? Output{'4', 1, 1} : Output{'5', 1, top};
    case PNG_COLOR_TYPE_PALETTE:
        return im.palette_is_gray ? Output{'5', 1, 255} : Output{'6', 3, 255};
    default:
        return Output{'6', 3, top};
    }
}

// One decoded row as output samples (one or two bytes each, as decoded):
// alpha dropped, palette expanded, 1-bit gray packed into PBM bits.
const png_byte* raw_row(const Image& im, const Output& out, const png_byte* in,
                        png_byte* buf) {
    int bytes = im.depth == 16 ? 2 : 1;
    int from = channels(im.color_type);
    if (im.color_type == PNG_COLOR_TYPE_PALETTE) {
        for (png_uint_32 x = 0; x < im.width; ++x) {
            const png_color& c = im.palette[in[x]];
            if (out.samples == 1) {
                buf[x] = c.red;
            } else {
                buf[3 * x] = c.red;
                buf[3 * x + 1] = c.green;
                buf[3 * x + 2] = c.blue;
            }
        }
        return buf;
    }
    if (out.magic == '4') {
        std::memset(buf, 0, (im.width + 7) / 8);
        for (png_uint_32 x = 0; x < im.width; ++x)
            if (in[x] == 0)
                buf[x >> 3] |= static_cast<png_byte>(0x80 >> (x & 7));
        return buf;
    }
    if (from == out.samples)
        return in;
    size_t keep = size_t(out.samples) * bytes, step = size_t(from) * bytes;
    for (png_uint_32 x = 0; x < im.width; ++x)
        std::memcpy(buf + x * keep, in + x * step, keep);
    return buf;
}

size_t raw_row_size(const Image& im, const Output& out) {
    if (out.magic == '4')
        return (im.width + 7) / 8;
    return size_t{im.width} * out.samples * (out.maxval > 255 ? 2 : 1);
}

char* put_decimal(char* p, unsigned v) {
    char digits[5];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

// The plain layout: PBM lines of at most 70 digits; PGM 17 samples a line
// separated by one blank; PPM 6 pixels a line separated by two blanks.
char* plain_row(const Output& out, const png_byte* raw, png_uint_32 width,
                char* p) {
    if (out.magic == '4') {
        for (png_uint_32 x = 0; x < width; ++x) {
            if (x != 0 && x % 70 == 0)
                *p++ = '\n';
            *p++ = (raw[x >> 3] & (0x80 >> (x & 7))) ? '1' : '0';
        }
        *p++ = '\n';
        return p;
    }
    bool wide = out.maxval > 255;
    png_uint_32 per_line = out.samples == 1 ? 17 : 6;
    for (png_uint_32 x = 0; x < width; ++x) {
        if (x != 0 && x % per_line == 0) {
            *p++ = '\n';
        } else if (x != 0) {
            *p++ = ' ';
            if (out.samples == 3)
                *p++ = ' ';
        }
        for (int s = 0; s < out.samples; ++s) {
            if (s != 0)
                *p++ = ' ';
            size_t i = size_t{x} * out.samples + s;
            p = put_decimal(p, wide ? unsigned(raw[2 * i]) << 8 | raw[2 * i + 1]
                                    : raw[i]);
        }
    }
    if (width != 0)
        *p++ = '\n';
    return p;
}

// The header and the buffers of the rows.
struct Writer {
    Output out;
    bool plain = false;
    png_byte* buf = nullptr;
    char* text = nullptr;
};

Writer start_writing(const Image& im, bool plain) {
    Writer w{output_for(im), plain};
    char magic = plain ? static_cast<char>(w.out.magic - 3) : w.out.magic;
    if (w.out.magic == '4')
        std::printf("P%c\n%u %u\n", magic, im.width, im.height);
    else
        std::printf("P%c\n%u %u\n%u\n", magic, im.width, im.height, w.out.maxval);
    w.buf = static_cast<png_byte*>(checked_malloc(raw_row_size(im, w.out), 1));
    // At most 6 characters per sample, and an extra blank and newline a pixel.
    size_t text_size = size_t{im.width} * w.out.samples * 6 + size_t{im.width} * 2 + 2;
    w.text = plain ? static_cast<char*>(checked_malloc(text_size, 1)) : nullptr;
    return w;
}

void write_row(const Image& im, Writer& w, const png_byte* row) {
    const png_byte* raw = raw_row(im, w.out, row, w.buf);
    if (w.plain) {
        char* end = plain_row(w.out, raw, im.width, w.text);
        std::fwrite(w.text, 1, static_cast<size_t>(end - w.text), stdout);
    } else {
        std::fwrite(raw, 1, raw_row_size(im, w.out), stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool plain = false, stream = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-plain") == 0)
            plain = true;
        else if (std::strcmp(argv[i], "-stream") == 0)
            stream = true;
        else if (path == nullptr)
            path = argv[i];
        else
            fail("usage: floor [-stream] [-plain] [file.png]");
    }
    FILE* in = path ? std::fopen(path, "rb") : stdin;
    if (in == nullptr)
        fail("cannot open the input");
    Image im;
    Decoder d = start(in, im);
    if (stream && png_get_interlace_type(d.png, d.info) != PNG_INTERLACE_NONE)
        fail("an interlaced PNG cannot stream");
    if (!stream)
        hold(d, im);
    Writer w = start_writing(im, plain);
    png_bytep row = stream ? static_cast<png_bytep>(checked_malloc(d.row_size, 1)) : nullptr;
    for (png_uint_32 y = 0; y < im.height; ++y) {
        if (stream)
            png_read_row(d.png, row, nullptr);
        write_row(im, w, stream ? row : im.rows[y]);
    }
    if (stream)
        png_read_end(d.png, d.info);
    png_destroy_read_struct(&d.png, &d.info, nullptr);
    std::free(row);
    std::free(w.text);
    std::free(w.buf);
    for (png_uint_32 y = 0; im.rows != nullptr && y < im.height; ++y)
        std::free(im.rows[y]);
    std::free(im.rows);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        fail("write error");
    return 0;
}
