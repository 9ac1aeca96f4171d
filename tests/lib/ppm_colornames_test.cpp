// The colour-name table: the first name of a colour takes the next slot, a
// missing dictionary gives empty tables, and 1000 colours are the most.
#include <gtest/gtest.h>

#include "ppm.h"
#include "support/child.h"

// 1000 distinct colours c0 to c999 and an alias of c0; one entry more, even one that
// repeats a colour the table holds, is fatal.
TEST(PpmColornamesDeathTest, HoldsAThousandColoursUnderTheirFirstNames) {
    std::string text = "! a comment\n0 0 7 c0\n0 0 7 alias\n";
    for (int i = 1; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 7\tc" +
                std::to_string(i) + "\n";
    colorhash cht;
    const char** names;
    ppm_readcolornamefile(tarvex_test::TempFile(text).c_str(), 1, &cht, &names);
    const rgbpixel first{0, 0, 7}, last{999 % 256, 3, 7};
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &first)], "c0");
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &last)], "c999");
    EXPECT_NE(names[MAXCOLORNAMES - 1], nullptr);
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
    ppm_readcolornamefile("/nonexistent/rgb.txt", 0, &cht, &names);
    EXPECT_EQ(ppm_lookupcolor(cht, &first), -1);
    EXPECT_EQ(names[0], nullptr);
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
    const std::string path = tarvex_test::TempFile(text + "0 0 7 again\n");
    auto r = tarvex_test::RunChild(
        [&] { pm_init("colortest"); ppm_readcolornamefile(path.c_str(), 1, &cht, &names); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "colortest: Too many colors in colorname dictionary.  Max allowed is 1000\n");
}
