// SPDX-License-Identifier: MIT
// The choice of layout from what the census counted: which layouts convert
// back exactly, which has the fewer raw bytes, and the entries a palette
// needs so that corvane gives back the right format and mask; and, run
// whole, that a small image takes the layout that compresses smaller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "belvane.h"
#include "png_facts.h"
#include "support/support.h"

namespace {

namespace png = tarvex::png;

struct Key {
    unsigned r, g, b, a;
};

struct Case {
    const char* what;
    int format;
    sampleval maxval, maskMaxval;  // 0: no mask
    std::vector<Key> colors;       // 8-bit census keys; empty: too many to count
    int count;                     // layouts offered
    int type, depth, npalette, ntrns;  // of the first
};

belvane::Layouts Choose(const Case& k, int cols, int rows) {
    const belvane::Source image{.cols = cols, .rows = rows, .format = k.format, .maxval = k.maxval,
                                .bits = pm_maxvaltobits(int(k.maxval))};
    const belvane::Source mask{.cols = cols, .rows = rows, .format = PGM_RAW_CODE, .maxval = k.maskMaxval,
                               .bits = k.maskMaxval ? pm_maxvaltobits(int(k.maskMaxval)) : 0};
    belvane::Census census{.colors = k.colors.empty() ? nullptr : ppm_alloccolorhash(), .opaque = false};
    for (const Key& c : k.colors) {
        const rgbpixel p = belvane::census_key(c.r, c.g, c.b, c.a);
        ppm_addtocolorhash(census.colors, &p, census.ncolors++);
    }
    census.ncolors = census.colors ? census.ncolors : 257;  // too many to count
    return belvane::choose_layouts(image, k.maskMaxval ? &mask : nullptr, census, {});
}

TEST(Layout, EachCensusGetsTheLayoutsThatConvertBack) {
    const std::vector<Key> three = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    const std::vector<Key> grays = {{0, 0, 0, 255}, {255, 255, 255, 255}};
    const std::vector<Key> clear = {{255, 0, 0, 0}, {0, 255, 0, 255}};
    std::vector<Key> shades;
    for (unsigned v = 0; v < 200; ++v)
        shades.push_back({v, v, v, 255 - v});
    // (Gray, bilevel and colour without a palette are checked whole, in RoundTrip.)
    const Case cases[] = {
        {"gray at 2 bits, two levels", PGM_RAW_CODE, 3, 0, grays, 2, png::kPalette, 1, 2, 0},
        {"colour, three", PPM_RAW_CODE, 255, 0, three, 2, png::kPalette, 2, 3, 0},
        // PPM comes back only from a palette with a coloured entry.
        {"colour file of grays", PPM_RAW_CODE, 255, 0, grays, 2, png::kPalette, 2, 3, 0},
        // A 256-level mask comes back only with some alpha between.
        {"mask of 0 and 255", PPM_RAW_CODE, 255, 255, clear, 2, png::kPalette, 2, 3, 2},
        {"bilevel mask, one colour hidden", PPM_RAW_CODE, 255, 1, clear, 2, png::kPalette, 1, 2,
         1},
        {"gray and a mask", PGM_RAW_CODE, 255, 255, shades, 2, png::kPalette, 8, 200, 199},
        {"gray and a deep mask", PGM_RAW_CODE, 255, 65535, {}, 1, png::kGrayAlpha, 16, 0, 0},
    };
    for (const Case& k : cases) {
        belvane::Layouts c = Choose(k, 48, 48);
        ASSERT_EQ(c.count, k.count) << k.what;
        const belvane::Layout& l = c.layout[0];
        EXPECT_EQ(l.color_type, k.type) << k.what;
        EXPECT_EQ(l.depth, k.depth) << k.what;
        EXPECT_EQ(l.npalette, k.npalette) << k.what;
        EXPECT_EQ(l.ntrns, k.ntrns) << k.what;
        EXPECT_TRUE(c.trial) << k.what;
        for (int i = 0; i < c.count; ++i)
            belvane::free_layout(c.layout[i]);
    }
    // A large image is not tried each way.
    belvane::Layouts big = Choose(cases[1], 1000, 1000);
    EXPECT_FALSE(big.trial);
    for (int i = 0; i < big.count; ++i)
        belvane::free_layout(big.layout[i]);
}

// A small gray image with a mask, 192 pairs of values in rows that repeat:
// the palette has fewer raw bytes, but its PLTE and tRNS cost more than
// gray with alpha compresses to.
TEST(Layout, SmallImagesTakeTheLayoutThatCompressesSmaller) {
    std::string image = "P5\n48 48\n255\n", mask = image;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            image += char(x + 48 * (y % 4));
            mask += char(255 - x - 48 * (y % 4));
        }
    for (const char* level : {"1", "7"}) {
        const auto png = tarvex_test::RunMain(
            nullptr, {BELVANE_EXE, "-c", level, "-alpha", tarvex_test::TempFile(mask)}, image);
        ASSERT_EQ(png.status, 0) << png.err;
        ASSERT_GT(png.out.size(), 25u);
        EXPECT_EQ(png.out[25], *level == '1' ? png::kPalette : png::kGrayAlpha) << level;
        // corvane reads it through libpng: the very image comes back.
        EXPECT_EQ(tarvex_test::RunMain(nullptr, {CORVANE_EXE}, png.out).out, image) << level;
    }
}

}  // namespace
