// Sample extraction, pixel composition under each alpha mode, mixing
// arithmetic, gamma of file values, palette greys and month names.
#include <gtest/gtest.h>

#include "corvane.h"

namespace {

using namespace corvane;

class Pixels : public ::testing::Test {
protected:
    void SetUp() override {
        alpha = 0;
        maxval = 255;
        bgr = bgg = bgb = 0;
        totalgamma = -1.0f;
    }
};

TEST_F(Pixels, GetPngValReadsOneOrTwoBytesAndAdvances) {
    const png_byte row[] = {0x12, 0x34, 0xff};
    const png_byte* p = row;
    EXPECT_EQ(_get_png_val(&p, 16), 4660);
    EXPECT_EQ(p, row + 2);
    EXPECT_EQ(_get_png_val(&p, 8), 255);
    EXPECT_EQ(p, row + 3);
}

struct MixCase {
    uint16_t s, a, k, expected;
};

TEST_F(Pixels, MixTruncatesTheDoubleSum) {
    const MixCase cases[] = {
        {100, 128, 255, 177}, {255, 128, 0, 128}, {200, 1, 0, 0},
        {0, 254, 255, 0},     {77, 0, 200, 200},  {77, 255, 200, 77},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mix_sample(c.s, c.a, c.k), c.expected)
            << c.s << " over " << c.k << " at " << c.a;
}

TEST_F(Pixels, CoverageAboveMaxvalIsOpaque) {
    maxval = 31;
    EXPECT_EQ(mix_sample(20, 255, 0), 20);
    EXPECT_EQ(mix_sample(20, 31, 0), 20);
    EXPECT_EQ(mix_sample(20, 0, 7), 7);
}

TEST_F(Pixels, StorePixelFollowsTheAlphaMode) {
    rgbpixel p{};
    alpha = 0;
    store_pixel(&p, 1, 2, 3, 0);
    EXPECT_EQ(p.r + p.g * 10 + p.b * 100, 321u);
    alpha = 1;
    store_pixel(&p, 1, 2, 3, 99);
    EXPECT_EQ(p.r, 0u);
    EXPECT_EQ(p.g, 0u);
    EXPECT_EQ(p.b, 99u);
    alpha = 2;
    bgr = 10, bgg = 20, bgb = 30;
    store_pixel(&p, 1, 2, 3, 0);
    EXPECT_EQ(p.r + p.g + p.b, 60u);
    store_pixel(&p, 1, 2, 3, 255);
    EXPECT_EQ(p.r + p.g + p.b, 6u);
}

TEST_F(Pixels, GammaCorrectFileValues) {
    const float g = 2.2f;
    EXPECT_EQ(gamma_correct(0, g), 0);
    EXPECT_EQ(gamma_correct(64, g), 136);
    EXPECT_EQ(gamma_correct(128, g), 186);
    EXPECT_EQ(gamma_correct(255, g), 255);
    EXPECT_EQ(gamma_correct(77, -1.0f), 77);
    maxval = 0;
    EXPECT_EQ(gamma_correct(5, g), 0);
}

TEST_F(Pixels, IsColorAndMonthNames) {
    EXPECT_EQ(iscolor(png_color{7, 7, 7}), 0);
    EXPECT_EQ(iscolor(png_color{7, 7, 8}), 1);
    EXPECT_EQ(iscolor(png_color{8, 7, 7}), 1);
    EXPECT_STREQ(month_name(0), "");
    EXPECT_STREQ(month_name(3), "March");
    EXPECT_STREQ(month_name(12), "December");
    EXPECT_STREQ(month_name(13), "");
    EXPECT_STREQ(month_name(255), "");
}

}  // namespace
