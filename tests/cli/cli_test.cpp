// The corvane executable: option matching and values, the common options,
// files and standard streams, usage errors, and an image too large to hold.
#include <gtest/gtest.h>

#include <png.h>

#include "support/child.h"
#include "support/png_builder.h"

using namespace std::string_literals;

namespace {

using tarvex_test::ChildResult;
using tarvex_test::PngBuilder;
using tarvex_test::ReadFile;
using tarvex_test::TempFile;

const std::string kUsage =
    "usage:  corvane [-verbose] [-alpha | -mix] [-background color] ...\n"
    "             ... [-gamma value] [-text file] [-time] [pngfile]\n";

ChildResult Corvane(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), CORVANE_EXE);
    return tarvex_test::RunProgram(args, input);
}

// 2 x 1 RGBA: an opaque red pixel and a clear one, 5 significant bits, a
// modification time and a text chunk.
std::string SamplePng() {
    return PngBuilder(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8)
        .Samples({255, 0, 0, 255, 0, 255, 0, 0})
        .SignificantBits(5, 5, 5, 0, 8)
        .Time(2004, 3, 2, 14, 5, 9)
        .Text("Title", "Red")
        .Build();
}

std::string Magic(const ChildResult& r) {
    return r.out.substr(0, 2);
}

TEST(Cli, ShortestPrefixesAndAnyCaseSelectTheOptions) {
    const std::string png = TempFile(SamplePng(), ".png");
    const std::string text = TempFile("");
    const auto r = Corvane({"-VERB", "-a", "-ti", "-te", text, "-g", "1", "-b", "red", png});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("corvane: reading a 2w x 1h image"), std::string::npos);
    EXPECT_NE(r.err.find("modification time: 02 March 2004 14:05:09"), std::string::npos);
    EXPECT_EQ(Magic(r), "P5");
    EXPECT_EQ(ReadFile(text), "Title           Red\n");
    EXPECT_EQ(Magic(Corvane({"-m"}, SamplePng())), "P6");
}

TEST(Cli, TheLaterAlphaModeWins) {
    EXPECT_EQ(Corvane({"-alpha", "-mix"}, SamplePng()).out, "P6\n2 1\n255\n\xff\0\0\xff\xff\xff"s);
    EXPECT_EQ(Corvane({"-mix", "-alpha"}, SamplePng()).out, "P5\n2 1\n255\n\xff\0"s);
}

TEST(Cli, GammaThatIsNotANumberLeavesNoCorrection) {
    // Without gamma correction the 5 significant bits set the maxval.
    EXPECT_EQ(Corvane({"-gamma", "junk"}, SamplePng()).out.substr(0, 10), "P6\n2 1\n31\n");
    EXPECT_EQ(Corvane({"-gamma", "2.2"}, SamplePng()).out.substr(0, 11), "P6\n2 1\n255\n");
}

TEST(Cli, UsageErrors) {
    const std::string png = TempFile(SamplePng(), ".png");
    const std::string version = std::string("corvane version 2.37.4 (5 December 1999) +tarvex, "
                                            "compiled with libpng version ") +
                                PNG_LIBPNG_VER_STRING + "\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"-background"}, kUsage},
        {{"-gamma"}, kUsage},
        {{png, "-text"}, kUsage},
        {{"-x", png}, version + kUsage},
        {{"-t", png}, version + kUsage},
        {{png, "extra"}, kUsage},
        {{"/nonexistent.png", "extra"},
         "corvane: Unable to open file '/nonexistent.png' for reading.  fopen() returns "
         "errno 2 (No such file or directory)\n"},
    };
    for (const auto& c : cases) {
        const auto r = Corvane(c.args, SamplePng());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(Cli, StandardInputAndTheCommonOptions) {
    EXPECT_EQ(Corvane({}, SamplePng()).out, Corvane({"-"}, SamplePng()).out);
    EXPECT_EQ(Corvane({"-plain"}, SamplePng()).out, "P3\n2 1\n31\n31 0 0  0 31 0\n");
    const auto quiet = Corvane({"-verbose", "--QUIET", "-time"}, SamplePng());
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    const auto version = Corvane({"-version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err.rfind("corvane: Using libtarvex from Tarvex Version: Tarvex 10.18.11\n", 0),
              0u);
    for (const char* help : {"-help", "-?"}) {
        const auto r = Corvane({help});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "corvane: Use 'man corvane' for help.\n");
    }
}

TEST(Cli, TextFileIsCreatedEvenWhenTheInputIsNoPng) {
    const std::string text = TempFile("old contents");
    const auto r = Corvane({"-text", text}, "not a png at all");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane: input file is not a PNG file\n");
    EXPECT_EQ(ReadFile(text), "");
}

TEST(Cli, TextOnStandardOutputComesFirstAndClosesCleanly) {
    const auto r = Corvane({"-text", "-"}, SamplePng());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, 24), "Title           Red\nP6\n2");
}

TEST(Cli, ImageTooLargeToHoldEndsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer";
#endif
    // 100000 x 100000 RGBA at 16 bits is 80 GB of decoded samples.
    const std::string png = TempFile(
        tarvex_test::WithDeclaredSize(PngBuilder(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16).Build(),
                                      100000, 100000),
        ".png");
    const auto r = tarvex_test::RunProgram(
        {"/bin/sh", "-c", std::string("ulimit -v 2000000; exec ") + CORVANE_EXE + " " + png});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "corvane: couldn't allocate space for image\n");
}

}  // namespace
