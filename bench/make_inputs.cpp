// SPDX-License-Identifier: MIT
// Makes the large PNG inputs of the speed comparison, and the small sample
// image the README converts. Content is photo-like (smooth gradients and mild
// noise) so that zlib, at its default level, compresses it as it would a photo.
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Kind {
    const char* name;
    uint32_t width;
    uint32_t height;
    int color_type;
    int depth;
    bool interlaced;
};

constexpr Kind kinds[] = {
    {"rgb8", 6000, 4000, PNG_COLOR_TYPE_RGB, 8, false},
    {"rgba8", 6000, 4000, PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
    {"rgb16", 6000, 4000, PNG_COLOR_TYPE_RGB, 16, false},
    {"gray8", 6000, 4000, PNG_COLOR_TYPE_GRAY, 8, false},
    {"palette", 6000, 4000, PNG_COLOR_TYPE_PALETTE, 8, false},
    {"gray1", 6000, 4000, PNG_COLOR_TYPE_GRAY, 1, false},
    {"adam7", 6000, 4000, PNG_COLOR_TYPE_RGB, 8, true},
    {"plain", 1000, 1000, PNG_COLOR_TYPE_RGB, 8, false},
};

constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void fail(const char* what, const char* detail) {
    std::fprintf(stderr, "make_inputs: %s%s\n", what, detail);
    std::exit(1);
}

[[noreturn]] void on_png_error(png_structp, png_const_charp message) {
    fail("libpng error: ", message);
}

// A separable smooth field per channel: a column term, a row term and a
// product of two slow waves, plus a diagonal ramp. Values lie near 0..1.
class Scene {
public:
    Scene(uint32_t width, uint32_t height) : width_(width), height_(height) {
        for (int c = 0; c < 4; ++c) {
            col_[c].resize(width);
            wave_[c].resize(width);
            for (uint32_t x = 0; x < width; ++x) {
                double u = static_cast<double>(x) / width;
                col_[c][x] = 0.22 * std::sin(2 * kPi * u * (1.3 + 0.7 * c) + c) +
                             0.12 * u;
                wave_[c][x] = std::sin(2 * kPi * u * (3.1 + c));
            }
        }
    }

    void start_row(uint32_t y) {
        double v = static_cast<double>(y) / height_;
        for (int c = 0; c < 4; ++c) {
            row_[c] = 0.5 + 0.16 * std::cos(2 * kPi * v * (0.9 + 0.5 * c) + 2 * c) -
                      0.12 * v;
            product_[c] = 0.14 * std::sin(2 * kPi * v * (2.3 + c));
        }
        state_ = (y + 1) * 0x9E3779B97F4A7C15ull ^ 0xD1B54A32D192ED03ull;
    }

    /// Smooth value of channel c at column x, clamped to 0..1.
    double at(int c, uint32_t x) const {
        double v = row_[c] + col_[c][x] + product_[c] * wave_[c][x];
        return v < 0 ? 0 : v > 1 ? 1 : v;
    }

    /// Triangular noise in -amplitude..amplitude.
    int noise(int amplitude) {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        uint64_t r = state_ * 0x2545F4914F6CDD1Dull;
        int span = 2 * amplitude + 1;
        int a = static_cast<int>((r >> 40) % static_cast<unsigned>(span));
        int b = static_cast<int>((r >> 16) % static_cast<unsigned>(span));
        return (a + b) / 2 - amplitude;
    }

    uint32_t width() const { return width_; }

private:
    uint32_t width_, height_;
    std::vector<double> col_[4], wave_[4];
    double row_[4] = {}, product_[4] = {};
    uint64_t state_ = 1;
};

int clamp_to(int v, int top) { return v < 0 ? 0 : v > top ? top : v; }

void fill_samples8(Scene& s, int channels, uint8_t* row) {
    for (uint32_t x = 0; x < s.width(); ++x)
        for (int c = 0; c < channels; ++c)
            *row++ = static_cast<uint8_t>(
                clamp_to(static_cast<int>(s.at(c, x) * 255) + s.noise(4), 255));
}

void fill_rgb16(Scene& s, uint8_t* row) {
    for (uint32_t x = 0; x < s.width(); ++x)
        for (int c = 0; c < 3; ++c) {
            int v = clamp_to(static_cast<int>(s.at(c, x) * 65535) + s.noise(1024),
                             65535);
            *row++ = static_cast<uint8_t>(v >> 8);
            *row++ = static_cast<uint8_t>(v);
        }
}

// Alpha: large opaque and clear areas joined by smooth ramps, no noise.
void fill_rgba8(Scene& s, uint32_t y, uint8_t* row) {
    double wy = std::cos(2 * kPi * y / 1700.0);
    for (uint32_t x = 0; x < s.width(); ++x) {
        for (int c = 0; c < 3; ++c)
            *row++ = static_cast<uint8_t>(
                clamp_to(static_cast<int>(s.at(c, x) * 255) + s.noise(4), 255));
        double a = 0.5 + 0.9 * std::sin(2 * kPi * x / 2300.0) * wy;
        *row++ = static_cast<uint8_t>(clamp_to(static_cast<int>(a * 255), 255));
    }
}

void fill_palette(Scene& s, uint8_t* row) {
    for (uint32_t x = 0; x < s.width(); ++x)
        row[x] = static_cast<uint8_t>(
            clamp_to(static_cast<int>(s.at(0, x) * 255) + s.noise(1), 255));
}

// Ordered dithering of the smooth field: the bilevel look of a scanned photo.
void fill_gray1(Scene& s, uint32_t y, uint8_t* row) {
    static constexpr int bayer[4][4] = {
        {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (uint32_t x = 0; x < s.width(); ++x) {
        int level = static_cast<int>(s.at(0, x) * 16) + s.noise(1);
        row[x] = level > bayer[y & 3][x & 3] ? 1 : 0;
    }
}

void fill_row(const Kind& k, Scene& s, uint32_t y, uint8_t* row) {
    s.start_row(y);
    if (k.color_type == PNG_COLOR_TYPE_PALETTE)
        fill_palette(s, row);
    else if (k.depth == 1)
        fill_gray1(s, y, row);
    else if (k.depth == 16)
        fill_rgb16(s, row);
    else if (k.color_type == PNG_COLOR_TYPE_RGB_ALPHA)
        fill_rgba8(s, y, row);
    else
        fill_samples8(s, k.color_type == PNG_COLOR_TYPE_GRAY ? 1 : 3, row);
}

size_t row_bytes(const Kind& k) {
    int channels = k.color_type == PNG_COLOR_TYPE_RGB         ? 3
                   : k.color_type == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                              : 1;
    return size_t{k.width} * channels * (k.depth == 16 ? 2 : 1);
}

void set_ramp_palette(png_structp png, png_infop info) {
    png_color palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i].red = static_cast<png_byte>(i);
        palette[i].green = static_cast<png_byte>(128 + 127 * std::sin(i / 40.0));
        palette[i].blue = static_cast<png_byte>(255 - i);
    }
    png_set_PLTE(png, info, palette, 256);
}

FILE* open_for_writing(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        fail("cannot create ", path.c_str());
    return f;
}

void close_written(FILE* f, const std::string& path) {
    if (std::ferror(f) || std::fclose(f) != 0)
        fail("write error on ", path.c_str());
}

// Rows are generated afresh on each interlace pass, so no image is held.
void write_kind(const Kind& k, const std::string& path) {
    FILE* f = open_for_writing(path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                              on_png_error, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
        fail("out of memory", "");
    png_init_io(png, f);
    png_set_IHDR(png, info, k.width, k.height, k.depth, k.color_type,
                 k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (k.color_type == PNG_COLOR_TYPE_PALETTE)
        set_ramp_palette(png, info);
    png_write_info(png, info);
    if (k.depth < 8)
        png_set_packing(png);
    int passes = png_set_interlace_handling(png);
    Scene scene(k.width, k.height);
    std::vector<uint8_t> row(row_bytes(k));
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < k.height; ++y) {
            fill_row(k, scene, y, row.data());
            png_write_row(png, row.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    close_written(f, path);
}

// The sample: a colour wheel on a disc whose edge fades into a clear ground.
void fill_sample_row(uint32_t y, uint32_t width, uint32_t height, uint8_t* row) {
    double cx = width / 2.0, cy = height / 2.0;
    for (uint32_t x = 0; x < width; ++x) {
        double dx = x - cx, dy = y - cy;
        double hue = std::atan2(dy, dx);
        double r = std::sqrt(dx * dx + dy * dy);
        for (int c = 0; c < 3; ++c) {
            double v = 0.5 + 0.5 * std::cos(hue - c * 2 * kPi / 3);
            *row++ = static_cast<uint8_t>(clamp_to(static_cast<int>(v * 255), 255));
        }
        double a = (95 - r) / 25;
        *row++ = static_cast<uint8_t>(clamp_to(static_cast<int>(a * 255), 255));
    }
}

void add_sample_chunks(png_structp png, png_infop info) {
    static char title_key[] = "Title", title[] = "corvane sample";
    static char about_key[] = "Description";
    static char about[] =
        "A colour wheel on a disc with a soft edge;\n"
        "outside the disc the image is fully transparent.";
    png_text text[2] = {};
    text[0].compression = PNG_TEXT_COMPRESSION_NONE;
    text[0].key = title_key;
    text[0].text = title;
    text[1].compression = PNG_TEXT_COMPRESSION_NONE;
    text[1].key = about_key;
    text[1].text = about;
    png_set_text(png, info, text, 2);
    png_time when = {2026, 12, 6, 12, 0, 0};
    png_set_tIME(png, info, &when);
}

void write_sample(const std::string& path) {
    constexpr uint32_t width = 320, height = 200;
    FILE* f = open_for_writing(path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                              on_png_error, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr)
        fail("out of memory", "");
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    add_sample_chunks(png, info);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t{width} * 4);
    for (uint32_t y = 0; y < height; ++y) {
        fill_sample_row(y, width, height, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    close_written(f, path);
}

const Kind* find_kind(const char* name) {
    for (const Kind& k : kinds)
        if (std::strcmp(k.name, name) == 0)
            return &k;
    return nullptr;
}

[[noreturn]] void usage() {
    std::fputs("usage: make_inputs [--size WxH] DIR [NAME...]\n"
               "         names: rgb8 rgba8 rgb16 gray8 palette gray1 adam7 plain\n"
               "       make_inputs --sample FILE\n",
               stderr);
    std::exit(1);
}

// "--size WxH": every input at that size, for quick checks of the programs.
bool parse_size(const char* text, uint32_t& width, uint32_t& height) {
    unsigned w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text, "%ux%u%c", &w, &h, &tail) != 2)
        return false;
    width = w;
    height = h;
    return w >= 1 && w <= 100000 && h >= 1 && h <= 100000;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sample") == 0) {
        write_sample(argv[2]);
        return 0;
    }
    int first = 1;
    uint32_t width = 0, height = 0;
    if (argc > 2 && std::strcmp(argv[1], "--size") == 0) {
        if (!parse_size(argv[2], width, height))
            usage();
        first = 3;
    }
    if (first >= argc || argv[first][0] == '-')
        usage();
    std::string dir = argv[first];
    std::vector<Kind> chosen;
    for (int i = first + 1; i < argc; ++i) {
        const Kind* k = find_kind(argv[i]);
        if (k == nullptr)
            usage();
        chosen.push_back(*k);
    }
    if (chosen.empty())
        chosen.assign(std::begin(kinds), std::end(kinds));
    for (Kind& k : chosen) {
        if (width != 0) {
            k.width = width;
            k.height = height;
        }
        write_kind(k, dir + "/" + k.name + ".png");
    }
    return 0;
}
