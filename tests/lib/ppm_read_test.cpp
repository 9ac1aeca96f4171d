// PPM headers and rows, PGM and PBM images read as PPM, truncated rasters
// with each reader's message, and the PPM raster check.
#include "read_support.h"

using namespace tarvex_test;
using namespace std::string_literals;

namespace {

struct Image {
    int cols = -1, rows = -1, format = 0;
    sampleval maxval = 12345;
    std::vector<sampleval> samples;  // r, g, b of every pixel from the top
};

Image ReadPpm(const std::string& data) {
    FILE* f = DataFile(data);
    Image im;
    rgbpixel** pixels = ppm_readppm(f, &im.cols, &im.rows, &im.maxval);
    for (int r = 0; r < im.rows; ++r)
        for (int c = 0; c < im.cols; ++c)
            im.samples.insert(im.samples.end(),
                              {pixels[r][c].r, pixels[r][c].g, pixels[r][c].b});
    pm_freearray(pixels, im.rows);
    std::rewind(f);
    ppm_readppminit(f, &im.cols, &im.rows, &im.maxval, &im.format);
    std::fclose(f);
    return im;
}

TEST(PpmRead, RawRasterStartsAfterOneSeparatorAndHoldsAnyByte) {
    Image raw = ReadPpm("P6 2 1 255\n\x01\x02\x03#\r\n");
    EXPECT_EQ(raw.format, PPM_RAW_CODE);
    EXPECT_EQ(raw.samples, (std::vector<sampleval>{1, 2, 3, '#', '\r', '\n'}));
    Image plain = ReadPpm("P3\n# c\n1 1\n255\n7#c\n300\r8\n");
    EXPECT_EQ(plain.samples, (std::vector<sampleval>{7, 300, 8}));
}

TEST(PpmReadDeathTest, BadInputStopsWithTheReadersMessage) {
    auto init = [](FILE* f) {
        int cols, rows, format;
        sampleval maxval;
        ppm_readppminit(f, &cols, &rows, &maxval, &format);
    };
    auto row = [](int cols, sampleval maxval, int format) {
        return [=](FILE* f) {
            rgbpixel pixels[4];
            ppm_readppmrow(f, pixels, cols, maxval, format);
        };
    };
    const std::string oneByte = "EOF / read error reading a one-byte sample";
    const std::string twoBytes = "EOF /read error while reading a long sample";
    ExpectReadFatal("P3\n1 1\n65536\n", init,
                    "maxval (65536) is too large.\n"
                    "The maximum allowed by the PPM is 65535.");
    ExpectReadFatal("P5\n1 1\n70000\n", init,
                    "maxval is too large.  The largest we can handle is 65535.");
    for (const char* header : {"P7\n1 1\n1\n", "p6\n1 1\n1\n", "\nP6 1 1 1 "})
        ExpectReadFatal(header, init,
                        "bad magic number - not a ppm, pgm, or pbm file");
    ExpectReadFatal("", row(2, 255, PPM_RAW_CODE), oneByte);
    ExpectReadFatal("abcde", row(2, 255, PPM_RAW_CODE), oneByte);
    ExpectReadFatal("abcdefghijk", row(2, 256, PPM_RAW_CODE), twoBytes);
    ExpectReadFatal("a", row(2, 255, PGM_RAW_CODE), oneByte);
    ExpectReadFatal("\x01", row(1, 300, PGM_RAW_CODE), twoBytes);
    ExpectReadFatal("", row(9, 1, PBM_RAW_CODE), oneByte);
    ExpectReadFatal("1 2 3 4 5", row(2, 255, PPM_PLAIN_CODE),
                    "EOF / read error reading a byte");
    ExpectReadFatal("", row(2, 255, 0), "can't happen");
}

}  // namespace
