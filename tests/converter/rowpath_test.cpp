// The fast row paths (straight copies, packed PBM bits, the plain formatter)
// write exactly the bytes of composing every row and writing it with the
// library's row writer, for every colour type, depth and alpha mode.
#include <gtest/gtest.h>

#include <random>

#include "convert_helpers.h"

namespace {

using corvane::RowPath;
using corvane_test::Convert;
using corvane_test::Options;
using tarvex_test::PngBuilder;

struct Layout {
    int color_type, depth;
};

const Layout kLayouts[] = {
    {PNG_COLOR_TYPE_GRAY, 1},    {PNG_COLOR_TYPE_GRAY, 2},    {PNG_COLOR_TYPE_GRAY, 4},
    {PNG_COLOR_TYPE_GRAY, 8},    {PNG_COLOR_TYPE_GRAY, 16},   {PNG_COLOR_TYPE_RGB, 8},
    {PNG_COLOR_TYPE_RGB, 16},    {PNG_COLOR_TYPE_PALETTE, 1}, {PNG_COLOR_TYPE_PALETTE, 4},
    {PNG_COLOR_TYPE_PALETTE, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 8},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_RGB_ALPHA, 8},
    {PNG_COLOR_TYPE_RGB_ALPHA, 16},
};

unsigned channels(int ct) {
    return ct == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : ct == PNG_COLOR_TYPE_RGB ? 3
           : ct == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 1;
}

// An odd-sized image of random samples with a few repeats of the tRNS colour;
// `variant` 1 adds sBIT, 2 interlaces it and gives it gamma.
std::string Image(const Layout& l, int variant, bool grayPalette) {
    const uint32_t w = 13, h = 7;
    std::mt19937 rng(unsigned(l.color_type * 100 + l.depth + variant));
    const unsigned top = l.color_type == PNG_COLOR_TYPE_PALETTE ? (1u << l.depth) - 1
                                                                 : (1u << l.depth) - 1;
    std::vector<uint16_t> s(size_t(w) * h * channels(l.color_type));
    for (auto& v : s)
        v = uint16_t(rng() % (top + 1));
    for (size_t i = 0; i < s.size(); i += 5 * channels(l.color_type))
        for (unsigned c = 0; c < channels(l.color_type); ++c)
            s[i + c] = uint16_t(top / 3);
    PngBuilder b(w, h, l.color_type, l.depth);
    b.Samples(s);
    if (l.color_type == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> pal;
        for (unsigned i = 0; i <= top; ++i) {
            const png_byte v = png_byte(i * 37);
            pal.push_back(grayPalette ? png_color{v, v, v} : png_color{v, png_byte(v / 2), 9});
        }
        b.Palette(pal).PaletteAlpha({0, 255, 128});
    } else if (!(l.color_type & PNG_COLOR_MASK_ALPHA)) {
        const uint16_t t = uint16_t(top / 3);
        b.TransparentColor(t, t, t, t);
    }
    b.Background(0, uint16_t(top / 2), uint16_t(top / 4), 0, uint16_t(top / 2));
    if (variant == 1) {
        const uint8_t d = uint8_t(l.color_type == PNG_COLOR_TYPE_PALETTE ? 8 : l.depth);
        const uint8_t sb = uint8_t(d > 1 ? d - 1 : 1);
        b.SignificantBits(sb, sb, sb, sb, sb);
    }
    if (variant == 2)
        b.Interlaced().Gamma(0.6);
    return b.Build();
}

TEST(RowPaths, FastPathsWriteTheLibraryWritersBytes) {
    for (const Layout& l : kLayouts)
        for (int variant = 0; variant < 3; ++variant)
            for (int mode = 0; mode < 3; ++mode)
                for (int plain = 0; plain < 2; ++plain) {
                    const std::string png =
                        Image(l, variant, variant == 1 && l.color_type == 3);
                    Options o;
                    o.alpha = mode;
                    o.plain = plain;
                    o.gamma = variant == 2 ? 1.5f : -1.0f;
                    const auto fast = Convert(png, o);
                    o.path = RowPath::library;
                    const auto reference = Convert(png, o);
                    SCOPED_TRACE(::testing::Message()
                                 << "colour type " << l.color_type << " depth " << l.depth
                                 << " variant " << variant << " mode " << mode
                                 << " plain " << plain);
                    ASSERT_EQ(fast.status, 0) << fast.err;
                    ASSERT_EQ(reference.status, 0);
                    EXPECT_GT(fast.out.size(), 10u);
                    EXPECT_TRUE(fast.out == reference.out);
                    EXPECT_EQ(fast.err, reference.err);
                }
}

}  // namespace
