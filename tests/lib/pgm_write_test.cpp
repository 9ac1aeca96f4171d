// PGM writer: header variants and the maxval limit, one- and two-byte raw
// samples, plain wrapping at 17 samples, full-size plain samples, and the
// write failures of raw samples.
#include <gtest/gtest.h>

#include <vector>

#include "write_capture.h"

using namespace tarvex_test;

namespace {

std::string Row(const std::vector<sampleval>& row, sampleval maxval,
                int forceplain) {
    return Written([&](FILE* f) {
        pgm_writepgmrow(f, row.data(), static_cast<int>(row.size()), maxval,
                        forceplain);
    });
}

// `n` samples of "7", 17 to a line.
std::string PlainSevens(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += i == 0 ? "7" : i % 17 == 0 ? "\n7" : " 7";
    return n > 0 ? s + "\n" : s;
}

}  // namespace

class PgmWrite : public WriterTest {};
class PgmWriteDeathTest : public WriterTest {};

TEST_F(PgmWrite, HeaderVariantByPlainAndMaxval) {
    struct Case { sampleval maxval; int forceplain; int plainFlag; const char* want; };
    const Case cases[] = {
        {255, 0, 0, "P5\n3 2\n255\n"},
        {65535, 0, 0, "P5\n3 2\n65535\n"},
        {255, 1, 0, "P2\n3 2\n255\n"},
        {255, 0, 1, "P2\n3 2\n255\n"},
        {65536, 1, 0, "P2\n3 2\n65536\n"},
        // Maxvals of 2^31 and more are printed unsigned.
        {2147483648u, 1, 0, "P2\n3 2\n2147483648\n"},
        {4294967295u, 1, 0, "P2\n3 2\n4294967295\n"},
    };
    for (const Case& c : cases) {
        pm_plain_output = c.plainFlag;
        EXPECT_EQ(Written([&](FILE* f) { pgm_writepgminit(f, 3, 2, c.maxval, c.forceplain); }),
                  c.want) << c.maxval;
    }
}

TEST_F(PgmWrite, RawSamplesOneByteTo255TwoBytesHighFirstFrom256) {
    EXPECT_EQ(Row({0, 128, 255}, 255, 0), Bytes({0, 128, 255}));
    EXPECT_EQ(Row({258, 0, 256}, 256, 0), Bytes({1, 2, 0, 0, 1, 0}));
    EXPECT_EQ(Row({65535, 4660}, 65535, 0), Bytes({0xFF, 0xFF, 0x12, 0x34}));
    EXPECT_EQ(Row({}, 65535, 0), "");
    EXPECT_EQ(Written([](FILE* f) { pgm_writerawsample(f, 0x1FF, 255); }), Bytes({0xFF}));
    EXPECT_EQ(Written([](FILE* f) { pgm_writerawsample(f, 258, 256); }), Bytes({1, 2}));
}

TEST_F(PgmWrite, PlainRowsHoldSeventeenSamplesToALine) {
    EXPECT_EQ(Row({}, 255, 1), "");
    EXPECT_EQ(Row({0, 128, 255}, 255, 1), "0 128 255\n");
    EXPECT_EQ(Row(std::vector<sampleval>(17, 7), 255, 1), PlainSevens(17));
    EXPECT_EQ(Row(std::vector<sampleval>(18, 7), 255, 1), PlainSevens(18));
    EXPECT_EQ(Row(std::vector<sampleval>(35, 7), 255, 1), PlainSevens(35));
    // Wrapping counts samples, not the digits they take.
    std::string wide = Row(std::vector<sampleval>(18, 65535), 65535, 1);
    EXPECT_EQ(wide.find('\n'), 17 * 6 - 1);
}

TEST_F(PgmWrite, MaxvalAbove65535WritesPlainRowsWithFullSamples) {
    EXPECT_EQ(Row({70000, 65536, 4294967295u}, 4294967295u, 0),
              "70000 65536 4294967295\n");
}

TEST_F(PgmWrite, RowsLongerThanOneOutputBlockComeOutWhole) {
    std::vector<sampleval> row(30000, 7);
    EXPECT_EQ(Row(row, 255, 1), PlainSevens(30000));
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<sampleval>(i);
    const std::string raw = Row(row, 65535, 0);
    ASSERT_EQ(raw.size(), 60000u);
    EXPECT_EQ(raw.substr(2 * 29999), Bytes({0x75, 0x2F}));
}

TEST_F(PgmWrite, WholeImagePlain) {
    const sampleval r0[] = {0, 128, 255}, r1[] = {10, 20, 30};
    const sampleval* rows[] = {r0, r1};
    EXPECT_EQ(Written([&](FILE* f) { pgm_writepgm(f, rows, 3, 2, 255, 1); }),
              "P2\n3 2\n255\n0 128 255\n10 20 30\n");
}

TEST_F(PgmWriteDeathTest, RawHeaderRefusesMaxvalAbove65535) {
    auto r = RunChild([] {
        char a0[] = "writer";
        char* argv[] = {a0, nullptr};
        int argc = 1;
        pnm_init(&argc, argv);
        pgm_writepgminit(stdout, 3, 2, 65536, 0);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "writer: too-large maxval passed to pgm_writepgminit(): "
                     "65536. Maximum allowed by the PGM format is 65535.\n");
}

TEST_F(PgmWriteDeathTest, FailedSampleWritesAreFatal) {
    const std::vector<sampleval> row(10, 1);
    struct Case { std::function<void(FILE*)> write; const char* want; };
    const Case cases[] = {
        {[&](FILE* f) { pgm_writepgmrow(f, row.data(), 10, 255, 0); },
         "writer: Error writing single byte sample to file\n"},
        {[&](FILE* f) { pgm_writepgmrow(f, row.data(), 10, 256, 0); },
         "writer: Error writing double byte sample to file\n"},
        {[](FILE* f) { pgm_writerawsample(f, 1, 255); },
         "writer: Error writing single byte sample to file\n"},
        {[](FILE* f) { pgm_writerawsample(f, 1, 65535); },
         "writer: Error writing double byte sample to file\n"},
    };
    for (const Case& c : cases) {
        auto r = WrittenToFullDevice(c.write);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.want);
    }
}
