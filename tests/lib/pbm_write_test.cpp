// PBM writer: headers, raw packing, plain line wrapping at 70 digits, the
// packed-row writer and its write failure.
#include <gtest/gtest.h>

#include <vector>

#include "write_capture.h"

using namespace tarvex_test;

namespace {

std::string Row(const std::vector<pbmbit>& row, int forceplain) {
    return Written([&](FILE* f) {
        pbm_writepbmrow(f, row.data(), static_cast<int>(row.size()), forceplain);
    });
}

std::string Digits(size_t n, char c = '1') { return std::string(n, c); }

}  // namespace

class PbmWrite : public WriterTest {};
class PbmWriteDeathTest : public WriterTest {};

TEST_F(PbmWrite, HeaderFollowsForceplainAndPlainFlag) {
    EXPECT_EQ(Written([](FILE* f) { pbm_writepbminit(f, 3, 2, 0); }), "P4\n3 2\n");
    EXPECT_EQ(Written([](FILE* f) { pbm_writepbminit(f, 3, 2, 7); }), "P1\n3 2\n");
    pm_plain_output = 1;
    EXPECT_EQ(Written([](FILE* f) { pbm_writepbminit(f, 0, 0, 0); }), "P1\n0 0\n");
}

TEST_F(PbmWrite, RawRowsPackLeftmostPixelHighAndPadWithZero) {
    EXPECT_EQ(Row({}, 0), "");
    EXPECT_EQ(Row(std::vector<pbmbit>(8, 1), 0), Bytes({0xFF}));
    EXPECT_EQ(Row(std::vector<pbmbit>(9, 1), 0), Bytes({0xFF, 0x80}));
    EXPECT_EQ(Row({1, 0, 1, 1, 0}, 0), Bytes({0xB0}));
    // Any nonzero byte is black.
    EXPECT_EQ(Row({0, 2, 0, 255, 0, 0, 0, 1, 128}, 0), Bytes({0x51, 0x80}));
}

TEST_F(PbmWrite, PlainRowsWrapAfterSeventyDigits) {
    EXPECT_EQ(Row({}, 1), "\n");
    EXPECT_EQ(Row({1, 0, 5}, 1), "101\n");
    EXPECT_EQ(Row(std::vector<pbmbit>(70, 1), 1), Digits(70) + "\n");
    EXPECT_EQ(Row(std::vector<pbmbit>(71, 1), 1), Digits(70) + "\n1\n");
    EXPECT_EQ(Row(std::vector<pbmbit>(140, 0), 1),
              Digits(70, '0') + "\n" + Digits(70, '0') + "\n");
}

TEST_F(PbmWrite, RowsLongerThanOneOutputBlockComeOutWhole) {
    std::vector<pbmbit> row(400000);
    for (size_t i = 0; i < row.size(); i += 2)
        row[i] = 1;
    EXPECT_EQ(Row(row, 0), std::string(50000, '\xAA'));
    std::string lines;
    for (int l = 0; l < 400000 / 70; ++l)
        lines += "10101010101010101010101010101010101010101010101010"
                 "10101010101010101010\n";
    lines += "10101010101010101010\n";
    EXPECT_EQ(Row(row, 1), lines);
}

TEST_F(PbmWrite, PackedRowRawKeepsPaddingPlainWritesExactlyColsDigits) {
    const unsigned char packed[] = {0xA5, 0x7F};
    EXPECT_EQ(Written([&](FILE* f) { pbm_writepbmrow_packed(f, packed, 10, 0); }),
              Bytes({0xA5, 0x7F}));
    EXPECT_EQ(Written([&](FILE* f) { pbm_writepbmrow_packed(f, packed, 10, 1); }),
              "1010010101\n");
    EXPECT_EQ(Written([&](FILE* f) { pbm_writepbmrow_packed(f, packed, 0, 0); }), "");
}

TEST_F(PbmWrite, WholeImagePlain) {
    const pbmbit r0[] = {0, 1, 0}, r1[] = {1, 1, 1};
    const pbmbit* rows[] = {r0, r1};
    EXPECT_EQ(Written([&](FILE* f) { pbm_writepbm(f, rows, 3, 2, 1); }),
              "P1\n3 2\n010\n111\n");
    EXPECT_EQ(Written([&](FILE* f) { pbm_writepbm(f, rows, 3, 2, 0); }),
              "P4\n3 2\n" + Bytes({0x40, 0xE0}));
}

TEST_F(PbmWriteDeathTest, PackedRowWriteFailureIsFatal) {
    auto r = WrittenToFullDevice([](FILE* f) {
        const unsigned char packed[] = {0xFF};
        pbm_writepbmrow_packed(f, packed, 8, 0);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "writer: I/O error writing packed row to raw PBM file.\n");
}
