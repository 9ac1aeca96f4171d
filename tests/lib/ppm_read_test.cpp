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

TEST(PpmRead, ColourImagesPlainAndRaw) {
    Image plain = ReadPpm("P3\n# c\n2 1\n255\n255 0 0  0 0 255\n");
    EXPECT_EQ(plain.format, PPM_PLAIN_CODE);
    EXPECT_EQ(plain.maxval, 255u);
    EXPECT_EQ(plain.samples, (std::vector<sampleval>{255, 0, 0, 0, 0, 255}));

    Image raw8 = ReadPpm("P6 2 1 255\n\x01\x02\x03#\r\n");
    EXPECT_EQ(raw8.format, PPM_RAW_CODE);
    EXPECT_EQ(raw8.samples, (std::vector<sampleval>{1, 2, 3, '#', '\r', '\n'}));

    Image raw16 = ReadPpm("P6\n1 2\n65535\n\x00\x01\x01\x00\xff\xff"
                          "\x12\x34\x00\x00\x80\x00"s);
    EXPECT_EQ(raw16.cols, 1);
    EXPECT_EQ(raw16.rows, 2);
    EXPECT_EQ(raw16.samples,
              (std::vector<sampleval>{1, 256, 65535, 0x1234, 0, 0x8000}));
}

TEST(PpmRead, LowerFormatsAreGreyPixels) {
    Image gray = ReadPpm("P5\n3 1\n200\n\x00\x64\xc8"s);
    EXPECT_EQ(gray.format, PGM_RAW_CODE);
    EXPECT_EQ(gray.maxval, 200u);
    EXPECT_EQ(gray.samples,
              (std::vector<sampleval>{0, 0, 0, 100, 100, 100, 200, 200, 200}));

    Image plainGray = ReadPpm("P2 2 1 9 4 9\n");
    EXPECT_EQ(plainGray.samples, (std::vector<sampleval>{4, 4, 4, 9, 9, 9}));

    Image bits = ReadPpm("P4\n3 1\n\x40");
    EXPECT_EQ(bits.format, PBM_RAW_CODE);
    EXPECT_EQ(bits.maxval, 1u);
    EXPECT_EQ(bits.samples,
              (std::vector<sampleval>{1, 1, 1, 0, 0, 0, 1, 1, 1}));
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

TEST(PpmCheck, RawSizeByMaxvalLowerFormatsHandedOn) {
    FILE* f = DataFile("abcdefghijkl");
    int result = -1;
    ppm_check(f, PM_RASTERCHECK_SIZE, PPM_RAW_CODE, 2, 2, 255, &result);
    EXPECT_EQ(result, PM_RASTER_EXACT);
    ppm_check(f, PM_RASTERCHECK_SIZE, PPM_RAW_CODE, 2, 1, 65535, &result);
    EXPECT_EQ(result, PM_RASTER_EXACT);
    ppm_check(f, PM_RASTERCHECK_SIZE, PPM_RAW_CODE, 1, 3, 255, &result);
    EXPECT_EQ(result, PM_RASTER_EXCESS);
    ppm_check(f, PM_RASTERCHECK_SIZE, PGM_RAW_CODE, 6, 2, 255, &result);
    EXPECT_EQ(result, PM_RASTER_EXACT);
    ppm_check(f, PM_RASTERCHECK_SIZE, PBM_RAW_CODE, 16, 6, 1, &result);
    EXPECT_EQ(result, PM_RASTER_EXACT);
    ppm_check(f, PM_RASTERCHECK_SIZE, PPM_PLAIN_CODE, 2, 2, 255, &result);
    EXPECT_EQ(result, PM_RASTER_UNTESTABLE);
    ppm_check(f, 1, PPM_RAW_CODE, 2, 2, 255, &result);
    EXPECT_EQ(result, PM_CHECKTYPE_INVALID);
    std::fclose(f);
}

TEST(PpmCheckDeathTest, ArgumentsAndRastersBeyond64Bits) {
    auto rows = InChild([] {
        ppm_check(stdin, 0, PPM_RAW_CODE, -1, -1, 255, nullptr);
    });
    ExpectFatal(rows, "Invalid number of rows passed to ppm_check(): -1");
    auto cols = InChild([] {
        ppm_check(stdin, 0, PPM_RAW_CODE, -3, 1, 255, nullptr);
    });
    ExpectFatal(cols, "Invalid number of columns passed to ppm_check(): -3");
    // The largest dimensions with two-byte samples exceed even 64 bits.
    auto huge = InChild([] {
        ppm_check(stdin, 0, PPM_RAW_CODE, INT32_MAX, INT32_MAX, 65535,
                  nullptr);
    }, "abc");
    ExpectFatal(huge, "File has invalid format.  The raster should contain "
                      "27670116084794523654 bytes, but\nthe file ends after "
                      "only 3 bytes.");
}

}  // namespace
