// PPM writer: headers and the maxval limit, raw pixels of one- and two-byte
// samples, plain wrapping at 6 pixels, and the write failures.
#include "write_capture.h"

using namespace tarvex_test;

static std::string Init(sampleval maxval, int forceplain, int plain = 0) {
    return Written([&](FILE* f) { ppm_writeppminit(f, 2, 1, maxval, forceplain); }, plain);
}

static std::string Row(const std::vector<rgbpixel>& row, sampleval maxval, int forceplain) {
    return Written([&](FILE* f) {
        ppm_writeppmrow(f, row.data(), static_cast<int>(row.size()), maxval, forceplain);
    });
}

TEST(PpmWrite, HeadersRowsAndImagesByteForByte) {
    using V = std::vector<rgbpixel>;
    const rgbpixel r0[] = {{255, 0, 0}, {0, 0, 255}};
    const rgbpixel* image[] = {r0};
    const struct { std::string got, want; } cases[] = {
        {Init(65535, 0), "P6\n2 1\n65535\n"},
        {Init(255, 1), "P3\n2 1\n255\n"},
        {Init(65536, 1), "P3\n2 1\n65536\n"},
        {Init(3000000000u, 0, 1), "P3\n2 1\n3000000000\n"},
        {Row({{1, 2, 3}, {255, 0, 128}}, 255, 0), "\x01\x02\x03\xFF\x00\x80"s},
        {Row({{258, 0, 65535}}, 256, 0), "\x01\x02\x00\x00\xFF\xFF"s},
        {Row({}, 255, 0), ""},
        {Row({}, 255, 1), ""},
        {Row(V(6, {1, 2, 3}), 255, 1), Wrapped(6, "1 2 3", 6, "  ")},
        {Row(V(7, {1, 2, 3}), 255, 1), Wrapped(7, "1 2 3", 6, "  ")},
        {Row(V(5000, {1, 2, 3}), 255, 1), Wrapped(5000, "1 2 3", 6, "  ")},
        {Row({{70000, 1, 4294967295u}}, 4294967295u, 0), "70000 1 4294967295\n"},
        {Written([&](FILE* f) { ppm_writeppm(f, image, 2, 1, 255, 1); }),
         "P3\n2 1\n255\n255 0 0  0 0 255\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(PpmWriteDeathTest, MaxvalAndWriteFailuresAreFatal) {
    static const rgbpixel row[] = {{1, 2, 3}};
    ExpectWriteFatal([](FILE* f) { ppm_writeppminit(f, 1, 1, 65536, 0); },
                     "prog: too-large maxval passed to ppm_writeppminit(): 65536."
                     "Maximum allowed by the PPM format is 65535.\n");
    ExpectWriteFatal([](FILE* f) { ppm_writeppmrow(f, row, 1, 255, 0); },
                     "prog: Error writing single byte sample to file\n");
    ExpectWriteFatal([](FILE* f) { ppm_writeppmrow(f, row, 1, 1023, 0); },
                     "prog: Error writing double byte sample to file\n");
}
