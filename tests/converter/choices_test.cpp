// The significant-bits reduction for every colour type and alpha mode,
// invalid sBIT values, and the pixel aspect warning.
#include <gtest/gtest.h>

#include "choices.h"
#include "support/child.h"

namespace {

using namespace corvane;

constexpr int kGray = PNG_COLOR_TYPE_GRAY, kGA = PNG_COLOR_TYPE_GRAY_ALPHA,
              kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA,
              kPal = PNG_COLOR_TYPE_PALETTE;

struct SbitCase {
    const char* what;
    int color_type, depth, mode;
    png_color_8 sbit;  // red, green, blue, gray, alpha
    bool partial;
    uint16_t maxval;
    unsigned shift;
    SigBits::Report report;
    int bits;
};

class SignificantBits : public ::testing::TestWithParam<SbitCase> {};

TEST_P(SignificantBits, ReduceOrKeep) {
    const SbitCase& c = GetParam();
    const SigBits s = significant_bits(c.color_type, c.depth, c.mode, &c.sbit, c.partial);
    EXPECT_EQ(s.maxval, c.maxval);
    EXPECT_EQ(s.shift, c.shift);
    EXPECT_EQ(s.report, c.report);
    EXPECT_EQ(s.report_bits, c.bits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignificantBits,
    ::testing::Values(
        SbitCase{"rgb differing depths", kRgb, 8, 0, {5, 6, 5, 0, 0}, false, 255, 0,
                 SigBits::different_depths, 8},
        SbitCase{"palette shifted", kPal, 4, 0, {5, 5, 5, 0, 0}, false, 31, 3,
                 SigBits::bits_per_channel, 5},
        SbitCase{"rgb 5 of 8", kRgb, 8, 0, {5, 5, 5, 0, 0}, false, 31, 3,
                 SigBits::bits_per_channel, 5},
        SbitCase{"rgba 12 of 16", kRgba, 16, 0, {12, 12, 12, 0, 16}, false, 4095, 4,
                 SigBits::bits_per_channel, 12},
        SbitCase{"rgb all bits", kRgb, 8, 0, {8, 8, 8, 0, 0}, false, 255, 0,
                 SigBits::none, 0},
        SbitCase{"gray 5 of 8", kGray, 8, 0, {0, 0, 0, 5, 0}, false, 31, 3,
                 SigBits::bits, 5},
        SbitCase{"gray alpha 3 of 4", kGA, 8, 0, {0, 0, 0, 3, 8}, false, 7, 5,
                 SigBits::bits, 3},
        SbitCase{"alpha only", kRgba, 8, 1, {8, 8, 8, 0, 4}, false, 15, 4,
                 SigBits::bits, 4},
        SbitCase{"alpha only, no alpha", kRgb, 8, 1, {5, 5, 5, 0, 0}, false, 255, 0,
                 SigBits::none, 0},
        SbitCase{"mix keeps alpha images", kGA, 8, 2, {0, 0, 0, 5, 5}, false, 255, 0,
                 SigBits::none, 0},
        SbitCase{"mix keeps partly clear palettes", kPal, 8, 2, {5, 5, 5, 0, 0}, true,
                 255, 0, SigBits::none, 0},
        SbitCase{"mix reduces a palette", kPal, 8, 2, {5, 5, 5, 0, 0}, false, 31, 3,
                 SigBits::bits_per_channel, 5},
        SbitCase{"mix with differing depths keeps maxval", kRgb, 8, 2, {5, 6, 5, 0, 0},
                 false, 255, 0, SigBits::different_depths, 8},
        SbitCase{"sbit 0 is absent", kGray, 8, 0, {0, 0, 0, 0, 0}, false, 255, 0,
                 SigBits::none, 0},
        SbitCase{"sbit above depth is absent", kGray, 4, 0, {0, 0, 0, 9, 0}, false, 15,
                 0, SigBits::none, 0},
        SbitCase{"palette sbit above 8 is absent", kPal, 8, 0, {9, 9, 9, 0, 0}, false,
                 255, 0, SigBits::none, 0},
        SbitCase{"bad alpha sbit is absent", kRgba, 8, 0, {5, 5, 5, 0, 0}, false, 255, 0,
                 SigBits::none, 0}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(ReportAspect, NamesTheAxisToScaleAndIgnoresZeroDensities) {
    const auto run = [](uint32_t x, uint32_t y) {
        return tarvex_test::RunChild([=] {
                   pm_init("corvane");
                   pm_setMessage(1, nullptr);
                   report_aspect(x, y);
               }).err;
    };
    EXPECT_EQ(run(2, 1), "corvane: warning - non-square pixels; to fix do a "
                         "'quenzer -yscale 2'\n");
    EXPECT_EQ(run(1, 2), "corvane: warning - non-square pixels; to fix do a "
                         "'quenzer -xscale 2'\n");
    EXPECT_EQ(run(3000, 3000), "");
    EXPECT_EQ(run(0, 3000), "");
    EXPECT_EQ(run(3000, 0), "");
    EXPECT_EQ(run(0, 0), "");
}

}  // namespace
