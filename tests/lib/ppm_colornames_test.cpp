// The colour-name table: the first name of a colour takes the next slot, a
// missing dictionary gives empty tables, and 1000 colours are the most.
#include <gtest/gtest.h>

#include <string>

#include "ppm.h"
#include "support/child.h"

using tarvex_test::TempFile;

namespace {

// 1000 distinct colours named c0 to c999; a second name for c0's colour
// follows it, and `tail` ends the file.
std::string Dictionary(const std::string& tail) {
    std::string text = "! a comment\n";
    for (int i = 0; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) +
                " 7\tc" + std::to_string(i) + (i ? "\n" : "\n0 0 7 alias\n");
    return text + tail;
}

// Reads a dictionary and the count of filled slots, which must come first.
int Read(const char* path, int mustOpen, colorhash* chtP,
         const char*** namesP) {
    ppm_readcolornamefile(path, mustOpen, chtP, namesP);
    int filled = 0;
    while (filled < MAXCOLORNAMES && (*namesP)[filled] != nullptr)
        ++filled;
    for (int i = filled; i < MAXCOLORNAMES; ++i)
        EXPECT_EQ((*namesP)[i], nullptr) << i;
    return filled;
}

}  // namespace

TEST(PpmColornames, ReadsAFullDictionaryOrNone) {
    colorhash cht = nullptr;
    const char** names = nullptr;
    EXPECT_EQ(Read(TempFile(Dictionary("")).c_str(), 1, &cht, &names), 1000);
    const rgbpixel first{0, 0, 7}, last{999 % 256, 3, 7};
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &first)], "c0");
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &last)], "c999");
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
    EXPECT_EQ(Read("/nonexistent/rgb.txt", 0, &cht, &names), 0);
    EXPECT_EQ(ppm_lookupcolor(cht, &first), -1);
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
}

TEST(PpmColornamesDeathTest, AnyEntryAfterTheThousandthColourIsFatal) {
    // Even one that repeats a colour the table already holds.
    static const std::string path = TempFile(Dictionary("0 0 7 again\n"));
    auto r = tarvex_test::RunChild([] {
        pm_init("colortest");
        colorhash cht;
        const char** names;
        ppm_readcolornamefile(path.c_str(), 1, &cht, &names);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "colortest: Too many colors in colorname dictionary.  "
                     "Max allowed is 1000\n");
}
