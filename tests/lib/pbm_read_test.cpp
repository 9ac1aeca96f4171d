// PBM headers and rows as other tools write them, plain and raw, the packed
// row reader, truncated rasters and the PBM raster check.
#include "read_support.h"

using namespace tarvex_test;

namespace {

struct PbmCase {
    std::string file;
    int cols, rows, format;
    std::string bits;  // every row, '0' white and '1' black
};

class PbmReadImage : public ::testing::TestWithParam<PbmCase> {};

TEST_P(PbmReadImage, ReadsEveryRowFromTheTop) {
    const PbmCase& c = GetParam();
    FILE* f = DataFile(c.file);
    int cols = -1, rows = -1, format = 0;
    pbmbit** image = pbm_readpbm(f, &cols, &rows);
    std::rewind(f);
    pbm_readpbminit(f, &cols, &rows, &format);
    EXPECT_EQ(cols, c.cols);
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(format, c.format);
    std::string bits;
    for (int r = 0; r < rows; ++r)
        for (int col = 0; col < cols; ++col)
            bits.push_back(static_cast<char>('0' + image[r][col]));
    EXPECT_EQ(bits, c.bits);
    pm_freearray(image, rows);
    std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PbmReadImage,
    ::testing::Values(
        PbmCase{"P1\n# by hand\n3 2\n010\n111\n", 3, 2, PBM_PLAIN_CODE,
                "010111"},
        PbmCase{"P1 3 2 0 1 0 1 1 1", 3, 2, PBM_PLAIN_CODE, "010111"},
        PbmCase{"P1\r\n3\r\n2\r\n0#c\n10\r\n1\t1 1\r\n", 3, 2, PBM_PLAIN_CODE,
                "010111"},
        PbmCase{"P1\n3# width\n2\n0101\n11", 3, 2, PBM_PLAIN_CODE, "010111"},
        // A raw row of 9 columns takes two bytes; the spare bits are skipped.
        PbmCase{"P4\n9 2\n\xaa\xff\x0f\x7f", 9, 2, PBM_RAW_CODE,
                "101010101000011110"},
        PbmCase{"P4 8#c\n1 #", 8, 1, PBM_RAW_CODE, "00100011"},
        PbmCase{"P4\n0 3\n", 0, 3, PBM_RAW_CODE, ""}));

TEST(PbmReadpbmrowPacked, RawRowsAsTheyStandPlainBitsOredIn) {
    FILE* f = DataFile("\xa5\xff\x01");
    unsigned char row[2] = {0, 0};
    pbm_readpbmrow_packed(f, row, 9, PBM_RAW_CODE);
    EXPECT_EQ(row[0], 0xa5);
    EXPECT_EQ(row[1], 0xff);
    EXPECT_EQ(std::getc(f), 1);
    std::fclose(f);

    // Bits already set in the buffer stay black.
    f = DataFile("1 0 0 0 0 0 0 0 0 1\n0000000000");
    row[0] = row[1] = 0;
    for (int pass = 0; pass < 2; ++pass) {
        pbm_readpbmrow_packed(f, row, 10, PBM_PLAIN_CODE);
        EXPECT_EQ(row[0], 0x80);
        EXPECT_EQ(row[1], 0x40);
    }
    std::fclose(f);
}

TEST(PbmReadDeathTest, BadInputStopsWithTheReadersMessage) {
    auto row = [](int cols, int format) {
        return [=](FILE* f) {
            pbmbit bits[16];
            pbm_readpbmrow(f, bits, cols, format);
        };
    };
    auto packed = [](int cols, int format) {
        return [=](FILE* f) {
            unsigned char bits[4] = {};
            pbm_readpbmrow_packed(f, bits, cols, format);
        };
    };
    auto init = [](FILE* f) {
        int cols, rows, format;
        pbm_readpbminit(f, &cols, &rows, &format);
    };
    ExpectReadFatal("0 1 2", row(3, PBM_PLAIN_CODE),
                    "junk in file where bits should be");
    ExpectReadFatal("0 1", row(3, PBM_PLAIN_CODE),
                    "EOF / read error reading a byte");
    ExpectReadFatal("\xff", row(9, PBM_RAW_CODE),
                    "EOF / read error reading a one-byte sample");
    ExpectReadFatal("", row(1, PGM_RAW_CODE), "can't happen");
    ExpectReadFatal("", packed(9, PBM_RAW_CODE),
                    "Attempt to read a raw PBM image row, but no more rows "
                    "left in file.");
    ExpectReadFatal("\xff", packed(9, PBM_RAW_CODE),
                    "EOF in the middle of a raw PBM row.");
    ExpectReadFatal("", packed(9, PGM_RAW_CODE),
                    "Internal error in pbm_readpbmrow_packed.");
    ExpectFatal(InChild([] {
                    // A stream open only for writing fails every read.
                    unsigned char bits[1];
                    pbm_readpbmrow_packed(std::fopen("/dev/null", "wb"), bits,
                                          8, PBM_RAW_CODE);
                }),
                "I/O error reading raw PBM row");
    for (const char* header : {"P2\n1 1\n", " P1 1 1", "P7 1 1"})
        ExpectReadFatal(header, init, "bad magic number - not a pbm file");
    ExpectReadFatal("P1\n1", init, "EOF / read error reading a byte");
}

}  // namespace
