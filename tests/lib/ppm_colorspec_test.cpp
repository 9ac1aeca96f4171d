// Colour specifications: every syntax at several maxvals, the malformed forms
// with their exact fatal messages, and luma/chroma colours.
#include <cctype>

#include "lib_support.h"

using namespace tarvex_test;

namespace {

constexpr const char* I = "invalid color specifier - \"%s\"";
constexpr const char* R = "invalid color specifier - \"%s\" - values must be between 0.0 and 1.0";
constexpr const char* U = "unknown color - \"%s\"";

std::string Str(const rgbpixel& p) {
    return std::to_string(int32_t(p.r)) + " " + std::to_string(int32_t(p.g)) + " " +
           std::to_string(int32_t(p.b));
}

// `want` is the colour, or the fatal message with %s standing for the whole text. Names
// resolve in the test's own dictionary. A missing "/" must not let the rgb: scan run past
// the text; NaN must fail the range check; dictionary colours must stay in 0..maxval.
TEST(ParseColorDeathTest, EverySyntaxValidOrFatal) {
    setenv("RGBDEF", TempFile("255 0 0 red\n0 0 128 Navy Blue\n300 0 0 hot\n"
                                           "-1 0 0 neg\n").c_str(), 1);
    struct { const char* text; sampleval maxval; const char* want; } const cases[] = {
        {"rgb:ff/00/80", 255, "255 0 128"}, {"rgb:ff/00/80", 65535, "65535 0 32896"},
        {"rgb:f/ff/fff", 255, "255 255 255"}, {"rgb:8/80/7fff", 255, "136 128 127"},
        {"rgb:7/8/FFFF", 1, "0 1 1"}, {"#f00", 255, "255 0 0"},
        {"#888", 65535, "34952 34952 34952"}, {"#ff0080", 255, "255 0 128"},
        {"#fff000000", 255, "255 0 0"}, {"#FFFF80007fff", 65535, "65535 32768 32767"},
        {"#780", 1, "0 1 0"}, {"rgbi:1/0.5/0", 255, "255 127 0"},
        {"rgbi:1/0.5/0", 65535, "65535 32767 0"}, {"rgbi: 0.1/ 0.7/1e0", 255, "25 178 255"},
        {".5,0.5,0.5", 255, "127 127 127"}, {"1,0,0abc", 255, "255 0 0"},
        {"1,1,0.99", 1, "1 1 0"}, {"red", 255, "255 0 0"},
        {"NAVYBLUE", 65535, "0 0 32896"}, {"navy blue", 100, "0 0 50"},
        {"rgb:ff/ff", 255, I}, {"rgb:ff", 255, I}, {"rgb:ff//ff", 255, I},
        {"rgb:fffff/0/0", 65535, I}, {"rgb:0/0/", 255, I}, {"rgb:0/0/0/0", 255, I},
        {"rgb:gg/00/00", 1, I}, {"rgb:0/0/000g", 65535, I}, {"#", 255, I}, {"#12", 255, I},
        {"#12345", 255, I}, {"#1234567", 255, I}, {"#ggg", 65535, I},
        {"#00000000000z", 1, I}, {"rgbi:1/0", 255, I}, {"0.5,0.5", 255, I},
        {"rgbi:1.5/0/0", 255, R}, {"0,-0.1,0", 255, R}, {"rgbi:nan/0/0", 255, R},
        {"0,0,inf", 255, R}, {"-1,0,0", 255, U}, {"RGB:ff/00/00", 255, U},
        {" #fff", 255, U}, {"hot", 255, I}, {"neg", 255, I},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.text) + " @" + std::to_string(k.maxval));
        if (std::isdigit(static_cast<unsigned char>(k.want[0]))) {
            EXPECT_EQ(Str(ppm_parsecolor(k.text, k.maxval)), k.want);
            continue;
        }
        char want[300];
        std::snprintf(want, sizeof want, k.want, k.text);
        ExpectFatal([&] { ppm_parsecolor(k.text, k.maxval); }, "prog: "s + want + "\n");
    }
}

TEST(PmRgbnorm, SaturatesBeyond32Bits) {
    EXPECT_EQ(pm_rgbnorm(INT32_MAX, 65535, 1, "x"), INT32_MAX);
    EXPECT_EQ(pm_rgbnorm(-30, 255, 2, "x"), -29);
}

TEST(ColorFromYcbcr, GreenClampsAtZeroRedAndBlueWrap) {
    EXPECT_EQ(Str(color_from_ycbcr(10, -100, -100)), "-130 116 -167");  // -130.22 116.01 -167.1
    EXPECT_EQ(Str(color_from_ycbcr(0, 100, 100)), "140 0 177");  // 140.22 -106.01 177.1
}

}  // namespace
