// The PBM, PGM, PPM and PNM writers byte for byte, where round trips cannot
// see: headers, PBM packing, two-byte byte order, plain line wrapping, samples
// above 65535, rows longer than one output block, the PNM format code choosing
// the family while the plain choice alone picks raw or plain, and failures.
#include "lib_support.h"

using namespace tarvex_test;

namespace {

using Bits = std::vector<pbmbit>;
using Grays = std::vector<sampleval>;
using Pixels = std::vector<rgbpixel>;

std::string Pbm(const Bits& row, int forceplain) {
    return Written([&](FILE* f) { pbm_writepbmrow(f, row.data(), int(row.size()), forceplain); });
}

std::string Pgm(const Grays& row, sampleval maxval, int forceplain) {
    return Written([&](FILE* f) {
        pgm_writepgmrow(f, row.data(), int(row.size()), maxval, forceplain);
    });
}

std::string Ppm(const Pixels& row, sampleval maxval, int forceplain) {
    return Written([&](FILE* f) {
        ppm_writeppmrow(f, row.data(), int(row.size()), maxval, forceplain);
    });
}

// PNM rows at maxval 65535.
std::string Pnm(const Pixels& row, int format, int forceplain) {
    return Written([&](FILE* f) {
        pnm_writepnmrow(f, row.data(), int(row.size()), 65535, format, forceplain);
    });
}

TEST(PnmWrite, HeadersRowsAndImagesByteForByte) {
    const unsigned char packed[] = {0xA5, 0x7F};
    const pbmbit b0[] = {0, 1, 0}, b1[] = {1, 1, 1}, *bits[] = {b0, b1};
    const sampleval g0[] = {0, 128, 255}, g1[] = {10, 20, 30}, *grays[] = {g0, g1};
    const rgbpixel p0[] = {{255, 0, 0}, {0, 0, 255}}, *pixels[] = {p0};
    // PBM black exactly where blue is 0; PGM takes blue alone.
    const Pixels blues = {{9, 9, 0}, {0, 0, 1}, {0, 0, 255}, {0, 0, 0}, {7, 0, 0},
                          {0, 0, 2}, {0, 0, 0}, {0, 0, 0},   {0, 0, 0}};
    const Pixels row = {{1, 2, 3}, {200, 100, 258}};
    const rgbpixel* image[] = {&row[0], &row[1]};
    Grays ramp(30000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = sampleval(i);
    Bits stripes(400000);
    for (size_t i = 0; i < stripes.size(); i += 2)
        stripes[i] = 1;
    const struct { std::string got, want; } cases[] = {
        {Written([](FILE* f) { pbm_writepbminit(f, 3, 2, 0); }), "P4\n3 2\n"},
        // Leftmost pixel high, any nonzero byte black, padding zero.
        {Pbm({0, 2, 0, 255, 0, 0, 0, 1, 128}, 0), "\x51\x80"s},
        {Pbm({}, 1), "\n"},
        {Pbm(Bits(70, 1), 1), Wrapped(70, "1", 70, "")},
        {Pbm(Bits(71, 5), 1), Wrapped(71, "1", 70, "")},
        {Pbm(stripes, 0), std::string(50000, '\xAA')},
        {Pbm(stripes, 1), Wrapped(200000, "10", 35, "")},
        {Written([&](FILE* f) { pbm_writepbmrow_packed(f, packed, 10, 0); }), "\xA5\x7F"s},
        {Written([&](FILE* f) { pbm_writepbmrow_packed(f, packed, 10, 1); }), "1010010101\n"},
        {Written([&](FILE* f) { pbm_writepbm(f, bits, 3, 2, 1); }), "P1\n3 2\n010\n111\n"},
        {Written([](FILE* f) { pgm_writepgminit(f, 3, 2, 65535, 0); }), "P5\n3 2\n65535\n"},
        // A maxval above 65535 needs plain output; it is printed unsigned.
        {Written([](FILE* f) { pgm_writepgminit(f, 3, 2, 2147483648u, 0); }, 1),
         "P2\n3 2\n2147483648\n"},
        {Pgm({65535, 4660}, 65535, 0), "\xFF\xFF\x12\x34"s},
        {Pgm({}, 65535, 0), ""},  // empty rows come with null pointers
        {Pgm(ramp, 65535, 0).substr(59996), "\x75\x2E\x75\x2F"s},
        {Written([](FILE* f) { pgm_writerawsample(f, 258, 256); }), "\x01\x02"s},
        {Pgm(Grays(17, 7), 255, 1), Wrapped(17, "7", 17, " ")},
        {Pgm(Grays(30000, 65535), 65535, 1), Wrapped(30000, "65535", 17, " ")},
        // Above 65535 there is no raw form: rows come out plain, samples whole.
        {Pgm({70000, 65536, 4294967295u}, 4294967295u, 0), "70000 65536 4294967295\n"},
        {Written([&](FILE* f) { pgm_writepgm(f, grays, 3, 2, 255, 1); }),
         "P2\n3 2\n255\n0 128 255\n10 20 30\n"},
        {Written([](FILE* f) { ppm_writeppminit(f, 2, 1, 3000000000u, 0); }, 1),
         "P3\n2 1\n3000000000\n"},
        {Ppm({{258, 0, 65535}}, 256, 0), "\x01\x02\x00\x00\xFF\xFF"s},
        {Ppm({}, 255, 0), ""},
        {Ppm({}, 255, 1), ""},
        {Ppm(Pixels(6, {1, 2, 3}), 255, 1), Wrapped(6, "1 2 3", 6, "  ")},
        {Ppm(Pixels(7, {1, 2, 3}), 255, 1), Wrapped(7, "1 2 3", 6, "  ")},
        {Ppm(Pixels(5000, {1, 2, 3}), 255, 1), Wrapped(5000, "1 2 3", 6, "  ")},
        {Ppm({{70000, 1, 4294967295u}}, 4294967295u, 0), "70000 1 4294967295\n"},
        {Written([&](FILE* f) { ppm_writeppm(f, pixels, 2, 1, 255, 1); }),
         "P3\n2 1\n255\n255 0 0  0 0 255\n"},
        {Written([](FILE* f) { pnm_writepnminit(f, 2, 1, 255, P3, 0); }), "P6\n2 1\n255\n"},
        {Written([](FILE* f) { pnm_writepnminit(f, 2, 1, 255, P5, 0); }, 1), "P2\n2 1\n255\n"},
        {Written([](FILE* f) { pnm_writepnminit(f, 2, 1, 65535, P1, 0); }), "P4\n2 1\n"},
        {Pnm(blues, P1, 0), "\x9B\x80"s},
        {Pnm(row, P2, 0), "\x00\x03\x01\x02"s},
        {Pnm(row, P6, 1), "1 2 3  200 100 258\n"},
        {Written([&](FILE* f) { pnm_writepnm(f, image, 1, 2, 65535, P5, 1); }),
         "P2\n1 2\n65535\n3\n258\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(PnmWriteDeathTest, BadArgumentsAndWriteFailuresAreFatal) {
    static const unsigned char packed[] = {0xFF};
    static const sampleval grays[10] = {};
    static const rgbpixel pixel = {1, 2, 3};
    const std::string one = "Error writing single byte sample to file",
                      two = "Error writing double byte sample to file",
                      format = "PNM_FORMAT_TYPE(format) must be 20529, 20530, or 20531";
    const std::pair<Read, std::string> cases[] = {
        {[](FILE* f) { pbm_writepbmrow_packed(f, packed, 8, 0); },
         "I/O error writing packed row to raw PBM file."},
        {[](FILE* f) { pgm_writepgminit(f, 3, 2, 65536, 0); },
         "too-large maxval passed to pgm_writepgminit(): 65536. "
         "Maximum allowed by the PGM format is 65535."},
        {[](FILE* f) { pgm_writepgmrow(f, grays, 10, 255, 0); }, one},
        {[](FILE* f) { pgm_writepgmrow(f, grays, 10, 256, 0); }, two},
        {[](FILE* f) { pgm_writerawsample(f, 1, 255); }, one},
        {[](FILE* f) { pgm_writerawsample(f, 1, 65535); }, two},
        {[](FILE* f) { ppm_writeppminit(f, 1, 1, 65536, 0); },
         "too-large maxval passed to ppm_writeppminit(): 65536."
         "Maximum allowed by the PPM format is 65535."},
        {[](FILE* f) { ppm_writeppmrow(f, &pixel, 1, 255, 0); }, one},
        {[](FILE* f) { ppm_writeppmrow(f, &pixel, 1, 1023, 0); }, two},
        {[](FILE* f) { pnm_writepnminit(f, 1, 1, 255, 0x5037, 0); },
         "invalid format argument received by pnm_writepnminit(): 20535" + format},
        {[](FILE* f) { pnm_writepnmrow(f, &pixel, 1, 255, 0, 0); },
         "invalid format argument received by pnm_writepnmrow(): 0" + format},
    };
    for (const auto& [write, message] : cases)
        ExpectWriteFatal(write, message);
}

}  // namespace
