// Colour specifications: each syntax at several maxvals, the malformed forms
// and their exact fatal messages, component scaling and luma/chroma colours.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "ppm.h"
#include "support/child.h"

using tarvex_test::RunChild;
using tarvex_test::TempFile;

namespace {

// Points RGBDEF at a small dictionary of the tests' own for the name path,
// and restores the variable afterwards.
class ColorSpecEnv {
  public:
    void Set() {
        const char* old = std::getenv("RGBDEF");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        static const std::string dict = TempFile(
            "255 0 0 red\n0 0 128 Navy Blue\n300 0 0 toobright\n"
            "-1 0 0 negative\n");
        setenv("RGBDEF", dict.c_str(), 1);
        pm_setMessage(0, nullptr);
    }
    void Restore() {
        if (saved_)
            setenv("RGBDEF", saved_->c_str(), 1);
        else
            unsetenv("RGBDEF");
    }

  private:
    std::optional<std::string> saved_;
};

struct Valid {
    const char* spec;
    sampleval maxval;
    sampleval r, g, b;
};

void PrintTo(const Valid& v, std::ostream* os) {
    *os << '"' << v.spec << "\" at " << v.maxval;
}

class ParseColorValid : public testing::TestWithParam<Valid> {
  protected:
    void SetUp() override { env_.Set(); }
    void TearDown() override { env_.Restore(); }
    ColorSpecEnv env_;
};

TEST_P(ParseColorValid, YieldsColour) {
    const Valid& v = GetParam();
    const rgbpixel p = ppm_parsecolor(v.spec, v.maxval);
    EXPECT_EQ(p.r, v.r);
    EXPECT_EQ(p.g, v.g);
    EXPECT_EQ(p.b, v.b);
}

INSTANTIATE_TEST_SUITE_P(HexForm, ParseColorValid, testing::Values(
    Valid{"rgb:ff/00/80", 255, 255, 0, 128},
    Valid{"rgb:ff/00/80", 65535, 65535, 0, 32896},
    Valid{"rgb:ff/00/80", 1, 1, 0, 1},
    Valid{"rgb:f/ff/fff", 255, 255, 255, 255},
    Valid{"rgb:8/80/8000", 255, 136, 128, 128},
    Valid{"rgb:7fff/FFFF/0", 255, 127, 255, 0},
    Valid{"rgb:7/8/0", 1, 0, 1, 0}));

INSTANTIATE_TEST_SUITE_P(OldHexForm, ParseColorValid, testing::Values(
    Valid{"#f00", 255, 255, 0, 0},
    Valid{"#888", 255, 136, 136, 136},
    Valid{"#888", 65535, 34952, 34952, 34952},
    Valid{"#ff0000", 255, 255, 0, 0},
    Valid{"#fff000000", 255, 255, 0, 0},
    Valid{"#ffff00000000", 255, 255, 0, 0},
    Valid{"#FFFF80007fff", 65535, 65535, 32768, 32767},
    Valid{"#780", 1, 0, 1, 0}));

INSTANTIATE_TEST_SUITE_P(IntensityForm, ParseColorValid, testing::Values(
    Valid{"rgbi:1/0.5/0", 255, 255, 127, 0},
    Valid{"rgbi:1/0.5/0", 65535, 65535, 32767, 0},
    Valid{"rgbi: 0.1/ 0.7/1e0", 255, 25, 178, 255},
    Valid{"rgbi:1/0.5/0.99", 1, 1, 0, 0}));

INSTANTIATE_TEST_SUITE_P(FractionTriple, ParseColorValid, testing::Values(
    Valid{"0.5,0.5,0.5", 255, 127, 127, 127},
    Valid{".5,.5,.5", 255, 127, 127, 127},
    Valid{"1,0,0", 255, 255, 0, 0},
    Valid{"1,0,0abc", 255, 255, 0, 0},
    Valid{"0.5,1,0", 65535, 32767, 65535, 0},
    Valid{"1,1,0.5", 1, 1, 1, 0}));

INSTANTIATE_TEST_SUITE_P(DictionaryName, ParseColorValid, testing::Values(
    Valid{"red", 255, 255, 0, 0},
    Valid{"NAVYBLUE", 65535, 0, 0, 32896},
    Valid{"navy blue", 100, 0, 0, 50}));

struct Invalid {
    const char* spec;
    sampleval maxval;
    const char* suffix;  // after the quoted specification
};

void PrintTo(const Invalid& v, std::ostream* os) {
    *os << '"' << v.spec << "\" at " << v.maxval;
}

class ParseColorInvalidDeathTest : public testing::TestWithParam<Invalid> {
  protected:
    void SetUp() override { env_.Set(); }
    void TearDown() override { env_.Restore(); }
    ColorSpecEnv env_;
};

// Every malformed specification ends the process with the whole text quoted.
TEST_P(ParseColorInvalidDeathTest, FatalWithWholeText) {
    const Invalid& v = GetParam();
    auto r = RunChild([&] {
        pm_init("tst");
        ppm_parsecolor(v.spec, v.maxval);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("tst: ") + v.suffix + " - \"" + v.spec +
                         "\"\n");
}

constexpr const char* kInvalid = "invalid color specifier";
constexpr const char* kUnknown = "unknown color";

INSTANTIATE_TEST_SUITE_P(HexForm, ParseColorInvalidDeathTest, testing::Values(
    Invalid{"rgb:ff/ff", 255, kInvalid},
    Invalid{"rgb:ff", 255, kInvalid},
    Invalid{"rgb:", 255, kInvalid},
    Invalid{"rgb:ff//ff", 255, kInvalid},
    Invalid{"rgb:fffff/0/0", 65535, kInvalid},
    Invalid{"rgb:0/0/", 255, kInvalid},
    Invalid{"rgb:0/0/0/0", 255, kInvalid},
    Invalid{"rgb:gg/00/00", 1, kInvalid},
    Invalid{"rgb:gg/00/00", 65535, kInvalid},
    Invalid{"rgb:00/00/0g", 255, kInvalid},
    Invalid{"rgb: f/0/0", 255, kInvalid}));

INSTANTIATE_TEST_SUITE_P(OldHexForm, ParseColorInvalidDeathTest, testing::Values(
    Invalid{"#", 255, kInvalid},
    Invalid{"#12", 255, kInvalid},
    Invalid{"#12345", 255, kInvalid},
    Invalid{"#1234567", 255, kInvalid},
    Invalid{"#1234567890123", 65535, kInvalid},
    Invalid{"#ggg", 65535, kInvalid},
    Invalid{"#00000000000z", 1, kInvalid}));

INSTANTIATE_TEST_SUITE_P(FractionForms, ParseColorInvalidDeathTest,
                         testing::Values(Invalid{"rgbi:1/0", 255, kInvalid},
                                         Invalid{"rgbi:", 255, kInvalid},
                                         Invalid{"0.5,0.5", 255, kInvalid},
                                         Invalid{"1;0;0", 255, kInvalid}));

INSTANTIATE_TEST_SUITE_P(GoesToDictionary, ParseColorInvalidDeathTest,
                         testing::Values(Invalid{"-1,0,0", 255, kUnknown},
                                         Invalid{"RGB:ff/00/00", 255, kUnknown},
                                         Invalid{"Rgbi:1/1/1", 255, kUnknown},
                                         Invalid{" #fff", 255, kUnknown},
                                         Invalid{"redd", 255, kUnknown}));

class ParseColorFractionRangeDeathTest
    : public testing::TestWithParam<const char*> {};

// NaN is not between 0.0 and 1.0 either; it must not reach the scaling.
TEST_P(ParseColorFractionRangeDeathTest, FatalWithRangeMessage) {
    const std::string spec = GetParam();
    auto r = RunChild([&] {
        pm_init("tst");
        ppm_parsecolor(spec.c_str(), 255);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tst: invalid color specifier - \"" + spec +
                         "\" - values must be between 0.0 and 1.0\n");
}

INSTANTIATE_TEST_SUITE_P(All, ParseColorFractionRangeDeathTest,
                         testing::Values("rgbi:1.5/0/0", "rgbi:0/-0.1/0",
                                         "rgbi:0/0/inf", "rgbi:nan/0/0",
                                         "0,0,1.0001", "0,nan,0"));

class ParseColorDictionaryDeathTest : public testing::Test {
  protected:
    void SetUp() override { env_.Set(); }
    void TearDown() override { env_.Restore(); }
    ColorSpecEnv env_;
};

// Dictionary values are not checked by the dictionary itself, but a colour
// handed out by the parser must lie within 0..maxval.
TEST_F(ParseColorDictionaryDeathTest, ColourOutsideMaxvalIsRejected) {
    for (const char* name : {"toobright", "negative"}) {
        auto r = RunChild([&] {
            pm_init("tst");
            ppm_parsecolor(name, 255);
        });
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, std::string("tst: invalid color specifier - \"") +
                             name + "\"\n");
    }
}

struct Norm {
    int32_t rgb, maxval;
    unsigned int digits;
    int32_t want;
};

TEST(PmRgbnorm, RoundsHalvesUpForEachDigitCount) {
    const Norm cases[] = {
        {0x8, 255, 1, 136},       {0x80, 255, 2, 128},
        {0x800, 255, 3, 128},     {0x8000, 255, 4, 128},
        {0x7fff, 255, 4, 127},    {0x8, 65535, 1, 34952},
        {0x80, 65535, 2, 32896},  {0xffff, 65535, 4, 65535},
        {0x7, 1, 1, 0},           {0x8, 1, 1, 1},
        {-30, 255, 2, -29},       {INT32_MAX, 65535, 1, INT32_MAX},
        {INT32_MIN, 65535, 1, INT32_MIN},
    };
    for (const Norm& c : cases)
        EXPECT_EQ(pm_rgbnorm(c.rgb, c.maxval, c.digits, "x"), c.want)
            << c.rgb << " at " << c.maxval << ", " << c.digits << " digits";
}

TEST(PmRgbnormDeathTest, DigitCountOutsideOneToFourIsFatal) {
    for (unsigned int digits : {0u, 5u}) {
        auto r = RunChild([&] {
            pm_init("tst");
            pm_rgbnorm(1, 255, digits, "rgb:whole/text/here");
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err,
                  "tst: invalid color specifier - \"rgb:whole/text/here\"\n");
    }
}

TEST(ColorFromYcbcr, LumaAloneIsGray) {
    const rgbpixel p = color_from_ycbcr(100, 0, 0);
    EXPECT_EQ(p.r, 100u);
    EXPECT_EQ(p.g, 100u);
    EXPECT_EQ(p.b, 100u);
}

TEST(ColorFromYcbcr, GreenClampsAtZeroRedAndBlueWrap) {
    // red 10 + 1.4022 * -100 = -130.22, blue 10 + 1.771 * -100 = -167.1,
    // green 10 + 71.45 + 34.56 = 116.01.
    rgbpixel p = color_from_ycbcr(10, -100, -100);
    EXPECT_EQ(p.r, static_cast<sampleval>(-130));
    EXPECT_EQ(p.g, 116u);
    EXPECT_EQ(p.b, static_cast<sampleval>(-167));
    // green 0 - 71.45 - 34.56 is negative.
    p = color_from_ycbcr(0, 100, 100);
    EXPECT_EQ(p.r, 140u);
    EXPECT_EQ(p.g, 0u);
    EXPECT_EQ(p.b, 177u);
}

}  // namespace
