// Colour specifications: every syntax at several maxvals, the malformed forms
// with their exact fatal messages, and luma/chroma colours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "ppm.h"
#include "support/child.h"

namespace {

struct Spec {
    const char* text;
    sampleval maxval;
    sampleval r, g, b;
};
struct Bad {
    const char* text;
    sampleval maxval;
    const char* error;  // the message, %s standing for the text
};
void PrintTo(const Spec& s, std::ostream* os) { *os << s.text << " @" << s.maxval; }
void PrintTo(const Bad& s, std::ostream* os) { *os << s.text << " @" << s.maxval; }

constexpr const char* kInvalid = "invalid color specifier - \"%s\"";
constexpr const char* kRange =
    "invalid color specifier - \"%s\" - values must be between 0.0 and 1.0";
constexpr const char* kUnknown = "unknown color - \"%s\"";

// Names resolve in a dictionary of the test's own, never the machine's.
template <class Param>
class NamesFromTestDictionary : public testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        const char* old = std::getenv("RGBDEF");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        static const std::string dict = tarvex_test::TempFile(
            "255 0 0 red\n0 0 128 Navy Blue\n300 0 0 hot\n-1 0 0 neg\n");
        setenv("RGBDEF", dict.c_str(), 1);
    }
    void TearDown() override {
        saved_ ? setenv("RGBDEF", saved_->c_str(), 1) : unsetenv("RGBDEF");
    }
    std::optional<std::string> saved_;
};

using ParseColor = NamesFromTestDictionary<Spec>;

TEST_P(ParseColor, YieldsColour) {
    const Spec& s = GetParam();
    const rgbpixel p = ppm_parsecolor(s.text, s.maxval);
    EXPECT_EQ(p.r, s.r);
    EXPECT_EQ(p.g, s.g);
    EXPECT_EQ(p.b, s.b);
}

INSTANTIATE_TEST_SUITE_P(HexForm, ParseColor, testing::Values(
    Spec{"rgb:ff/00/80", 255, 255, 0, 128}, Spec{"rgb:ff/00/80", 65535, 65535, 0, 32896},
    Spec{"rgb:f/ff/fff", 255, 255, 255, 255}, Spec{"rgb:8/80/7fff", 255, 136, 128, 127},
    Spec{"rgb:7/8/FFFF", 1, 0, 1, 1}));
INSTANTIATE_TEST_SUITE_P(OldHexForm, ParseColor, testing::Values(
    Spec{"#f00", 255, 255, 0, 0}, Spec{"#888", 255, 136, 136, 136},
    Spec{"#888", 65535, 34952, 34952, 34952}, Spec{"#ff0000", 255, 255, 0, 0},
    Spec{"#fff000000", 255, 255, 0, 0}, Spec{"#FFFF80007fff", 65535, 65535, 32768, 32767},
    Spec{"#780", 1, 0, 1, 0}));
INSTANTIATE_TEST_SUITE_P(FractionForms, ParseColor, testing::Values(
    Spec{"rgbi:1/0.5/0", 255, 255, 127, 0}, Spec{"rgbi:1/0.5/0", 65535, 65535, 32767, 0},
    Spec{"rgbi: 0.1/ 0.7/1e0", 255, 25, 178, 255}, Spec{"0.5,0.5,0.5", 255, 127, 127, 127},
    Spec{".5,.5,.5", 255, 127, 127, 127}, Spec{"1,0,0abc", 255, 255, 0, 0},
    Spec{"1,1,0.99", 1, 1, 1, 0}));
INSTANTIATE_TEST_SUITE_P(Names, ParseColor, testing::Values(
    Spec{"red", 255, 255, 0, 0}, Spec{"NAVYBLUE", 65535, 0, 0, 32896},
    Spec{"navy blue", 100, 0, 0, 50}));

using ParseColorDeathTest = NamesFromTestDictionary<Bad>;

TEST_P(ParseColorDeathTest, FatalWithWholeText) {
    const Bad& s = GetParam();
    auto r = tarvex_test::RunChild([&] {
        pm_init("tst");
        ppm_parsecolor(s.text, s.maxval);
    });
    char want[300];
    std::snprintf(want, sizeof want, s.error, s.text);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("tst: ") + want + "\n");
}

// A missing "/" must not let the scan run past the end of the text.
INSTANTIATE_TEST_SUITE_P(HexForm, ParseColorDeathTest, testing::Values(
    Bad{"rgb:ff/ff", 255, kInvalid}, Bad{"rgb:ff", 255, kInvalid},
    Bad{"rgb:ff//ff", 255, kInvalid}, Bad{"rgb:fffff/0/0", 65535, kInvalid},
    Bad{"rgb:0/0/", 255, kInvalid}, Bad{"rgb:0/0/0/0", 255, kInvalid},
    Bad{"rgb:gg/00/00", 1, kInvalid}, Bad{"rgb:0/0/000g", 65535, kInvalid}));
INSTANTIATE_TEST_SUITE_P(OldHexForm, ParseColorDeathTest, testing::Values(
    Bad{"#", 255, kInvalid}, Bad{"#12", 255, kInvalid},
    Bad{"#12345", 255, kInvalid}, Bad{"#1234567", 255, kInvalid},
    Bad{"#ggg", 65535, kInvalid}, Bad{"#00000000000z", 1, kInvalid}));
// NaN is outside 0.0..1.0 too and must not reach the float-to-int scaling.
INSTANTIATE_TEST_SUITE_P(FractionForms, ParseColorDeathTest, testing::Values(
    Bad{"rgbi:1/0", 255, kInvalid}, Bad{"0.5,0.5", 255, kInvalid},
    Bad{"rgbi:1.5/0/0", 255, kRange}, Bad{"0,-0.1,0", 255, kRange},
    Bad{"rgbi:nan/0/0", 255, kRange}, Bad{"0,0,inf", 255, kRange}));
// Dictionary values are unchecked, but the parser's colour stays in 0..maxval.
INSTANTIATE_TEST_SUITE_P(Names, ParseColorDeathTest, testing::Values(
    Bad{"-1,0,0", 255, kUnknown}, Bad{"RGB:ff/00/00", 255, kUnknown},
    Bad{" #fff", 255, kUnknown}, Bad{"hot", 255, kInvalid},
    Bad{"neg", 255, kInvalid}));

TEST(PmRgbnorm, SaturatesBeyond32Bits) {
    EXPECT_EQ(pm_rgbnorm(INT32_MAX, 65535, 1, "x"), INT32_MAX);
    EXPECT_EQ(pm_rgbnorm(INT32_MIN, 65535, 1, "x"), INT32_MIN);
    EXPECT_EQ(pm_rgbnorm(-30, 255, 2, "x"), -29);
}

TEST(ColorFromYcbcr, GreenClampsAtZeroRedAndBlueWrap) {
    rgbpixel p = color_from_ycbcr(100, 0, 0);
    EXPECT_EQ(p.r + p.g + p.b, 300u);
    p = color_from_ycbcr(10, -100, -100);  // -130.22, 116.01, -167.1
    EXPECT_EQ(p.r, static_cast<sampleval>(-130));
    EXPECT_EQ(p.g, 116u);
    EXPECT_EQ(p.b, static_cast<sampleval>(-167));
    p = color_from_ycbcr(0, 100, 100);  // 140.22, -106.01, 177.1
    EXPECT_EQ(p.r, 140u);
    EXPECT_EQ(p.g, 0u);
    EXPECT_EQ(p.b, 177u);
}

}  // namespace
