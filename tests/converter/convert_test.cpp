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
using corvane_test::Pnm;
using tarvex_test::PngBuilder;
using tarvex_test::Place;
using Samples = std::vector<unsigned>;

constexpr int kGray = PNG_COLOR_TYPE_GRAY, kGA = PNG_COLOR_TYPE_GRAY_ALPHA,
              kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA,
              kPal = PNG_COLOR_TYPE_PALETTE;

Pnm ConvertOk(const std::string& png, const Options& o = {}) {
    const auto r = Convert(png, o);
    EXPECT_EQ(r.status, 0) << r.err;
    Pnm p = ParsePnm(r.out);
    EXPECT_TRUE(p.ok) << r.out.substr(0, 40);
    return p;
}

Options Mode(int alpha, const char* background = nullptr) {
    Options o;
    o.alpha = alpha;
    o.background = background;
    return o;
}

struct TypeCase {
    const char* what;
    std::string png;
    int alpha;
    const char* magic;
    unsigned maxval;
};

TEST(ConvertTypes, OutputTypeAndMaxvalFollowTheImage) {
    const std::vector<png_color> grays = {{0, 0, 0}, {90, 90, 90}};
    const std::vector<png_color> oneColour = {{0, 0, 0}, {90, 90, 90}, {1, 2, 3}};
    const TypeCase cases[] = {
        {"gray 1", PngBuilder(9, 2, kGray, 1).Build(), 0, "P4", 1},
        {"gray 2", PngBuilder(3, 1, kGray, 2).Build(), 0, "P5", 3},
        {"gray 4", PngBuilder(3, 1, kGray, 4).Build(), 0, "P5", 15},
        {"gray 8", PngBuilder(3, 1, kGray, 8).Build(), 0, "P5", 255},
        {"gray 16", PngBuilder(3, 1, kGray, 16).Build(), 0, "P5", 65535},
        {"gray alpha 8", PngBuilder(3, 1, kGA, 8).Build(), 0, "P5", 255},
        {"rgb of grays", PngBuilder(3, 1, kRgb, 8).Samples({5, 5, 5}).Build(), 0, "P6", 255},
        {"gray palette", PngBuilder(3, 1, kPal, 8).Palette(grays).Build(), 0, "P5", 255},
        {"unused colour entry", PngBuilder(3, 1, kPal, 2).Palette(oneColour).Build(), 2,
         "P6", 255},
        {"alpha, no transparency", PngBuilder(3, 1, kRgb, 16).Build(), 1, "P4", 1},
        {"alpha of rgba 8", PngBuilder(3, 1, kRgba, 8).Build(), 1, "P5", 255},
        {"alpha of binary palette",
         PngBuilder(3, 1, kPal, 8).Palette(grays).PaletteAlpha({0, 255}).Build(), 1, "P4", 1},
        {"alpha of partial palette",
         PngBuilder(3, 1, kPal, 8).Palette(grays).PaletteAlpha({0, 128}).Build(), 1, "P5",
         255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Pnm p = ConvertOk(c.png, Mode(c.alpha));
        EXPECT_EQ(p.magic, c.magic);
        EXPECT_EQ(p.maxval, c.maxval);
    }
    // Without any transparency the alpha mask is white all over.
    EXPECT_EQ(ConvertOk(cases[9].png, Mode(1)).samples, Samples(3, 0));
}

TEST(ConvertSigBits, ReduceUnlessGammaIsCorrected) {
    const std::string png = PngBuilder(3, 1, kRgb, 8)
                                .Samples({255, 128, 8, 0, 0, 0, 7, 7, 7})
                                .SignificantBits(5, 5, 5, 0, 0)
                                .Gamma(0.45)
                                .Build();
    Pnm p = ConvertOk(png);
    EXPECT_EQ(p.maxval, 31u);
    EXPECT_EQ(p.samples, (Samples{31, 16, 1, 0, 0, 0, 0, 0, 0}));
    Options o;
    o.gamma = 2.2f;
    EXPECT_EQ(ConvertOk(png, o).maxval, 255u);
    o.gamma = 0.45f;  // equal to the image gamma: nothing to correct
    EXPECT_EQ(ConvertOk(png, o).maxval, 31u);
    const std::string noGama = PngBuilder(1, 1, kGray, 8).SignificantBits(0, 0, 0, 4, 0).Build();
    o.gamma = 1.0f;
    EXPECT_EQ(ConvertOk(noGama, o).maxval, 15u);
}

TEST(ConvertSigBits, DifferingColourDepthsAreReportedAndKeptAlsoWhenMixing) {
    const std::string png = PngBuilder(2, 1, kRgb, 8)
                                .Samples({200, 100, 50, 7, 7, 7})
                                .SignificantBits(5, 6, 5, 0, 0)
                                .TransparentColor(7, 7, 7, 0)
                                .Build();
    const std::string lines =
        "corvane: different bit depths for color channels not supported\n"
        "corvane: writing file with 8 bit resolution\n";
    for (int mode : {0, 2}) {
        const auto r = Convert(png, Mode(mode, "rgb:0/0/0"));
        EXPECT_EQ(r.err, lines);
        const Pnm p = ParsePnm(r.out);
        EXPECT_EQ(p.maxval, 255u);
        EXPECT_EQ(p.samples, (Samples{200, 100, 50, mode == 2 ? 0u : 7, mode == 2 ? 0u : 7,
                                      mode == 2 ? 0u : 7}));
    }
}

TEST(ConvertSigBits, AlphaMaskTakesTheAlphaSignificantBits) {
    Options o = Mode(1);
    o.verbose = 1;
    const auto r = Convert(
        PngBuilder(1, 1, kGA, 16).Samples({0, 0xffff}).SignificantBits(0, 0, 0, 16, 3).Build(), o);
    EXPECT_NE(r.err.find("corvane: image has fewer significant bits, writing file with 3 "
                         "bits\ncorvane: writing a PGM file (maxval=7)\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ParsePnm(r.out).samples, Samples{7});
}

TEST(ConvertTransparency, MatchesTheStoredSamplesBeforeReduction) {
    const std::string png = PngBuilder(4, 1, kGray, 8)
                                .Samples({3, 24, 31, 200})
                                .SignificantBits(0, 0, 0, 5, 0)
                                .TransparentColor(0, 0, 0, 3)
                                .Build();
    const Pnm p = ConvertOk(png, Mode(2, "rgb:ff/ff/ff"));
    EXPECT_EQ(p.maxval, 31u);
    EXPECT_EQ(p.samples, (Samples{31, 3, 3, 25}));
}

TEST(ConvertTransparency, RgbColourMustMatchInAllThreeSamples) {
    const std::string png = PngBuilder(3, 1, kRgb, 16)
                                .Samples({1, 2, 3, 1, 2, 4, 9, 2, 3})
                                .TransparentColor(1, 2, 3, 0)
                                .Build();
    EXPECT_EQ(ConvertOk(png, Mode(1)).samples, (Samples{1, 0, 0}));
}

TEST(ConvertTransparency, ShortPaletteTrnsAndIndexesPastThePalette) {
    const std::string png = PngBuilder(3, 1, kPal, 8)
                                .Palette({{10, 20, 30}, {40, 50, 60}})
                                .PaletteAlpha({0})
                                .Samples({0, 1, 5})
                                .Build();
    EXPECT_EQ(ConvertOk(png, Mode(1)).samples, (Samples{1, 0, 0}));
    EXPECT_EQ(ConvertOk(png).samples, (Samples{10, 20, 30, 40, 50, 60, 0, 0, 0}));
}

TEST(ConvertTransparency, GammaWithinLibpngsThresholdKeepsTheMatch) {
    const std::string png = PngBuilder(3, 1, kGray, 8)
                                .Samples({128, 64, 200})
                                .TransparentColor(0, 0, 0, 128)
                                .Gamma(0.45)
                                .Build();
    Options o = Mode(1);
    o.gamma = 2.2f;
    EXPECT_EQ(ConvertOk(png, o).samples, (Samples{1, 0, 0}));
    o.gamma = 1.0f;  // a real correction: samples and tRNS value both move
    EXPECT_EQ(ConvertOk(png, o).samples, (Samples{1, 0, 0}));
}

TEST(ConvertTransparency, ReducedPaletteMixKeepsOpaqueEntriesOpaque) {
    const std::string png = PngBuilder(2, 1, kPal, 8)
                                .Palette({{255, 255, 255}, {200, 100, 8}})
                                .PaletteAlpha({0, 255})
                                .SignificantBits(5, 5, 5, 0, 0)
                                .Samples({0, 1})
                                .Build();
    const Pnm p = ConvertOk(png, Mode(2, "rgb:0/0/0"));
    EXPECT_EQ(p.maxval, 31u);
    EXPECT_EQ(p.samples, (Samples{0, 0, 0, 25, 12, 1}));
}

struct BackgroundCase {
    const char* what;
    std::string png;
    const char* background;
    Samples expected;
};

TEST(ConvertBackground, ImageBackgroundOrCommandLineColour) {
    const auto grayTrns = PngBuilder(2, 1, kGray, 8).Samples({5, 6}).TransparentColor(0, 0, 0, 5);
    const auto rgbTrns =
        PngBuilder(1, 1, kRgb, 8).Samples({1, 2, 3}).TransparentColor(1, 2, 3, 0);
    const BackgroundCase cases[] = {
        {"gray bKGD", PngBuilder(grayTrns).Background(0, 0, 0, 0, 100).Build(), nullptr,
         {100, 6}},
        {"no bKGD is white", grayTrns.Build(), nullptr, {255, 6}},
        {"reduced gray bKGD",
         PngBuilder(2, 1, kGray, 16)
             .Samples({1000, 0xffff})
             .TransparentColor(0, 0, 0, 1000)
             .SignificantBits(0, 0, 0, 8, 0)
             .Background(0, 0, 0, 0, 25600)
             .Build(),
         nullptr, {100, 255}},
        {"gray alpha bKGD",
         PngBuilder(1, 1, kGA, 8).Samples({100, 128}).Background(0, 0, 0, 0, 200).Build(),
         nullptr, {149}},
        {"rgb bKGD", PngBuilder(rgbTrns).Background(0, 10, 20, 30, 0).Build(), nullptr,
         {10, 20, 30}},
        {"rgba bKGD",
         PngBuilder(1, 1, kRgba, 8).Samples({1, 2, 3, 0}).Background(0, 10, 20, 30, 0).Build(),
         nullptr, {10, 20, 30}},
        {"palette bKGD",
         PngBuilder(1, 1, kPal, 8)
             .Palette({{1, 2, 3}, {40, 50, 60}})
             .PaletteAlpha({0})
             .Background(1, 0, 0, 0, 0)
             .Build(),
         nullptr, {40, 50, 60}},
        {"rgb: form", rgbTrns.Build(), "rgb:ff/00/80", {255, 0, 128}},
        {"# form", rgbTrns.Build(), "#f00", {255, 0, 0}},
        {"rgbi: form", rgbTrns.Build(), "rgbi:1/0.5/0", {255, 127, 0}},
        {"fraction triple", rgbTrns.Build(), "0,1,0", {0, 255, 0}},
        {"name", rgbTrns.Build(), "tomato", {255, 99, 71}},
        {"gray takes blue", grayTrns.Build(), "rgb:10/20/30", {48, 6}},
    };
    const std::string dict = tarvex_test::TempFile("255  99  71\t\ttomato\n");
    ::setenv("RGBDEF", dict.c_str(), 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ConvertOk(c.png, Mode(2, c.background)).samples, c.expected);
    }
    ::unsetenv("RGBDEF");
}

TEST(ConvertReports, TextChunksOneLineEachInFileOrder) {
    const std::string png =
        PngBuilder(1, 1, kGray, 8)
            .Text("Title", "A\nB")
            .Text("Exactly15Chars_", "x", PNG_TEXT_COMPRESSION_zTXt)
            .Text("LongerThanFifteen", "y")
            .Text("Creation Time", "")
            .Text("Intl", "z\n", PNG_ITXT_COMPRESSION_NONE)
            .Text("Later", "after the image", PNG_TEXT_COMPRESSION_NONE, Place::after_image)
            .Build();
    Options o;
    o.text_file = tarvex_test::TempFile("");
    ASSERT_EQ(Convert(png, o).status, 0);
    const std::string pad16(16, ' ');
    EXPECT_EQ(tarvex_test::ReadFile(o.text_file),
              "Title           A\n" + pad16 + "B\n"
              "Exactly15Chars_ x\n"
              "LongerThanFifteen y\n"
              "\"Creation Time\" \n"
              "Intl            z\n" + pad16 + "\n"
              "Later           after the image\n");
    o.text_file = tarvex_test::TempFile("stale");
    ASSERT_EQ(Convert(PngBuilder(1, 1, kGray, 8).Build(), o).status, 0);
    EXPECT_EQ(tarvex_test::ReadFile(o.text_file), "");
}

TEST(ConvertReports, ModificationTimeBeforeOrAfterTheImage) {
    Options o;
    o.mtime = 1;
    for (Place place : {Place::before_image, Place::after_image})
        EXPECT_EQ(Convert(PngBuilder(1, 1, kGray, 8).Time(2004, 3, 2, 14, 5, 9, place).Build(), o)
                      .err,
                  "corvane: modification time: 02 March 2004 14:05:09\n");
    EXPECT_EQ(Convert(PngBuilder(1, 1, kGray, 8).Build(), o).err, "");
}

TEST(ConvertReports, VerboseDescribesTheImageInOrder) {
    Options o;
    o.verbose = 1;
    o.gamma = 1.5f;
    const auto r = Convert(PngBuilder(5, 3, kPal, 4)
                               .Palette({{1, 1, 1}, {2, 2, 2}})
                               .PaletteAlpha({7})
                               .Background(1, 0, 0, 0, 0)
                               .Gamma(0.5)
                               .PixelsPerUnit(1, 2)
                               .Interlaced()
                               .Build(),
                           o);
    EXPECT_EQ(r.err,
              "corvane: reading a 5w x 3h image, 4 bits palette+transparency, image gamma "
              "= 0.50, Adam7 interlaced\n"
              "corvane: background {index, gray, red, green, blue} = {1, 0, 2, 2, 2}\n"
              "corvane: image gamma is 0.50, converted for display gamma of 1.50\n"
              "corvane: warning - non-square pixels; to fix do a 'quenzer -xscale 2'\n"
              "corvane: writing a PGM file (maxval=255)\n");
}

TEST(ConvertDeathTest, UnreadableInputsEndWithStatus1AndNoOutput) {
    const std::string png = PngBuilder(8, 8, kRgb, 8).Build();
    const struct {
        std::string input, err;
    } cases[] = {
        {"", "corvane: input file is empty or too short\n"},
        {"\x89PN", "corvane: input file is empty or too short\n"},
        {"GIF89a", "corvane: input file is not a PNG file\n"},
        {png.substr(0, png.size() - 20),
         "corvane:  fatal libpng error: Read Error\n"
         "corvane: setjmp returns error condition\n"},
    };
    for (const auto& c : cases) {
        const auto r = Convert(c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(ConvertDeathTest, UnusableBackgroundIsFatalBeforeAnyOutput) {
    const auto r = Convert(PngBuilder(1, 1, kRgb, 8).Build(), Mode(2, "rgb:ff/ff"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "corvane: invalid color specifier - \"rgb:ff/ff\"\n");
}

TEST(ConvertDeathTest, NonPositiveDisplayGammaIsRefusedByLibpng) {
    for (float g : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        Options o;
        o.gamma = g;
        const auto r = Convert(PngBuilder(1, 1, kGray, 8).Build(), o);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "corvane:  fatal libpng error: invalid screen gamma in png_set_gamma\n"
                         "corvane: setjmp returns error condition\n");
    }
}

}  // namespace
