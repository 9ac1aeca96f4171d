// The colour-name table: the first name of a colour takes the next slot, a
// missing dictionary gives empty tables, and 1000 colours are the most.
#include "lib_support.h"

using namespace tarvex_test;

// 1000 distinct colours c0 to c999 and an alias of c0; one entry more, even one that
// repeats a colour the table holds, is fatal.
TEST(PpmColornamesDeathTest, HoldsAThousandColoursUnderTheirFirstNames) {
    std::string text = "! a comment\n0 0 7 c0\n0 0 7 alias\n";
    for (int i = 1; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 7\tc" +
                std::to_string(i) + "\n";
    colorhash cht;
    const char** names;
    ppm_readcolornamefile(TempFile(text).c_str(), 1, &cht, &names);
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
    const std::string path = TempFile(text + "0 0 7 again\n");
    ExpectFatal([&] { ppm_readcolornamefile(path.c_str(), 1, &cht, &names); },
                "prog: Too many colors in colorname dictionary.  Max allowed is 1000\n");
}
