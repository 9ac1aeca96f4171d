// SPDX-License-Identifier: MIT
// Images of several bands, at every level: corvane reads each PNG belvane
// writes through libpng and gets back, sample for sample, the map it came
// from, and pngcheck finds nothing to say. Also the continuation of a finished
// deflate stream, on which the joining of the bands rests.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include "band_strategy.h"
#include "belvane.h"
#include "encoder_support.h"

namespace {

using namespace std::string_literals;
using encoder_test::Exec;
using tarvex_test::TempFile;

// Rows that take each kind of band: noise (a photograph's), flat runs and
// exact repeats (a drawing's), a smooth ramp; or a mask that steps along
// the diagonals.
std::string Map(char magic, int cols, int rows, uint32_t maxval, int channels, bool alphaOf = false) {
    return encoder_test::Raw(magic, cols, rows, maxval, channels, [=](int x, int y, int c) {
        const uint32_t h = uint32_t(x * 7919 + y * 104729 + c * 13) * 2654435761u;
        return alphaOf        ? (x + y) % (maxval + 1)
               : y / 64 % 3 == 0 ? (h >> 7) % (maxval + 1)
               : y / 64 % 3 == 1 ? (x / 50 % 4) * maxval / 3
                                 : uint32_t(x + y + c * 40) % (maxval + 1);
    });
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
        const std::string mask = k.mask ? Map('5', kCols, kRows, k.maxval, 1, true) : "";
        for (int level = 0; level <= 9; ++level) {
            std::vector<std::string> args = {"-c", std::to_string(level)};
            if (level % 4 == 3)
                args.push_back("-interlace");
            if (k.mask)
                args.insert(args.end(), {"-alpha", TempFile(mask)});
            const std::string what = "P"s + k.magic + "/" + std::to_string(k.maxval) +
                                     (k.mask ? "+mask" : "") + " level " + std::to_string(level);
            const auto png = Exec(BELVANE_EXE, args, image);
            ASSERT_EQ(png.status, 0) << what << ": " << png.err;
            ASSERT_GT(png.out.size(), 25u) << what;
            EXPECT_EQ(png.out[25], k.colorType) << what;
            EXPECT_EQ(png.out[24], k.depth) << what;
            EXPECT_TRUE(Exec(CORVANE_EXE, {}, png.out).out == image) << what;
            EXPECT_TRUE(!k.mask || Exec(CORVANE_EXE, {"-alpha"}, png.out).out == mask) << what;
            EXPECT_EQ(encoder_test::Pngcheck(png.out), "") << what;
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
                EXPECT_TRUE(Exec(CORVANE_EXE, {}, png.out).out == tarvex_test::ReadFile(image)) << level;
                first = png.out;
            }
            EXPECT_TRUE(png.out == first) << "level " << level << ", " << workers << " workers";
        }
    }
}

// The image data of a PNG: its IDAT chunks joined.
std::string ImageData(const std::string& png) {
    std::string z;
    for (size_t at = 8; at + 8 <= png.size();) {
        const size_t len = size_t(uint8_t(png[at])) << 24 | size_t(uint8_t(png[at + 1])) << 16 |
                           size_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
        if (png.compare(at + 4, 4, "IDAT") == 0)
            z += png.substr(at + 8, len);
        at += len + 12;
    }
    return z;
}

// The zlib stream `z` inflated.
std::string Inflate(const std::string& z) {
    uLongf n = 64 << 20;
    std::string out(n, '\0');
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &n,
                         reinterpret_cast<const Bytef*>(z.data()), uLong(z.size())),
              Z_OK);
    return out.substr(0, n);
}

// The size of `in` deflated by zlib at its deepest level with `strategy`.
size_t Deflated(const std::string& in, int strategy) {
    z_stream zs{};
    std::string out(compressBound(uLong(in.size())) + 64, '\0');
    EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 15, 9, strategy), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = uInt(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    deflateEnd(&zs);
    return zs.total_out;
}

// Three kinds of image where zlib used to win, each at levels up to 7. A
// flag, flat stripes and an emblem: from level 3, where bands shrink a
// hundredfold, the image data is no larger than zlib's deepest search makes
// of the very rows it holds, but for 0.5% that the bands' joins cost. Noise
// over a ramp, a photograph's residues: no larger than zlib's Huffman coding
// alone, from level 1. And a ramp of 200 colours whose indices step one at
// a time: kept in the order of their values, the filters predict them, and
// from level 3 the PNG is at most two thirds of level 2's, which stores
// them unfiltered.
TEST(Bands, FlatRowsNoiseAndPaletteRampsLoseNothingToZlib) {
    const std::string flag = encoder_test::Raw('6', 1600, 1400, 255, 3, [](int x, int y, int c) {
        const int dx = x - 800, dy = y - 700;
        return dx * dx + dy * dy < 90000 ? unsigned((x / 9 ^ y / 13) % 5 * 50 + c * 20)
                                         : unsigned(y / 467 * 100 + c * 7);
    });
    uint32_t seed = 1;
    const std::string noise = encoder_test::Raw('5', 1200, 1000, 255, 1, [&](int x, int y, int) {
        seed = seed * 1103515245u + 12345u;
        return unsigned((x + y) / 8 + (seed >> 16) % 5) & 255;
    });
    const std::string ramp = encoder_test::Raw('6', 1200, 1000, 255, 3, [](int x, int y, int c) {
        const uint32_t h = uint32_t(x * 7919 + y * 104729) * 2654435761u;
        const unsigned i = (x + y / 3 + (h >> 7) % 5) / 12 % 200;
        return c == 0 ? i : c == 1 ? i * 89 % 256 : 255 - i;
    });
    const size_t unfiltered = Exec(BELVANE_EXE, {"-c", "2"}, ramp).out.size();
    const struct {
        const std::string& image;
        int strategy, from;
    } cases[] = {{flag, Z_DEFAULT_STRATEGY, 3}, {noise, Z_HUFFMAN_ONLY, 1}, {ramp, -1, 3}};
    for (const auto& k : cases)
        for (int level = k.from; level <= 7; level += 2) {
            const auto png = Exec(BELVANE_EXE, {"-c", std::to_string(level)}, k.image);
            ASSERT_EQ(png.status, 0) << png.err;
            const std::string data = ImageData(png.out);
            if (k.strategy < 0)
                EXPECT_LE(png.out.size() * 3, unfiltered * 2) << level;
            else
                EXPECT_LE(data.size() * 1000, Deflated(Inflate(data), k.strategy) * 1005)
                    << k.strategy << " " << level;
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
