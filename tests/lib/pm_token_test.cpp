// The token readers under every header and plain raster: comments read as
// their line end, raw bytes, the exact bound of unsigned numbers, and the
// magic number.
#include "read_support.h"

using namespace tarvex_test;

namespace {

TEST(PmGetc, CommentReadsAsTheLineEndThatClosesIt) {
    FILE* f = DataFile("a# comment\nb#x\rc");
    EXPECT_EQ(pm_getc(f), 'a');
    EXPECT_EQ(pm_getc(f), '\n');
    EXPECT_EQ(pm_getc(f), 'b');
    EXPECT_EQ(pm_getc(f), '\r');
    EXPECT_EQ(pm_getc(f), 'c');
    std::fclose(f);
}

TEST(PmGetrawbyte, TakesEveryByteAsDataIncludingHash) {
    FILE* f = DataFile("#\xff");
    EXPECT_EQ(pm_getrawbyte(f), '#');
    EXPECT_EQ(pm_getrawbyte(f), 0xff);
    std::fclose(f);
}

struct UintCase {
    const char* text;
    unsigned int value;
    int next;  // the byte after the one that ended the number
};

class PmGetuint : public ::testing::TestWithParam<UintCase> {};

TEST_P(PmGetuint, ReadsTheNumberAndDropsOneCharacter) {
    const UintCase& c = GetParam();
    FILE* f = DataFile(c.text);
    EXPECT_EQ(pm_getuint(f), c.value);
    EXPECT_EQ(std::getc(f), c.next);
    std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, PmGetuint,
    ::testing::Values(
        UintCase{"0 x", 0, 'x'},
        UintCase{" \t\r\n42\nx", 42, 'x'},
        UintCase{"# lead\n7 x", 7, 'x'},
        UintCase{"12# tail\nx", 12, 'x'},
        UintCase{"000000000000012 x", 12, 'x'},
        UintCase{"999999999 x", 999999999, 'x'},
        UintCase{"2147483640 x", 2147483640, 'x'},
        UintCase{"2147483630 x", 2147483630, 'x'},
        UintCase{"5\r\nx", 5, '\n'}));

TEST(PmGetuintDeathTest, JunkTooLargeAndEndOfFile) {
    const std::string junk = "junk in file where an unsigned integer should be";
    const std::string large =
        "ASCII decimal integer in file is too large to be processed.  ";
    const std::string eof = "EOF / read error reading a byte";
    const std::pair<const char*, std::string> cases[] = {
        {"\f1 ", junk},          {"\v1 ", junk},          {"-1 ", junk},
        {"x", junk},             {"2147483641 ", large},  {"2147483639 ", large},
        {"4294967295 ", large},  {"99999999999 ", large}, {"", eof},
        {"  ", eof},             {"17", eof},             {"# no end", eof},
    };
    for (const auto& [input, message] : cases)
        ExpectReadFatal(input, [](FILE* f) { pm_getuint(f); }, message);
}

TEST(PmReadmagicnumber, FirstTwoBytesAsTheyAre) {
    FILE* f = DataFile("P6x");
    EXPECT_EQ(pm_readmagicnumber(f), PPM_RAW_CODE);
    EXPECT_EQ(std::getc(f), 'x');
    std::fclose(f);
    f = DataFile("\n\x01");
    EXPECT_EQ(pm_readmagicnumber(f), '\n' * 256 + 1);
    std::fclose(f);
}

TEST(PmReadmagicnumberDeathTest, EmptyOrOneByteInput) {
    for (const char* input : {"", "P"})
        ExpectReadFatal(input, [](FILE* f) { pm_readmagicnumber(f); },
                        "Error reading magic number from Tarvex image stream."
                        "  Most often, this means your input file is empty.");
}

TEST(PmGetcDeathTest, EndOfFileInsideAComment) {
    ExpectReadFatal("#abc", [](FILE* f) { pm_getc(f); },
                    "EOF / read error reading a byte");
    ExpectReadFatal("", [](FILE* f) { pm_getrawbyte(f); },
                    "EOF / read error reading a one-byte sample");
}

}  // namespace
