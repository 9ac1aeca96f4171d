// PGM headers as other tools write them, raw samples of one and two bytes,
// plain samples, PBM images read as PGM, truncated rasters and the check.
#include "read_support.h"

using namespace tarvex_test;
using namespace std::string_literals;

namespace {

struct PgmCase {
    std::string file;
    int cols, rows;
    sampleval maxval;
    int format;
    std::vector<sampleval> samples;  // every row from the top
};

class PgmReadImage : public ::testing::TestWithParam<PgmCase> {};

TEST_P(PgmReadImage, ReadsHeaderAndRows) {
    const PgmCase& c = GetParam();
    FILE* f = DataFile(c.file);
    int cols = -1, rows = -1, format = 0;
    sampleval maxval = 12345;
    sampleval** image = pgm_readpgm(f, &cols, &rows, &maxval);
    EXPECT_EQ(cols, c.cols);
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(maxval, c.maxval);
    std::vector<sampleval> samples;
    for (int r = 0; r < rows; ++r)
        samples.insert(samples.end(), image[r], image[r] + cols);
    EXPECT_EQ(samples, c.samples);
    EXPECT_EQ(std::getc(f), EOF);
    pm_freearray(image, rows);
    std::rewind(f);
    pgm_readpgminit(f, &cols, &rows, &maxval, &format);
    EXPECT_EQ(format, c.format);
    std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PgmReadImage,
    ::testing::Values(
        PgmCase{"P2\n# gray\n3 2\n255\n0 128 255\n10 20 30\n", 3, 2, 255,
                PGM_PLAIN_CODE, {0, 128, 255, 10, 20, 30}},
        PgmCase{"P2 2 1 255 300#over maxval\n7 ", 2, 1, 255, PGM_PLAIN_CODE,
                {300, 7}},
        PgmCase{"P2\n1 1\n0\n0\n", 1, 1, 0, PGM_PLAIN_CODE, {0}},
        // One blank is the only separator before a raw raster, and a
        // comment straight after the maxval's last digit ends it too.
        PgmCase{"P5 3 1 255 \x01#\n", 3, 1, 255, PGM_RAW_CODE,
                {1, '#', '\n'}},
        PgmCase{"P5\n2 1\n255# c\n\r\n", 2, 1, 255, PGM_RAW_CODE,
                {'\r', '\n'}},
        PgmCase{"P5\r\n2 1\r\n255\r\n\x7f", 2, 1, 255, PGM_RAW_CODE,
                {'\n', 0x7f}},
        PgmCase{"P5\n2 1\n256\n\x01\x00\xff\xfe"s, 2, 1, 256, PGM_RAW_CODE,
                {256, 65534}},
        PgmCase{"P5\n1 2\n65535\n\xff\xff\x00\x01"s, 1, 2, 65535, PGM_RAW_CODE,
                {65535, 1}},
        PgmCase{"P1\n3 1\n101", 3, 1, 255, PBM_PLAIN_CODE, {0, 255, 0}},
        PgmCase{"P4\n3 2\n\xa0\x40", 3, 2, 255, PBM_RAW_CODE,
                {0, 255, 0, 255, 0, 255}}));

TEST(PgmReadpgmrow, RawSamplesOfARowAreReadIntoTheCallersRowOnly) {
    FILE* f = DataFile("\x01\x02\x03\x04\x05");
    sampleval row[4] = {9, 9, 9, 9};
    pgm_readpgmrow(f, row, 3, 255, PGM_RAW_CODE);
    EXPECT_EQ(row[0], 1u);
    EXPECT_EQ(row[1], 2u);
    EXPECT_EQ(row[2], 3u);
    EXPECT_EQ(row[3], 9u);
    EXPECT_EQ(pgm_getrawsample(f, 255), 4u);
    std::fclose(f);
}

TEST(PgmReadDeathTest, BadInputStopsWithTheReadersMessage) {
    auto init = [](FILE* f) {
        int cols, rows, format;
        sampleval maxval;
        pgm_readpgminit(f, &cols, &rows, &maxval, &format);
    };
    auto row = [](int cols, sampleval maxval, int format) {
        return [=](FILE* f) {
            sampleval samples[8];
            pgm_readpgmrow(f, samples, cols, maxval, format);
        };
    };
    const std::string oneByte = "EOF / read error reading a one-byte sample";
    const std::string twoBytes = "EOF /read error while reading a long sample";
    ExpectReadFatal("P2\n1 1\n65536\n", init,
                    "maxval is too large.  The largest we can handle is 65535.");
    ExpectReadFatal("P6\n1 1\n255\n", init,
                    "bad magic number - not a pgm or pbm file");
    ExpectReadFatal("P5\n1 1", init, "EOF / read error reading a byte");
    ExpectReadFatal("", row(3, 255, PGM_RAW_CODE), oneByte);
    ExpectReadFatal("ab", row(3, 255, PGM_RAW_CODE), oneByte);
    ExpectReadFatal("", row(2, 256, PGM_RAW_CODE), twoBytes);
    ExpectReadFatal("\x01\x02\x03", row(2, 65535, PGM_RAW_CODE), twoBytes);
    ExpectReadFatal("1 2", row(3, 255, PGM_PLAIN_CODE),
                    "EOF / read error reading a byte");
    ExpectReadFatal("1 x 2", row(3, 255, PGM_PLAIN_CODE),
                    "junk in file where an unsigned integer should be");
    ExpectReadFatal("1 0 3", row(3, 255, PBM_PLAIN_CODE),
                    "junk in file where bits should be");
    ExpectReadFatal("", row(3, 255, PPM_RAW_CODE), "can't happen");
    ExpectReadFatal("x", [](FILE* f) { pgm_getrawsample(f, 256); }, twoBytes);
}

}  // namespace
