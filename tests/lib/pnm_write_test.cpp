// PNM writer: the family chosen by the format code, raw or plain by the
// plain choice rather than the code's variant, PGM and PBM rows taken from
// the `b` field alone, and bad format codes.
#include <gtest/gtest.h>

#include <vector>

#include "write_capture.h"

using namespace tarvex_test;

namespace {

std::string Init(int format, sampleval maxval, int forceplain) {
    return Written([&](FILE* f) { pnm_writepnminit(f, 2, 1, maxval, format, forceplain); });
}

std::string Row(const std::vector<rgbpixel>& row, sampleval maxval, int format,
                int forceplain) {
    return Written([&](FILE* f) {
        pnm_writepnmrow(f, row.data(), static_cast<int>(row.size()), maxval,
                        format, forceplain);
    });
}

}  // namespace

class PnmWrite : public WriterTest {};
class PnmWriteDeathTest : public WriterTest {};

TEST_F(PnmWrite, HeaderFamilyFromCodeVariantFromPlainChoice) {
    EXPECT_EQ(Init(PPM_PLAIN_CODE, 255, 0), "P6\n2 1\n255\n");
    EXPECT_EQ(Init(PPM_RAW_CODE, 255, 1), "P3\n2 1\n255\n");
    EXPECT_EQ(Init(PGM_PLAIN_CODE, 65535, 0), "P5\n2 1\n65535\n");
    EXPECT_EQ(Init(PBM_RAW_CODE, 65535, 0), "P4\n2 1\n");
    pm_plain_output = 1;
    EXPECT_EQ(Init(PGM_RAW_CODE, 255, 0), "P2\n2 1\n255\n");
    EXPECT_EQ(Init(PBM_RAW_CODE, 1, 0), "P1\n2 1\n");
}

TEST_F(PnmWrite, BilevelRowsAreBlackExactlyWhereBlueIsZero) {
    const std::vector<rgbpixel> row = {
        {9, 9, 0}, {0, 0, 1}, {0, 0, 255}, {0, 0, 0}, {7, 0, 0}, {0, 0, 2},
        {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    EXPECT_EQ(Row(row, 255, PBM_RAW_CODE, 0), Bytes({0x9B, 0x80}));
    EXPECT_EQ(Row(row, 1, PBM_PLAIN_CODE, 1), "100110111\n");
    EXPECT_EQ(Row({}, 1, PBM_RAW_CODE, 1), "\n");
}

TEST_F(PnmWrite, GreyRowsTakeBlueAndIgnoreRedAndGreen) {
    const std::vector<rgbpixel> row = {{1, 2, 3}, {200, 100, 258}};
    EXPECT_EQ(Row(row, 65535, PGM_RAW_CODE, 0), Bytes({0, 3, 1, 2}));
    EXPECT_EQ(Row(row, 65535, PGM_RAW_CODE, 1), "3 258\n");
    EXPECT_EQ(Row({}, 255, PGM_RAW_CODE, 1), "");
}

TEST_F(PnmWrite, ColourRowsPassThrough) {
    const std::vector<rgbpixel> row = {{1, 2, 3}, {200, 100, 50}};
    EXPECT_EQ(Row(row, 255, PPM_PLAIN_CODE, 0), Bytes({1, 2, 3, 200, 100, 50}));
    pm_plain_output = 1;
    EXPECT_EQ(Row(row, 255, PPM_RAW_CODE, 0), "1 2 3  200 100 50\n");
}

TEST_F(PnmWrite, WholeImageOfManyRows) {
    std::vector<rgbpixel> r0 = {{0, 0, 10}, {0, 0, 20}}, r1 = {{0, 0, 30}, {0, 0, 40}};
    const rgbpixel* rows[] = {r0.data(), r1.data(), r0.data()};
    EXPECT_EQ(Written([&](FILE* f) { pnm_writepnm(f, rows, 2, 3, 255, PGM_RAW_CODE, 1); }),
              "P2\n2 3\n255\n10 20\n30 40\n10 20\n");
}

TEST_F(PnmWriteDeathTest, UnknownFormatCodeIsFatal) {
    const rgbpixel px = {0, 0, 0};
    auto init = WrittenToFullDevice([](FILE* f) { pnm_writepnminit(f, 1, 1, 255, 0x5037, 0); });
    EXPECT_EQ(init.status, 1);
    EXPECT_EQ(init.err, "writer: invalid format argument received by pnm_writepnminit(): "
                        "20535PNM_FORMAT_TYPE(format) must be 20529, 20530, or 20531\n");
    auto row = WrittenToFullDevice([&](FILE* f) { pnm_writepnmrow(f, &px, 1, 255, 0, 0); });
    EXPECT_EQ(row.status, 1);
    EXPECT_EQ(row.err, "writer: invalid format argument received by pnm_writepnmrow(): "
                       "0PNM_FORMAT_TYPE(format) must be 20529, 20530, or 20531\n");
}
