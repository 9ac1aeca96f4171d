// Mixing arithmetic, gamma of file values and month names.
#include <gtest/gtest.h>

#include "corvane.h"

namespace {

using namespace corvane;

class Pixels : public ::testing::Test {
protected:
    void SetUp() override {
        maxval = 255;
    }
};

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

TEST_F(Pixels, MonthNamesOutsideTheTableAreEmpty) {
    EXPECT_STREQ(month_name(0), "");
    EXPECT_STREQ(month_name(3), "March");
    EXPECT_STREQ(month_name(12), "December");
    EXPECT_STREQ(month_name(13), "");
    EXPECT_STREQ(month_name(255), "");
}

}  // namespace
