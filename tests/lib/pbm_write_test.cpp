// PBM writer: headers, raw packing, plain wrapping at 70 digits, rows longer
// than one output block, the packed-row writer and its write failure.
#include "write_capture.h"

using namespace tarvex_test;

static std::string Row(const std::vector<pbmbit>& row, int forceplain) {
    return Written([&](FILE* f) {
        pbm_writepbmrow(f, row.data(), static_cast<int>(row.size()), forceplain);
    });
}

static std::string Packed(int cols, int forceplain) {
    static const unsigned char packed[] = {0xA5, 0x7F};
    return Written([&](FILE* f) { pbm_writepbmrow_packed(f, packed, cols, forceplain); });
}

TEST(PbmWrite, HeadersRowsAndImagesByteForByte) {
    using V = std::vector<pbmbit>;
    const pbmbit r0[] = {0, 1, 0}, r1[] = {1, 1, 1};
    const pbmbit* image[] = {r0, r1};
    const struct { std::string got, want; } cases[] = {
        {Written([](FILE* f) { pbm_writepbminit(f, 3, 2, 0); }), "P4\n3 2\n"},
        {Written([](FILE* f) { pbm_writepbminit(f, 0, 0, 0); }, 1), "P1\n0 0\n"},
        {Row({}, 0), ""},
        // Leftmost pixel high, any nonzero byte black, padding zero.
        {Row({0, 2, 0, 255, 0, 0, 0, 1, 128}, 0), "\x51\x80"s},
        {Row({}, 1), "\n"},
        {Row(V(70, 1), 1), Wrapped(70, "1", 70, "")},
        {Row(V(71, 5), 1), Wrapped(71, "1", 70, "")},
        {Packed(10, 0), "\xA5\x7F"s},  // the padding bits as they are
        {Packed(10, 1), "1010010101\n"},
        {Written([&](FILE* f) { pbm_writepbm(f, image, 3, 2, 1); }), "P1\n3 2\n010\n111\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(PbmWrite, RowsLongerThanOneOutputBlockComeOutWhole) {
    std::vector<pbmbit> row(400000);
    for (size_t i = 0; i < row.size(); i += 2)
        row[i] = 1;
    EXPECT_EQ(Row(row, 0), std::string(50000, '\xAA'));
    EXPECT_EQ(Row(row, 1), Wrapped(200000, "10", 35, ""));
}

TEST(PbmWriteDeathTest, PackedRowWriteFailureIsFatal) {
    static const unsigned char packed[] = {0xFF};
    ExpectWriteFatal([](FILE* f) { pbm_writepbmrow_packed(f, packed, 8, 0); },
                     "prog: I/O error writing packed row to raw PBM file.\n");
}
