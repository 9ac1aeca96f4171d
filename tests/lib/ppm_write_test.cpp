// PPM writer: header variants and the maxval limit, raw pixels of one- and
// two-byte samples, plain wrapping at 6 pixels, and raw write failures.
#include <gtest/gtest.h>

#include <vector>

#include "write_capture.h"

using namespace tarvex_test;

namespace {

std::string Row(const std::vector<rgbpixel>& row, sampleval maxval,
                int forceplain) {
    return Written([&](FILE* f) {
        ppm_writeppmrow(f, row.data(), static_cast<int>(row.size()), maxval,
                        forceplain);
    });
}

// `n` pixels of "1 2 3", 6 to a line, two blanks between pixels.
std::string PlainPixels(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += i == 0 ? "1 2 3" : i % 6 == 0 ? "\n1 2 3" : "  1 2 3";
    return n > 0 ? s + "\n" : s;
}

}  // namespace

class PpmWrite : public WriterTest {};
class PpmWriteDeathTest : public WriterTest {};

TEST_F(PpmWrite, HeaderVariantByPlainAndMaxval) {
    EXPECT_EQ(Written([](FILE* f) { ppm_writeppminit(f, 2, 1, 65535, 0); }),
              "P6\n2 1\n65535\n");
    EXPECT_EQ(Written([](FILE* f) { ppm_writeppminit(f, 2, 1, 255, 1); }),
              "P3\n2 1\n255\n");
    EXPECT_EQ(Written([](FILE* f) { ppm_writeppminit(f, 2, 1, 65536, 1); }),
              "P3\n2 1\n65536\n");
    pm_plain_output = 1;
    EXPECT_EQ(Written([](FILE* f) { ppm_writeppminit(f, 2, 1, 3000000000u, 0); }),
              "P3\n2 1\n3000000000\n");
}

TEST_F(PpmWrite, RawPixelsAreRedGreenBlueOfOneOrTwoBytes) {
    EXPECT_EQ(Row({{1, 2, 3}, {255, 0, 128}}, 255, 0), Bytes({1, 2, 3, 255, 0, 128}));
    EXPECT_EQ(Row({{258, 0, 65535}}, 256, 0), Bytes({1, 2, 0, 0, 0xFF, 0xFF}));
    EXPECT_EQ(Row({}, 255, 0), "");
}

TEST_F(PpmWrite, PlainRowsHoldSixPixelsToALine) {
    EXPECT_EQ(Row({}, 255, 1), "");
    EXPECT_EQ(Row({{255, 0, 0}, {0, 0, 255}}, 255, 1), "255 0 0  0 0 255\n");
    EXPECT_EQ(Row(std::vector<rgbpixel>(6, {1, 2, 3}), 255, 1), PlainPixels(6));
    EXPECT_EQ(Row(std::vector<rgbpixel>(7, {1, 2, 3}), 255, 1), PlainPixels(7));
    EXPECT_EQ(Row(std::vector<rgbpixel>(5000, {1, 2, 3}), 255, 1), PlainPixels(5000));
    EXPECT_EQ(Row({{70000, 1, 4294967295u}}, 4294967295u, 0), "70000 1 4294967295\n");
}

TEST_F(PpmWrite, WholeImageRawAndPlain) {
    const rgbpixel r0[] = {{255, 0, 0}, {0, 0, 255}};
    const rgbpixel* rows[] = {r0};
    EXPECT_EQ(Written([&](FILE* f) { ppm_writeppm(f, rows, 2, 1, 255, 1); }),
              "P3\n2 1\n255\n255 0 0  0 0 255\n");
    EXPECT_EQ(Written([&](FILE* f) { ppm_writeppm(f, rows, 2, 1, 255, 0); }),
              "P6\n2 1\n255\n" + Bytes({255, 0, 0, 0, 0, 255}));
}

TEST_F(PpmWriteDeathTest, RawHeaderRefusesMaxvalAbove65535) {
    auto r = WrittenToFullDevice([](FILE* f) { ppm_writeppminit(f, 1, 1, 65536, 0); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "writer: too-large maxval passed to ppm_writeppminit(): "
                     "65536.Maximum allowed by the PPM format is 65535.\n");
}

TEST_F(PpmWriteDeathTest, FailedRawRowWriteIsFatal) {
    auto narrow = WrittenToFullDevice([](FILE* f) {
        const rgbpixel row[] = {{1, 2, 3}};
        ppm_writeppmrow(f, row, 1, 255, 0);
    });
    EXPECT_EQ(narrow.status, 1);
    EXPECT_EQ(narrow.err, "writer: Error writing single byte sample to file\n");
    auto wide = WrittenToFullDevice([](FILE* f) {
        const rgbpixel row[] = {{1, 2, 3}};
        ppm_writeppmrow(f, row, 1, 1023, 0);
    });
    EXPECT_EQ(wide.status, 1);
    EXPECT_EQ(wide.err, "writer: Error writing double byte sample to file\n");
}
