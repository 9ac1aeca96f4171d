// PNM writer: the family chosen by the format code, raw or plain by the
// plain choice rather than the code's variant, PGM and PBM rows taken from
// the `b` field alone, and bad format codes.
#include "write_capture.h"

using namespace tarvex_test;

static std::string Init(int format, sampleval maxval, int forceplain, int plain = 0) {
    return Written([&](FILE* f) { pnm_writepnminit(f, 2, 1, maxval, format, forceplain); },
                   plain);
}

static std::string Row(const std::vector<rgbpixel>& row, int format, int forceplain,
                       int plain = 0) {
    return Written([&](FILE* f) {
        pnm_writepnmrow(f, row.data(), static_cast<int>(row.size()), 65535, format, forceplain);
    }, plain);
}

TEST(PnmWrite, HeadersAndRowsByFormatCodeByteForByte) {
    // PBM black exactly where blue is 0; PGM takes blue alone.
    const std::vector<rgbpixel> bits = {{9, 9, 0}, {0, 0, 1}, {0, 0, 255}, {0, 0, 0}, {7, 0, 0},
                                        {0, 0, 2}, {0, 0, 0}, {0, 0, 0},   {0, 0, 0}};
    const std::vector<rgbpixel> row = {{1, 2, 3}, {200, 100, 258}};
    const rgbpixel* image[] = {&row[0], &row[1]};
    const struct { std::string got, want; } cases[] = {
        {Init(PPM_PLAIN_CODE, 255, 0), "P6\n2 1\n255\n"},
        {Init(PGM_RAW_CODE, 255, 0, 1), "P2\n2 1\n255\n"},
        {Init(PBM_PLAIN_CODE, 65535, 0), "P4\n2 1\n"},
        {Row(bits, PBM_RAW_CODE, 0), "\x9B\x80"s},
        {Row(bits, PBM_PLAIN_CODE, 1), "100110111\n"},
        {Row(row, PGM_RAW_CODE, 0), "\x00\x03\x01\x02"s},
        {Row(row, PGM_PLAIN_CODE, 0, 1), "3 258\n"},
        {Row(row, PPM_PLAIN_CODE, 0), "\x00\x01\x00\x02\x00\x03\x00\xC8\x00\x64\x01\x02"s},
        {Row(row, PPM_RAW_CODE, 1), "1 2 3  200 100 258\n"},
        {Written([&](FILE* f) { pnm_writepnm(f, image, 1, 2, 65535, PGM_RAW_CODE, 1); }),
         "P2\n1 2\n65535\n3\n258\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(PnmWriteDeathTest, UnknownFormatCodeIsFatal) {
    static const rgbpixel px = {0, 0, 0};
    const std::string must = "PNM_FORMAT_TYPE(format) must be 20529, 20530, or 20531\n";
    ExpectWriteFatal([](FILE* f) { pnm_writepnminit(f, 1, 1, 255, 0x5037, 0); },
                     "prog: invalid format argument received by pnm_writepnminit(): 20535" + must);
    ExpectWriteFatal([](FILE* f) { pnm_writepnmrow(f, &px, 1, 255, 0, 0); },
                     "prog: invalid format argument received by pnm_writepnmrow(): 0" + must);
}
