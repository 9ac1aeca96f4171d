// The significant-bits reduction for every colour type and alpha mode,
// invalid sBIT values, and the pixel aspect warning.
#include <gtest/gtest.h>

#include <tuple>

#include "choices.h"
#include "support/child.h"

namespace {

using namespace corvane;
using namespace std::string_literals;

constexpr int kGray = PNG_COLOR_TYPE_GRAY, kGA = PNG_COLOR_TYPE_GRAY_ALPHA,
              kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA,
              kPal = PNG_COLOR_TYPE_PALETTE;
constexpr auto kNone = SigBits::none, kBits = SigBits::bits, kEach = SigBits::bits_per_channel,
               kDiffer = SigBits::different_depths;

TEST(SignificantBits, ReduceOrKeep) {
    const struct {
        const char* what;
        int color_type, depth, mode;
        png_color_8 sbit;  // red, green, blue, gray, alpha
        bool partial;      // a palette with partly clear entries
        int maxval, shift;
        SigBits::Report report;
        int bits;
    } cases[] = {
        {"rgb differing depths", kRgb, 8, 0, {5, 6, 5, 0, 0}, false, 255, 0, kDiffer, 8},
        {"palette shifted", kPal, 4, 0, {5, 5, 5, 0, 0}, false, 31, 3, kEach, 5},
        {"rgba 12 of 16", kRgba, 16, 0, {12, 12, 12, 0, 16}, false, 4095, 4, kEach, 12},
        {"rgb all bits", kRgb, 8, 0, {8, 8, 8, 0, 0}, false, 255, 0, kNone, 0},
        {"gray 5 of 8", kGray, 8, 0, {0, 0, 0, 5, 0}, false, 31, 3, kBits, 5},
        {"gray alpha 3 of 4", kGA, 8, 0, {0, 0, 0, 3, 8}, false, 7, 5, kBits, 3},
        {"alpha only", kRgba, 8, 1, {8, 8, 8, 0, 4}, false, 15, 4, kBits, 4},
        {"alpha only, no alpha", kRgb, 8, 1, {5, 5, 5, 0, 0}, false, 255, 0, kNone, 0},
        {"mix keeps alpha images", kGA, 8, 2, {0, 0, 0, 5, 5}, false, 255, 0, kNone, 0},
        {"mix keeps partly clear palettes", kPal, 8, 2, {5, 5, 5, 0, 0}, true, 255, 0, kNone, 0},
        {"mix reduces a palette", kPal, 8, 2, {5, 5, 5, 0, 0}, false, 31, 3, kEach, 5},
        {"mix, differing depths", kRgb, 8, 2, {5, 6, 5, 0, 0}, false, 255, 0, kDiffer, 8},
        {"sbit 0 is absent", kGray, 8, 0, {0, 0, 0, 0, 0}, false, 255, 0, kNone, 0},
        {"sbit above depth is absent", kGray, 4, 0, {0, 0, 0, 9, 0}, false, 15, 0, kNone, 0},
        {"palette sbit above 8", kPal, 8, 0, {9, 9, 9, 0, 0}, false, 255, 0, kNone, 0},
        {"bad alpha sbit is absent", kRgba, 8, 0, {5, 5, 5, 0, 0}, false, 255, 0, kNone, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SigBits s = significant_bits(c.color_type, c.depth, c.mode, &c.sbit, c.partial);
        EXPECT_TRUE(s.maxval == c.maxval && int(s.shift) == c.shift && s.report == c.report &&
                    s.report_bits == c.bits);
    }
}

TEST(ReportAspect, NamesTheAxisToScaleAndIgnoresZeroDensities) {
    const std::string warn = "corvane: warning - non-square pixels; to fix do a 'quenzer -";
    for (auto [x, y, err] : {std::tuple{2u, 1u, warn + "yscale 2'\n"}, {3u, 3u, ""s},
                             {1u, 2u, warn + "xscale 2'\n"}, {0u, 3000u, ""s}, {3000u, 0u, ""s},
                             {0u, 0u, ""s}})
        EXPECT_EQ(tarvex_test::RunChild([=] {
                      pm_init("corvane");
                      pm_setMessage(1, nullptr);
                      report_aspect(x, y);
                  }).err, err);
}

}  // namespace
