// The fast row paths (straight copies, packed PBM bits, the plain formatter)
// write exactly the bytes of composing every row and writing it with the
// library's row writer, for every colour type, depth and alpha mode.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "convert_helpers.h"

namespace {

using corvane_test::Convert;
using corvane_test::Options;

// An odd-sized image of random samples with a few repeats of the tRNS colour
// and a bKGD; `variant` 1 adds sBIT (and a gray palette), 2 interlaces it and
// gives it gamma.
std::string Image(int ct, int depth, int variant) {
    const uint32_t w = 13, h = 7;
    const unsigned ch = ct == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : ct == PNG_COLOR_TYPE_RGB ? 3
                        : ct == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 1;
    const unsigned top = (1u << depth) - 1;
    std::mt19937 rng(unsigned(ct * 100 + depth + variant));
    std::vector<uint16_t> s(size_t(w) * h * ch);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = uint16_t(i % (5 * ch) < ch ? top / 3 : rng() % (top + 1));
    tarvex_test::PngBuilder b(w, h, ct, depth);
    b.Samples(s).Background(0, uint16_t(top / 2), uint16_t(top / 4), 0, uint16_t(top / 2));
    if (ct == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> pal;
        for (unsigned i = 0; i <= top; ++i) {
            const png_byte v = png_byte(i * 37);
            pal.push_back(variant == 1 ? png_color{v, v, v} : png_color{v, png_byte(v / 2), 9});
        }
        b.Palette(pal).PaletteAlpha({0, 255, 128});
    } else if (const auto t = uint16_t(top / 3); !(ct & PNG_COLOR_MASK_ALPHA)) {
        b.TransparentColor(t, t, t, t);
    }
    const uint8_t sb = uint8_t(ct == PNG_COLOR_TYPE_PALETTE ? 7 : depth > 1 ? depth - 1 : 1);
    if (variant == 1)
        b.SignificantBits(sb, sb, sb, sb, sb);
    return variant == 2 ? b.Interlaced().Gamma(0.6).Build() : b.Build();
}

// Every valid colour type and depth, each variant, the three alpha modes, raw and plain.
TEST(RowPaths, FastPathsWriteTheLibraryWritersBytes) {
    for (int i = 0; i < 5 * 5 * 3 * 6; ++i) {
        const int ct = std::array{0, 2, 3, 4, 6}[i / 90], depth = 1 << (i / 18 % 5);
        const int variant = i / 6 % 3, mode = i % 6;
        if (ct != PNG_COLOR_TYPE_GRAY && (ct == PNG_COLOR_TYPE_PALETTE ? depth > 8 : depth < 8))
            continue;
        const std::string png = Image(ct, depth, variant);
        Options o{.alpha = mode % 3, .gamma = variant == 2 ? 1.5f : -1.0f, .plain = mode / 3};
        const auto fast = Convert(png, o);
        o.path = corvane::RowPath::library;
        const auto reference = Convert(png, o);
        SCOPED_TRACE(::testing::Message() << "colour type " << ct << " depth " << depth
                                          << " variant " << variant << " mode " << mode);
        ASSERT_EQ(fast.status, 0) << fast.err;
        EXPECT_TRUE(fast.out.size() > 10 && fast.out == reference.out && fast.err == reference.err);
    }
}

}  // namespace
