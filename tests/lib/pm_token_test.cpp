// The token readers under every header and plain raster: comments read as
// their line end, raw bytes, the exact bound of unsigned numbers, and the
// magic number.
#include "lib_support.h"

using namespace tarvex_test;

namespace {

TEST(PmToken, CommentsReadAsTheirLineEndRawBytesAndMagicNumbersAsTheyAre) {
    FILE* f = DataFile("a# comment\nb#x\rc#\xffP6\n\x01");
    std::string got;
    for (int i = 0; i < 5; ++i)
        got.push_back(pm_getc(f));
    EXPECT_EQ(got, "a\nb\rc");
    EXPECT_EQ(pm_getrawbyte(f), '#');
    EXPECT_EQ(pm_getrawbyte(f), 0xff);
    EXPECT_EQ(pm_readmagicnumber(f), PPM_RAW_CODE);
    EXPECT_EQ(pm_readmagicnumber(f), '\n' * 256 + 1);
    std::fclose(f);
}

TEST(PmGetuint, ReadsTheNumberUpToItsBoundAndDropsOneCharacter) {
    const std::tuple<const char*, unsigned, int> cases[] = {  // text, value, next byte
        {" \t\r\n42\nx", 42, 'x'},       {"# lead\n7 x", 7, 'x'},
        {"12# tail\nx", 12, 'x'},        {"000000000000012 x", 12, 'x'},
        {"2147483640 x", 2147483640, 'x'}, {"2147483630 x", 2147483630, 'x'},
        {"5\r\nx", 5, '\n'}};
    for (const auto& [text, value, next] : cases) {
        FILE* f = DataFile(text);
        EXPECT_EQ(pm_getuint(f), value) << text;
        EXPECT_EQ(std::getc(f), next) << text;
        std::fclose(f);
    }
}

TEST(PmGetuintDeathTest, JunkTooLargeAndEndOfFile) {
    const std::string junk = "junk in file where an unsigned integer should be",
                      large = "ASCII decimal integer in file is too large to be processed.  ",
                      eof = "EOF / read error reading a byte";
    const Read getuint = [](FILE* f) { pm_getuint(f); };
    const std::tuple<std::string, Read, std::string> cases[] = {
        {"\f1 ", getuint, junk},          {"-1 ", getuint, junk},
        {"2147483641 ", getuint, large},  {"2147483639 ", getuint, large},
        {"4294967295 ", getuint, large},  {"", getuint, eof},
        {"17", getuint, eof},             {"# no end", getuint, eof},
        {"", [](FILE* f) { pm_getrawbyte(f); }, "EOF / read error reading a one-byte sample"},
    };
    ExpectReadsFatal(cases);
}

}  // namespace
