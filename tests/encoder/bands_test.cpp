// SPDX-License-Identifier: MIT
// Images of several bands, at every level: libpng itself decodes each PNG
// belvane writes, sample for sample equal to the map it came from, and
// pngcheck finds nothing to say. Also the continuation of a finished
// deflate stream, on which the joining of the bands rests.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

#include "band_strategy.h"
#include "belvane.h"
#include "support/support.h"

namespace {

using namespace std::string_literals;
using tarvex_test::TempFile;

struct Decoded {
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0;
    std::vector<uint8_t> samples;  // rows as PNG stores them, unfiltered
    bool ok = false;
};

// Only plain data lives across the jump back from libpng's errors.
void decode(const std::string& file, Decoded* d) {
    tarvex_test::PngSource src{file.data(), file.size()};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_bytepp rows = nullptr;
    if (setjmp(png_jmpbuf(png)) == 0) {
        tarvex_test::ReadPngFrom(png, &src);
        png_read_info(png, info);
        d->width = png_get_image_width(png, info);
        d->height = png_get_image_height(png, info);
        d->depth = png_get_bit_depth(png, info);
        d->colorType = png_get_color_type(png, info);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const size_t rowbytes = png_get_rowbytes(png, info);
        d->samples.assign(rowbytes * d->height, 0);
        rows = static_cast<png_bytepp>(std::malloc(d->height * sizeof(png_bytep)));
        for (png_uint_32 y = 0; y < d->height; ++y)
            rows[y] = d->samples.data() + y * rowbytes;
        png_read_image(png, rows);
        png_read_end(png, nullptr);
        d->ok = true;
    }
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
}

// Rows that take each kind of band: noise (a photograph's), flat runs and
// exact repeats (a drawing's), a smooth ramp.
uint32_t sample(int x, int y, int c, uint32_t maxval) {
    const uint32_t h = uint32_t(x * 7919 + y * 104729 + c * 13) * 2654435761u;
    switch (y / 64 % 3) {
    case 0: return (h >> 7) % (maxval + 1);
    case 1: return (x / 50 % 4) * maxval / 3;
    default: return uint32_t(x + y + c * 40) % (maxval + 1);
    }
}

// A raw map of those rows, or of a mask that steps along the diagonals.
std::string Map(char magic, int cols, int rows, uint32_t maxval, int channels,
                bool alphaOf = false) {
    std::string s = "P"s + magic + "\n" + std::to_string(cols) + " " + std::to_string(rows) +
                    "\n" + std::to_string(maxval) + "\n";
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            for (int c = 0; c < channels; ++c) {
                const uint32_t v = alphaOf ? (x + y) % (maxval + 1) : sample(x, y, c, maxval);
                if (maxval > 255)
                    s += char(v >> 8);
                s += char(v);
            }
    return s;
}

TEST(Bands, EveryLevelAndLayoutDecodesExactlyWithLibpng) {
    struct Case {
        char magic;
        uint32_t maxval;
        int channels;
        bool mask;
        int colorType, depth;
    };
    const Case cases[] = {{'5', 255, 1, false, 0, 8},  {'5', 65535, 1, false, 0, 16},
                          {'6', 255, 3, false, 2, 8},  {'6', 65535, 3, false, 2, 16},
                          {'6', 255, 3, true, 6, 8},   {'5', 65535, 1, true, 4, 16}};
    constexpr int kCols = 700, kRows = 640;  // 1.3 MB of RGB: two bands and more
    for (const Case& k : cases) {
        const std::string image = Map(k.magic, kCols, kRows, k.maxval, k.channels);
        const std::string mask =
            k.mask ? TempFile(Map('5', kCols, kRows, k.maxval, 1, true)) : "";
        for (int level = 0; level <= 9; ++level) {
            std::vector<std::string> args = {BELVANE_EXE, "-c", std::to_string(level)};
            if (level % 4 == 3)
                args.push_back("-interlace");
            if (k.mask)
                args.insert(args.end(), {"-alpha", mask});
            const std::string what = "P"s + k.magic + "/" + std::to_string(k.maxval) +
                                     (k.mask ? "+mask" : "") + " level " + std::to_string(level);
            const auto png = tarvex_test::RunMain(nullptr, args, image);
            ASSERT_EQ(png.status, 0) << what << ": " << png.err;
            Decoded d;
            decode(png.out, &d);
            ASSERT_TRUE(d.ok) << what;
            EXPECT_EQ(d.colorType, k.colorType) << what;
            EXPECT_EQ(d.depth, k.depth) << what;
            const size_t header = image.size() - size_t(kCols) * kRows * k.channels *
                                                     (k.maxval > 255 ? 2 : 1);
            size_t i = 0;
            bool same = d.width == kCols && d.height == kRows;
            const std::string m = k.mask ? tarvex_test::ReadFile(mask) : "";
            const size_t mheader = m.size() - size_t(kCols) * kRows * (k.maxval > 255 ? 2 : 1);
            const size_t bytes = k.maxval > 255 ? 2 : 1;
            for (size_t p = 0; same && p < size_t(kCols) * kRows; ++p) {
                for (int c = 0; c < k.channels; ++c)
                    for (size_t b = 0; b < bytes; ++b, ++i) {
                        const auto v = uint8_t(image[header + (p * k.channels + c) * bytes + b]);
                        same = same && d.samples[i] == v;
                    }
                for (size_t b = 0; k.mask && b < bytes; ++b, ++i)
                    same = same && d.samples[i] == uint8_t(m[mheader + p * bytes + b]);
            }
            EXPECT_TRUE(same) << what << ": samples differ near " << i;
            const auto check = tarvex_test::RunMain(nullptr, {PNGCHECK_EXE, TempFile(png.out)});
            EXPECT_EQ(check.status, 0) << what << ": " << check.out;
        }
    }
}

// The bands are cut and compressed alike whatever the number of workers, so
// the PNG is the same bytes with one, two or three (four bands and more, a
// mask, and Adam7's passes, each starting a band). Run in-process, where
// the worker count is an option.
TEST(Bands, TheBytesDoNotDependOnTheWorkers) {
    constexpr int kCols = 700, kRows = 1600;
    const std::string image = TempFile(Map('6', kCols, kRows, 255, 3));
    const std::string mask = TempFile(Map('5', kCols, kRows, 255, 1, true));
    for (int level : {1, 3, 7, 9}) {
        std::string first;
        for (int workers = 1; workers <= 3; ++workers) {
            const auto png = tarvex_test::RunChild([&] {
                belvane::Options opt;
                opt.compression = level;
                opt.workers = workers;
                opt.interlace = level == 3;
                const belvane::Input alpha = belvane::open_input(mask.c_str());
                belvane::encode(opt, belvane::open_input(image.c_str()),
                                level == 7 ? alpha : belvane::Input{}, nullptr);
                std::fflush(stdout);
            });
            ASSERT_EQ(png.status, 0) << png.err;
            if (workers == 1) {
                Decoded d;
                decode(png.out, &d);
                EXPECT_TRUE(d.ok && d.height == kRows) << "level " << level;
                first = png.out;
            }
            EXPECT_TRUE(png.out == first) << "level " << level << ", " << workers << " workers";
        }
    }
}

// Each continued stream, followed by a final stored block, inflates to what
// went in: after blocks of every kind (the longest input makes many, with
// long codes) and at every bit offset of the end. A stream cut short is
// refused.
TEST(Bands, ContinuedDeflateStreamsJoin) {
    for (int level : {0, 1, 6, 12})
        for (size_t len : {size_t(0), size_t(1), size_t(7), size_t(300), size_t(70000),
                           size_t(1500000)}) {
            std::string in;
            uint32_t noise = 1;
            for (size_t i = 0; i < len; ++i) {
                noise = noise * 1103515245u + 12345u;
                const size_t part = i / 50000 % 3;
                in += char(part == 0   ? (i % 251 < 120 ? 'a' : char(i * 31 % 256))
                           : part == 1 ? char(noise >> (noise >> 29 & 7 ? 28 : 24))
                                       : char(noise >> 24));
            }
            libdeflate_compressor* c = libdeflate_alloc_compressor(level);
            std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, len) + 16);
            size_t n = libdeflate_deflate_compress(c, in.data(), len, out.data(), out.size());
            libdeflate_free_compressor(c);
            for (size_t cut : {n / 2, n - 1})
                if (cut > 0) {
                    std::vector<uint8_t> part(out.begin(), out.begin() + long(cut));
                    part.resize(cut + 5);
                    EXPECT_FALSE(belvane::continue_deflate(part.data(), &cut)) << level << "/" << len;
                }
            ASSERT_TRUE(belvane::continue_deflate(out.data(), &n)) << level << "/" << len;
            for (uint8_t b : {0x01, 0x00, 0x00, 0xff, 0xff})  // a final empty stored block
                out[n++] = b;
            std::vector<uint8_t> back(len + 1);
            z_stream zs{};
            ASSERT_EQ(inflateInit2(&zs, -15), Z_OK);
            zs.next_in = out.data();
            zs.avail_in = uInt(n);
            zs.next_out = back.data();
            zs.avail_out = uInt(back.size());
            EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END) << level << "/" << len;
            EXPECT_EQ(zs.avail_in, 0u);
            EXPECT_EQ(std::string(back.begin(), back.begin() + long(zs.total_out)), in);
            inflateEnd(&zs);
        }
}

}  // namespace
