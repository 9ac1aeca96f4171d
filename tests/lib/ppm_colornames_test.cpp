// The colour-name table: the first name of a colour wins a slot, a missing
// dictionary gives empty tables, and the table holds at most 1000 colours.
#include <gtest/gtest.h>

#include <string>

#include "ppm.h"
#include "support/child.h"

using tarvex_test::TempFile;

namespace {

// A dictionary of `count` distinct colours named c0, c1, ..., then `extra`.
std::string Dictionary(int count, const std::string& extra = "") {
    std::string text = "! made by the tests\n";
    for (int i = 0; i < count; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) +
                " 7\tc" + std::to_string(i) + "\n";
    return text + extra;
}

}  // namespace

TEST(PpmColornames, FirstNameOfEachColourTakesTheNextSlot) {
    struct Case {
        std::string text;
        int filled;
    } const cases[] = {
        {"1 2 3 first\n# note\n1 2 3 second\n4 5 6 Dark Grey\n", 2},
        {Dictionary(1000), 1000},
    };
    for (const Case& k : cases) {
        colorhash cht = nullptr;
        const char** names = nullptr;
        ppm_readcolornamefile(TempFile(k.text).c_str(), 1, &cht, &names);
        for (int i = 0; i < MAXCOLORNAMES; ++i)
            EXPECT_EQ(names[i] != nullptr, i < k.filled) << i;
        const rgbpixel last = k.filled == 2 ? rgbpixel{4, 5, 6}
                                            : rgbpixel{999 % 256, 3, 7};
        EXPECT_EQ(ppm_lookupcolor(cht, &last), k.filled - 1);
        if (k.filled == 2) {
            EXPECT_STREQ(names[0], "first");
            EXPECT_STREQ(names[1], "Dark Grey");
        } else {
            EXPECT_STREQ(names[999], "c999");
        }
        ppm_freecolornames(names);
        ppm_freecolorhash(cht);
    }
}

TEST(PpmColornames, MissingOptionalDictionaryGivesEmptyTables) {
    colorhash cht = nullptr;
    const char** names = nullptr;
    ppm_readcolornamefile("/nonexistent/rgb.txt", 0, &cht, &names);
    const rgbpixel black{0, 0, 0};
    EXPECT_EQ(ppm_lookupcolor(cht, &black), -1);
    for (int i = 0; i < MAXCOLORNAMES; ++i)
        ASSERT_EQ(names[i], nullptr);
    ppm_freecolornames(names);
    ppm_freecolorhash(cht);
}

TEST(PpmColornamesDeathTest, AnyEntryAfterTheThousandthColourIsFatal) {
    // Even one that repeats a colour the table already holds.
    static const std::string path = TempFile(Dictionary(1000, "0 0 7 again\n"));
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
