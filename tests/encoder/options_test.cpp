// SPDX-License-Identifier: MIT
// belvane's options as corvane sees their chunks, and every way to fail:
// each ends with status 1, its message and not one byte of PNG.
#include <gtest/gtest.h>

#include "support/support.h"

using namespace std::string_literals;

namespace {

using tarvex_test::ChildResult;
using tarvex_test::TempFile;

ChildResult Exec(const char* exe, std::vector<std::string> args, const std::string& in = "") {
    args.insert(args.begin(), exe);
    return tarvex_test::RunMain(nullptr, args, in);
}

std::string Through(const std::vector<std::string>& belvane, const std::string& pnm,
                    const std::vector<std::string>& corvane) {
    const auto png = Exec(BELVANE_EXE, belvane, pnm);
    EXPECT_EQ(png.status, 0) << png.err;
    return Exec(CORVANE_EXE, corvane, png.out).out;
}

TEST(Options, TransparentAndBackgroundReachCorvaneInEveryLayout) {
    // Red, green, blue, red: a palette, 16-bit truecolor, and gray.
    const std::string palette = "P3 4 1 255 255 0 0 0 255 0 0 0 255 255 0 0\n";
    const std::string deep = "P3 4 1 65535 65535 0 0 0 65535 0 0 0 65535 65535 0 0\n";
    const std::string gray = "P2 4 1 255 0 128 255 0\n";
    const std::vector<std::string> opts = {"-transparent", "red", "-background", "blue"};
    const std::string mask = "P4\n4 1\n\x90"s;
    for (const std::string& pnm : {palette, deep, gray})
        EXPECT_EQ(Through(opts, pnm, {"-alpha"}), mask) << pnm;
    EXPECT_EQ(Through(opts, palette, {"-mix"}),
              "P6\n4 1\n255\n\0\0\xff\0\xff\0\0\0\xff\0\0\xff"s);
    EXPECT_EQ(Through(opts, deep, {"-mix"}).substr(0, 19), "P6\n4 1\n65535\n\0\0\0\0\xff\xff"s);
    // A gray image takes the colour's blue as its gray, whatever its layout
    // (wide enough, it becomes a palette).
    std::string wide = "P2 64 1 255", mixed = "P5\n64 1\n255\n";
    for (int i = 0; i < 16; ++i)
        wide += " 0 128 255 0", mixed += "\x7f\x80\xff\x7f";
    EXPECT_EQ(Through({"-tr", "black", "-b", "rgb:ff/80/7f"}, wide + "\n", {"-mix"}), mixed);
    // A PPM of grays stays PPM, in a palette as in truecolor.
    std::string grays = "P3 64 1 255", back = "P6\n64 1\n255\n";
    for (int i = 0; i < 64; ++i)
        grays += i % 2 ? " 9 9 9" : " 200 200 200", back += i % 2 ? "\t\t\t" : "\xc8\xc8\xc8";
    EXPECT_EQ(Through({}, grays + "\n", {}), back);
}

TEST(Options, GammaTimeAndVerbose) {
    const std::string pnm = "P2 2 1 15 3 12\n";
    setenv("SOURCE_DATE_EPOCH", "1078236309", 1);
    const auto png = Exec(BELVANE_EXE, {"-gamma", "0.45", "-time", "-verbose", "-c", "9"}, pnm);
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_NE(png.err.find("belvane: wrote a 2w x 1h PNG image, 4 bits gray: IHDR gAMA tIME "
                           "IDAT IEND, "), std::string::npos) << png.err;
    const auto back = Exec(CORVANE_EXE, {"-verbose", "-time"}, png.out);
    EXPECT_NE(back.err.find("image gamma = 0.45"), std::string::npos) << back.err;
    EXPECT_NE(back.err.find("modification time: 02 March 2004 14:05:09"), std::string::npos);
}

TEST(Failures, EndWithTheMessageAndNoOutput) {
    const std::string ok = "P6\n1 1\n255\nabc", ppmMask = TempFile("P3 1 1 1 0 0 0\n");
    const std::string wide = TempFile("P2 2 1 1 0 1\n"), gray = TempFile("P2 1 1 1 0\n");
    const auto text = [](const std::string& s) { return TempFile(s); };
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-alpha", wide}, "the mask is 2 x 1, but the image is 1 x 1"},
        {{"-alpha", ppmMask}, "the mask must be a PGM or PBM image, not PPM"},
        {{"-alpha", "/nonexistent"}, "Unable to open file '/nonexistent' for reading"},
        {{"-alpha", gray, "-transparent", "red"}, "-alpha and -transparent cannot be used together"},
        {{"-gamma", "0"}, "-gamma needs a positive number, not '0'"},
        {{"-gamma", "1e9"}, "-gamma needs a positive number, not '1e9'"},
        {{"-compression", "10"}, "-compression needs a level from 0 to 9, not '10'"},
        {{"-background", "nosuchcolor"}, "unknown color - \"nosuchcolor\""},
        {{"-x"}, "belvane version "},
        {{"-alpha"}, "usage:  belvane [-verbose] [-alpha file]"},
        {{"-text", text("Title x\n")}, "line 1: the text must start in column 17"},
        {{"-text", text("Title           x\n y\n")}, "line 2: a continuation line must follow"},
        {{"-text", text(std::string(80, 'K') + " y\n")}, "longer than 79 characters"},
        {{"-text", text("\"A  b\"          x\n")}, "it holds two blanks in a row"},
        {{"-text", text("\"Two words  x\n")}, "line 1: the quoted keyword has no closing quote"},
        {{"-text", text("Title           x\0y"s)}, "the text holds a NUL byte"},
    };
    setenv("RGBDEF", "/dev/null", 1);
    for (const auto& [args, message] : cases) {
        const auto r = Exec(BELVANE_EXE, args, ok);
        EXPECT_TRUE(r.status == 1 && r.out.empty() && r.err.find(message) != std::string::npos)
            << args[0] << ": " << r.err;
    }
    unsetenv("RGBDEF");
}

TEST(Failures, DamagedImagesWriteNothing) {
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {"P6\n100000 100000\n255\n", "The raster should contain 30000000000 bytes"},
        {"P1\n2000000000 1\n0", "which takes at least 2000000000 bytes of plain raster, but only 1"},
        {"P5\n0 3\n255\n", "needs at least one column and one row, not 0 x 3"},
        {"P5 1 1 0\n\0"s, "maxval"},
        {"P9\n", "bad magic number"},
        {"P2 2 1 3 1 300\n", "row 0 of the image holds the sample 300, above its maxval 3"},
    };
    for (const auto& [pnm, message] : inputs) {
        const auto r = Exec(BELVANE_EXE, {}, pnm);
        EXPECT_TRUE(r.status == 1 && r.out.empty() && r.err.find(message) != std::string::npos)
            << pnm << ": " << r.err;
    }
    // Every truncation of a raw PPM, a raw PBM and a plain PGM.
    for (const std::string& pnm : {"P6\n3 2\n255\nabcdefghijklmnopqr"s, "P4\n9 2\n\xff\x80\x00\x80"s,
                                  "P2 3 2 9 1 2 3 4 5 6"s})
        for (size_t n = 0; n < pnm.size(); ++n) {
            const auto r = Exec(BELVANE_EXE, {}, pnm.substr(0, n));
            EXPECT_TRUE(r.status == 1 && r.out.empty()) << pnm.substr(0, n);
        }
    const auto full = Exec("/bin/sh", {"-c", "\"$0\" \"$1\" > /dev/full", BELVANE_EXE,
                                       TempFile("P5 1 1 255\n\x7f")});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

}  // namespace
