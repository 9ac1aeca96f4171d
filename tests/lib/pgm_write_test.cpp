// PGM writer: headers and the maxval limit, one- and two-byte raw samples,
// plain wrapping at 17 samples, full-size plain samples above 65535, rows
// longer than one output block, and the write failures.
#include "write_capture.h"

using namespace tarvex_test;

static std::string Row(const std::vector<sampleval>& row, sampleval maxval, int forceplain) {
    return Written([&](FILE* f) {
        pgm_writepgmrow(f, row.data(), static_cast<int>(row.size()), maxval, forceplain);
    });
}

TEST(PgmWrite, HeadersRowsAndImagesByteForByte) {
    using V = std::vector<sampleval>;
    const sampleval r0[] = {0, 128, 255}, r1[] = {10, 20, 30};
    const sampleval* image[] = {r0, r1};
    const struct { std::string got, want; } cases[] = {
        {Written([](FILE* f) { pgm_writepgminit(f, 3, 2, 65535, 0); }), "P5\n3 2\n65535\n"},
        {Written([](FILE* f) { pgm_writepgminit(f, 3, 2, 65536, 0); }, 1), "P2\n3 2\n65536\n"},
        {Written([](FILE* f) { pgm_writepgminit(f, 3, 2, 2147483648u, 1); }),
         "P2\n3 2\n2147483648\n"},  // printed unsigned
        {Row({0, 128, 255}, 255, 0), "\x00\x80\xFF"s},
        {Row({258, 0, 256}, 256, 0), "\x01\x02\x00\x00\x01\x00"s},
        {Row({65535, 4660}, 65535, 0), "\xFF\xFF\x12\x34"s},
        {Row({}, 65535, 0), ""},
        {Written([](FILE* f) { pgm_writerawsample(f, 258, 256); }), "\x01\x02"s},
        {Row({}, 255, 1), ""},
        {Row(V(17, 7), 255, 1), Wrapped(17, "7", 17, " ")},
        {Row(V(18, 65535), 65535, 1), Wrapped(18, "65535", 17, " ")},  // samples, not digits
        // Above 65535 there is no raw form: rows come out plain, samples whole.
        {Row({70000, 65536, 4294967295u}, 4294967295u, 0), "70000 65536 4294967295\n"},
        {Written([&](FILE* f) { pgm_writepgm(f, image, 3, 2, 255, 1); }),
         "P2\n3 2\n255\n0 128 255\n10 20 30\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(PgmWrite, RowsLongerThanOneOutputBlockComeOutWhole) {
    std::vector<sampleval> row(30000, 7);
    EXPECT_EQ(Row(row, 255, 1), Wrapped(30000, "7", 17, " "));
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<sampleval>(i);
    const std::string raw = Row(row, 65535, 0);
    ASSERT_EQ(raw.size(), 60000u);
    EXPECT_EQ(raw.substr(2 * 29999), "\x75\x2F");
}

TEST(PgmWriteDeathTest, MaxvalAndWriteFailuresAreFatal) {
    static const sampleval row[10] = {};
    const std::string one = "prog: Error writing single byte sample to file\n",
                      two = "prog: Error writing double byte sample to file\n";
    ExpectWriteFatal([](FILE* f) { pgm_writepgminit(f, 3, 2, 65536, 0); },
                     "prog: too-large maxval passed to pgm_writepgminit(): 65536. "
                     "Maximum allowed by the PGM format is 65535.\n");
    ExpectWriteFatal([](FILE* f) { pgm_writepgmrow(f, row, 10, 255, 0); }, one);
    ExpectWriteFatal([](FILE* f) { pgm_writepgmrow(f, row, 10, 256, 0); }, two);
    ExpectWriteFatal([](FILE* f) { pgm_writerawsample(f, 1, 255); }, one);
    ExpectWriteFatal([](FILE* f) { pgm_writerawsample(f, 1, 65535); }, two);
}
