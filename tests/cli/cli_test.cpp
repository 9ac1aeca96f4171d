// The corvane executable: option matching and values, the common options,
// files and standard streams, and usage errors.
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

ChildResult Corvane(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), CORVANE_EXE);
    return tarvex_test::RunProgram(args, input);
}

// 2 x 1 RGBA: an opaque red pixel and a clear one, 5 significant bits, a
// modification time and a text chunk.
const std::string kPng = PngBuilder(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8)
                             .Samples({255, 0, 0, 255, 0, 255, 0, 0})
                             .SignificantBits(5, 5, 5, 0, 8)
                             .Time(2004, 3, 2, 14, 5, 9)
                             .Text("Title", "Red")
                             .Build();

TEST(Cli, ShortestPrefixesAndAnyCaseSelectTheOptions) {
    const std::string png = TempFile(kPng, ".png"), text = TempFile("");
    const auto r = Corvane({"-VERB", "-a", "-ti", "-te", text, "-g", "1", "-b", "red", png});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.starts_with("corvane: reading a 2w x 1h image")) << r.err;
    EXPECT_NE(r.err.find("modification time: 02 March 2004 14:05:09"), std::string::npos);
    EXPECT_EQ(r.out.substr(0, 2), "P5");
    EXPECT_EQ(ReadFile(text), "Title           Red\n");
}

TEST(Cli, OutputFollowsTheOptions) {
    const std::string raw = "P6\n2 1\n31\n\x1f\0\0\0\x1f\0"s;
    const std::string mixed = "P6\n2 1\n255\n\xff\0\0\xff\xff\xff"s;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-m"}, mixed}, {{"-alpha", "-mix"}, mixed},
        {{"-mix", "-alpha"}, "P5\n2 1\n255\n\xff\0"s},
        {{"-gamma", "junk"}, raw},  // no number, no correction: the 5 significant bits stay
        {{"-plain"}, "P3\n2 1\n31\n31 0 0  0 31 0\n"}, {{"-"}, raw}, {{}, raw},
        {{"-text", "-"}, "Title           Red\n" + raw}, {{"-verbose", "--QUIET", "-time"}, raw},
    };
    for (const auto& [args, out] : cases) {
        const auto r = Corvane(args, kPng);
        EXPECT_TRUE(r.status == 0 && r.err.empty() && r.out == out) << args.size() << r.err;
    }
    EXPECT_EQ(Corvane({"-gamma", "2.2"}, kPng).out.substr(0, 11), "P6\n2 1\n255\n");
    const auto version = Corvane({"-version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.err.starts_with("corvane: Using libtarvex from Tarvex Version: "
                                        "Tarvex 10.18.11\n"));
}

TEST(CliDeathTest, UsageErrorsAndFailuresEndWithStatus1AndNoOutput) {
    const std::string png = TempFile(kPng, ".png"), text = TempFile("old contents");
    const std::string usage =
        "usage:  corvane [-verbose] [-alpha | -mix] [-background color] ...\n"
        "             ... [-gamma value] [-text file] [-time] [pngfile]\n";
    const std::string version = "corvane version 2.37.4 (5 December 1999) +tarvex, compiled with "
                                "libpng version "s + PNG_LIBPNG_VER_STRING + "\n";
    const std::string help = "corvane: Use 'man corvane' for help.\n";
    const struct {
        std::vector<std::string> args;
        std::string err, input = kPng;
    } cases[] = {
        {{"-background"}, usage}, {{"-gamma"}, usage}, {{png, "-text"}, usage}, {{png, "x"}, usage},
        {{"-x", png}, version + usage}, {{"-t", png}, version + usage},
        {{"/nonexistent.png", "extra"},
         "corvane: Unable to open file '/nonexistent.png' for reading.  fopen() returns "
         "errno 2 (No such file or directory)\n"},
        {{"-help"}, help}, {{"-?"}, help},
        // The text file is made before the input is found to be no PNG.
        {{"-text", text}, "corvane: input file is not a PNG file\n", "not a png at all"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const auto r = Corvane(c.args, c.input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(ReadFile(text), "");
}

}  // namespace
