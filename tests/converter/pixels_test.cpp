// Mixing arithmetic, gamma of file values and month names.
#include <gtest/gtest.h>

#include <tuple>

#include "corvane.h"

namespace {

using namespace corvane;

TEST(Pixels, MixTruncatesAndTreatsCoverageAboveMaxvalAsOpaque) {
    const struct {
        uint16_t maxval, s, a, k, expected;
    } cases[] = {
        {255, 100, 128, 255, 177}, {255, 255, 128, 0, 128}, {255, 200, 1, 0, 0},
        {255, 0, 254, 255, 0},     {255, 77, 0, 200, 200},  {255, 77, 255, 200, 77},
        {31, 20, 255, 0, 20},      {31, 20, 31, 0, 20},     {31, 20, 0, 7, 7},
    };
    for (const auto& c : cases) {
        maxval = c.maxval;
        EXPECT_EQ(mix_sample(c.s, c.a, c.k), c.expected) << c.s << " over " << c.k << " at " << c.a;
    }
}

TEST(Pixels, GammaCorrectSaturatesAndNeverDividesByZero) {
    maxval = 255;
    for (auto [v, g, expected] : {std::tuple{0, 2.2f, 0}, {64, 2.2f, 136}, {255, 2.2f, 255},
                                  {77, -1.0f, 77}, {300, 1e-6f, 0xffff}})
        EXPECT_EQ(gamma_correct(uint16_t(v), g), expected) << v;
    maxval = 0;
    EXPECT_EQ(gamma_correct(5, 2.2f), 0);
}

TEST(Pixels, MonthNamesOutsideTheTableAreEmpty) {
    EXPECT_STREQ(month_name(3), "March");
    EXPECT_STREQ(month_name(12), "December");
    for (int m : {0, 13, 255})
        EXPECT_STREQ(month_name(m), "");
}

}  // namespace
