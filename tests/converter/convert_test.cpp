// The conversion driver on PNGs crafted for each rule: output type and
// maxval, significant bits, transparency, backgrounds and mixing, the text
// and time reports, and the fatal paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "convert_helpers.h"

namespace {

using corvane_test::Convert;
using corvane_test::Options;
using corvane_test::ParsePnm;
using tarvex_test::PngBuilder;
using tarvex_test::Place;
using Samples = std::vector<unsigned>;

constexpr int kGray = PNG_COLOR_TYPE_GRAY, kGA = PNG_COLOR_TYPE_GRAY_ALPHA,
              kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA,
              kPal = PNG_COLOR_TYPE_PALETTE;

PngBuilder Png(uint32_t w, int color_type, int depth) {
    return PngBuilder(w, 1, color_type, depth);
}

// Samples and messages left empty are not checked.
struct Case {
    const char* what;
    std::string png;
    Options o;
    const char* magic;
    unsigned maxval;
    Samples samples;
    const char* err = nullptr;
};

TEST(Convert, TypeMaxvalAndSamplesFollowTheRules) {
    const std::vector<png_color> grays = {{0, 0, 0}, {90, 90, 90}};
    const auto rgb5 = Png(3, kRgb, 8).Samples({255, 128, 8, 0, 0, 0, 7, 7, 7})
                          .SignificantBits(5, 5, 5, 0, 0).Gamma(0.45).Build();
    const auto differing = Png(2, kRgb, 8).Samples({200, 100, 50, 7, 7, 7})
                               .SignificantBits(5, 6, 5, 0, 0).TransparentColor(7, 7, 7, 0).Build();
    const char* differs = "corvane: different bit depths for color channels not supported\n"
                          "corvane: writing file with 8 bit resolution\n";
    const auto shortTrns = Png(3, kPal, 8).Palette({{10, 20, 30}, {40, 50, 60}})
                               .PaletteAlpha({0}).Samples({0, 1, 5}).Build();
    const auto gammaTrns = Png(3, kGray, 8).Samples({128, 64, 200})
                               .TransparentColor(0, 0, 0, 128).Gamma(0.45).Build();
    const auto grayTrns = Png(2, kGray, 8).Samples({5, 6}).TransparentColor(0, 0, 0, 5);
    const auto rgbTrns = Png(1, kRgb, 8).Samples({1, 2, 3}).TransparentColor(1, 2, 3, 0);
    const auto rgb = rgbTrns.Build(), gray = grayTrns.Build();
    const Options mask{.alpha = 1}, mix{.alpha = 2};
    auto on = [](const char* bg) { return Options{.alpha = 2, .background = bg}; };
    const Case cases[] = {
        {"gray 1", PngBuilder(9, 2, kGray, 1).Build(), {}, "P4", 1, {}},
        {"gray 16", Png(3, kGray, 16).Build(), {}, "P5", 65535, {}},
        {"rgb of grays", Png(3, kRgb, 8).Samples({5, 5, 5}).Build(), {}, "P6", 255, {}},
        {"gray palette", Png(3, kPal, 8).Palette(grays).Build(), {}, "P5", 255, {}},
        {"unused colour entry", Png(3, kPal, 2).Palette({{0, 0, 0}, {1, 2, 3}}).Build(), mix, "P6",
         255, {}},
        {"no transparency: white mask", Png(3, kRgb, 16).Build(), mask, "P4", 1, {0, 0, 0}},
        {"alpha of rgba 8", Png(3, kRgba, 8).Build(), mask, "P5", 255, {}},
        {"binary palette mask", Png(3, kPal, 8).Palette(grays).PaletteAlpha({0, 255}).Build(), mask,
         "P4", 1, {}},
        {"partial palette alpha", Png(3, kPal, 8).Palette(grays).PaletteAlpha({0, 128}).Build(),
         mask, "P5", 255, {}},
        // Significant bits reduce unless gamma is really corrected.
        {"sbit 5", rgb5, {}, "P6", 31, {31, 16, 1, 0, 0, 0, 0, 0, 0}},
        {"sbit, gamma corrected", rgb5, {.gamma = 2.2f}, "P6", 255, {}},
        {"sbit, gamma equal", rgb5, {.gamma = 0.45f}, "P6", 31, {}},
        {"sbit, no gAMA", Png(1, kGray, 8).SignificantBits(0, 0, 0, 4, 0).Build(), {.gamma = 1.0f},
         "P5", 15, {}},
        {"differing depths", differing, {}, "P6", 255, {200, 100, 50, 7, 7, 7}, differs},
        {"differing depths, mix", differing, on("rgb:0/0/0"), "P6", 255, {200, 100, 50, 0, 0, 0},
         differs},
        {"alpha sbit", Png(1, kGA, 16).Samples({0, 0xffff}).SignificantBits(0, 0, 0, 16, 3).Build(),
         mask, "P5", 7, {7}},
        // tRNS matches the stored samples, before any reduction.
        {"gray trns before sbit", Png(4, kGray, 8).Samples({3, 24, 31, 200})
             .SignificantBits(0, 0, 0, 5, 0).TransparentColor(0, 0, 0, 3).Build(),
         on("rgb:ff/ff/ff"), "P5", 31, {31, 3, 3, 25}},
        {"rgb trns needs all three", Png(3, kRgb, 16).Samples({1, 2, 3, 1, 2, 4, 9, 2, 3})
             .TransparentColor(1, 2, 3, 0).Build(), mask, "P4", 1, {1, 0, 0}},
        {"short palette trns", shortTrns, mask, "P4", 1, {1, 0, 0}},
        {"index past palette", shortTrns, {}, "P6", 255, {10, 20, 30, 40, 50, 60, 0, 0, 0}},
        {"gamma within threshold", gammaTrns, {.alpha = 1, .gamma = 2.2f}, "P4", 1, {1, 0, 0}},
        {"gamma corrected trns", gammaTrns, {.alpha = 1, .gamma = 1.0f}, "P4", 1, {1, 0, 0}},
        {"reduced palette keeps opaque", Png(2, kPal, 8).Palette({{255, 255, 255}, {200, 100, 8}})
             .PaletteAlpha({0, 255}).SignificantBits(5, 5, 5, 0, 0).Samples({0, 1}).Build(),
         on("rgb:0/0/0"), "P6", 31, {0, 0, 0, 25, 12, 1}},
        // Mixing with the image's bKGD or a -background colour.
        {"gray bKGD", PngBuilder(grayTrns).Background(0, 0, 0, 0, 100).Build(), mix, "P5", 255,
         {100, 6}},
        {"no bKGD is white", gray, mix, "P5", 255, {255, 6}},
        {"reduced gray bKGD", Png(2, kGray, 16).Samples({1000, 0xffff})
             .TransparentColor(0, 0, 0, 1000).SignificantBits(0, 0, 0, 8, 0)
             .Background(0, 0, 0, 0, 25600).Build(), mix, "P5", 255, {100, 255}},
        {"gray alpha bKGD", Png(1, kGA, 8).Samples({100, 128}).Background(0, 0, 0, 0, 200).Build(),
         mix, "P5", 255, {149}},
        {"rgb bKGD", PngBuilder(rgbTrns).Background(0, 10, 20, 30, 0).Build(), mix, "P6", 255,
         {10, 20, 30}},
        {"rgba bKGD", Png(1, kRgba, 8).Samples({1, 2, 3, 0}).Background(0, 10, 20, 30, 0).Build(),
         mix, "P6", 255, {10, 20, 30}},
        {"palette bKGD", Png(1, kPal, 8).Palette({{1, 2, 3}, {40, 50, 60}}).PaletteAlpha({0})
             .Background(1, 0, 0, 0, 0).Build(), mix, "P6", 255, {40, 50, 60}},
        {"rgb: form", rgb, on("rgb:ff/00/80"), "P6", 255, {255, 0, 128}},
        {"# form", rgb, on("#f00"), "P6", 255, {255, 0, 0}},
        {"rgbi: form", rgb, on("rgbi:1/0.5/0"), "P6", 255, {255, 127, 0}},
        {"fraction triple", rgb, on("0,1,0"), "P6", 255, {0, 255, 0}},
        {"name", rgb, on("tomato"), "P6", 255, {255, 99, 71}},
        {"gray takes blue", gray, on("rgb:10/20/30"), "P5", 255, {48, 6}},
    };
    const std::string dict = tarvex_test::TempFile("255  99  71\t\ttomato\n");
    ::setenv("RGBDEF", dict.c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = Convert(c.png, c.o);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto p = ParsePnm(r.out);
        EXPECT_TRUE(p.ok && p.magic == c.magic && p.maxval == c.maxval) << r.out.substr(0, 16);
        EXPECT_TRUE(c.samples.empty() || p.samples == c.samples);
        EXPECT_TRUE(c.err == nullptr || r.err == c.err) << r.err;
    }
    ::unsetenv("RGBDEF");
}

TEST(Convert, TextChunksOneLineEachInFileOrder) {
    const std::string png = Png(1, kGray, 8)
                                .Text("Title", "A\nB")
                                .Text("Exactly15Chars_", "x", PNG_TEXT_COMPRESSION_zTXt)
                                .Text("LongerThanFifteen", "y")
                                .Text("Creation Time", "")
                                .Text("Intl", "z\n", PNG_ITXT_COMPRESSION_NONE)
                                .Text("Later", "after", PNG_TEXT_COMPRESSION_NONE,
                                      Place::after_image)
                                .Build();
    Options o{.text_file = tarvex_test::TempFile("")};
    ASSERT_EQ(Convert(png, o).status, 0);
    EXPECT_EQ(tarvex_test::ReadFile(o.text_file),
              "Title           A\n                B\nExactly15Chars_ x\nLongerThanFifteen y\n"
              "\"Creation Time\" \nIntl            z\n                \nLater           after\n");
}

TEST(Convert, ModificationTimeBeforeOrAfterTheImage) {
    for (Place place : {Place::before_image, Place::after_image})
        EXPECT_EQ(Convert(Png(1, kGray, 8).Time(2004, 3, 2, 14, 5, 9, place).Build(), {.mtime = 1})
                      .err,
                  "corvane: modification time: 02 March 2004 14:05:09\n");
}

TEST(Convert, VerboseDescribesTheImageInOrder) {
    EXPECT_EQ(Convert(PngBuilder(5, 3, kPal, 4).Palette({{1, 1, 1}, {2, 2, 2}}).PaletteAlpha({7})
                          .Background(1, 0, 0, 0, 0).Gamma(0.5).PixelsPerUnit(1, 2).Interlaced()
                          .Build(), {.gamma = 1.5f, .verbose = 1}).err,
              "corvane: reading a 5w x 3h image, 4 bits palette+transparency, image gamma "
              "= 0.50, Adam7 interlaced\n"
              "corvane: background {index, gray, red, green, blue} = {1, 0, 2, 2, 2}\n"
              "corvane: image gamma is 0.50, converted for display gamma of 1.50\n"
              "corvane: warning - non-square pixels; to fix do a 'quenzer -xscale 2'\n"
              "corvane: writing a PGM file (maxval=255)\n");
}

TEST(ConvertDeathTest, FatalPathsEndWithStatus1AndNoOutput) {
    const std::string png = PngBuilder(8, 8, kRgb, 8).Build();
    const std::string badGamma = "corvane:  fatal libpng error: invalid screen gamma in "
                                 "png_set_gamma\ncorvane: setjmp returns error condition\n";
    const std::string tooShort = "corvane: input file is empty or too short\n";
    const struct {
        std::string input;
        Options o;
        std::string err;
    } cases[] = {
        {"", {}, tooShort}, {"\x89PN", {}, tooShort},
        {"GIF89a", {}, "corvane: input file is not a PNG file\n"},
        {png.substr(0, png.size() - 20), {},
         "corvane:  fatal libpng error: Read Error\ncorvane: setjmp returns error condition\n"},
        {png, {.alpha = 2, .background = "rgb:ff/ff"},
         "corvane: invalid color specifier - \"rgb:ff/ff\"\n"},
        {png, {.gamma = 0.0f}, badGamma}, {png, {.gamma = -2.0f}, badGamma},
        {png, {.gamma = std::numeric_limits<float>::quiet_NaN()}, badGamma},
    };
    for (const auto& c : cases) {
        const auto r = Convert(c.input, c.o);
        EXPECT_TRUE(r.status == 1 && r.out.empty() && r.err == c.err) << c.err << r.err;
    }
}

// The handler names this program, and ends with 99 when there is no jump buffer.
TEST(ConvertDeathTest, LibpngErrorWithoutAJumpBufferEndsWithStatus99) {
    const auto r = tarvex_test::RunChild([] {
        pm_init("corvane");
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                                 corvane::corvane_error_handler, nullptr);
        corvane::corvane_error_handler(png, "broken");
    });
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.err, "corvane:  fatal libpng error: broken\n"
                     "corvane:  EXTREMELY fatal error: jmpbuf unrecoverable; terminating.\n");
}

}  // namespace
