// The PNM readers, and round trips: every writer against every reader that
// takes its format, raw and plain, at maxvals 1, 255, 256 and 65535 and
// widths on and off a byte boundary, two images to a stream.
#include <tuple>

#include "read_support.h"

using namespace tarvex_test;

namespace {

TEST(PnmRead, LowerFormatsGoIntoBlue) {
    FILE* f = DataFile("P2 2 1 300 7 300\nP1 2 1 01");
    int cols, rows, format;
    sampleval maxval;
    rgbpixel** gray = pnm_readpnm(f, &cols, &rows, &maxval, &format);
    EXPECT_EQ(format, PGM_PLAIN_CODE);
    EXPECT_EQ(maxval, 300u);
    EXPECT_EQ(std::tie(gray[0][0].r, gray[0][0].g, gray[0][0].b),
              std::make_tuple(0u, 0u, 7u));
    EXPECT_EQ(std::tie(gray[0][1].r, gray[0][1].g, gray[0][1].b),
              std::make_tuple(0u, 0u, 300u));
    pm_freearray(gray, rows);
    int eof = -1;
    pnm_nextimage(f, &eof);
    ASSERT_EQ(eof, 0);
    rgbpixel** bits = pnm_readpnm(f, &cols, &rows, &maxval, &format);
    EXPECT_EQ(format, PBM_PLAIN_CODE);
    EXPECT_EQ(maxval, 1u);
    EXPECT_EQ(std::tie(bits[0][0].r, bits[0][0].g, bits[0][0].b),
              std::make_tuple(0u, 0u, 1u));
    EXPECT_EQ(std::tie(bits[0][1].r, bits[0][1].g, bits[0][1].b),
              std::make_tuple(0u, 0u, 0u));
    pm_freearray(bits, rows);
    std::fclose(f);
}

TEST(PnmCheck, DispatchesByFamily) {
    FILE* f = DataFile("abcdef");
    int result = -1;
    pnm_check(f, 0, PPM_RAW_CODE, 2, 1, 255, &result);
    EXPECT_EQ(result, PM_RASTER_EXACT);
    pnm_check(f, 0, PGM_RAW_CODE, 3, 1, 256, &result);
    EXPECT_EQ(result, PM_RASTER_EXACT);
    pnm_check(f, 0, PBM_RAW_CODE, 8, 5, 0, &result);
    EXPECT_EQ(result, PM_RASTER_EXCESS);
    pnm_check(f, 0, PGM_PLAIN_CODE, 3, 1, 255, &result);
    EXPECT_EQ(result, PM_RASTER_UNTESTABLE);
    std::fclose(f);
}

TEST(PnmReadDeathTest, BadFormatCodes) {
    ExpectFatal(InChild([] {
                    pnm_check(stdin, 0, 0x5037, 1, 1, 255, nullptr);
                }),
                "pnm_check() called with invalid format parameter");
    ExpectReadFatal("", [](FILE* f) {
        rgbpixel row[1];
        pnm_readpnmrow(f, row, 1, 255, 0x5037);
    }, "can't happen");
    ExpectReadFatal("", [](FILE* f) {
        int cols, rows, format;
        sampleval maxval;
        pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    }, "Error reading magic number from Tarvex image stream.  Most often, "
       "this means your input file is empty.");
}

// ---- Round trips ------------------------------------------------------------

constexpr int kRows = 3;

// Samples that reach 0 and maxval and vary along rows, columns and planes.
sampleval Sample(int row, int col, int plane, sampleval maxval) {
    if (col == 0)
        return plane == 1 ? maxval : 0;
    uint64_t v = uint64_t(row) * 40503u + uint64_t(col) * 2654435761u +
                 uint64_t(plane) * 977u;
    return static_cast<sampleval>(v % (uint64_t(maxval) + 1));
}

// What a reader of each family delivers for one pixel of the written image,
// as r, g, b (PBM and PGM use b only).
using Pixels = std::vector<sampleval>;

template <typename T, typename Read>
Pixels ReadAll(FILE* f, Read read, int* formatP, sampleval* maxvalP) {
    int cols = 0, rows = 0;
    T** image = read(f, &cols, &rows, maxvalP, formatP);
    Pixels out;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            if constexpr (std::is_same_v<T, rgbpixel>)
                out.insert(out.end(), {image[r][c].r, image[r][c].g,
                                       image[r][c].b});
            else
                out.push_back(image[r][c]);
        }
    pm_freearray(image, rows);
    return out;
}

struct Expected {
    int format;
    sampleval maxval;
    Pixels pixels;
};

// Reads the stream twice over (it holds two copies of the image).
template <typename T, typename Read>
void ExpectTwoImages(FILE* f, Read read, const Expected& want,
                     const char* reader) {
    SCOPED_TRACE(reader);
    std::rewind(f);
    for (int copy = 0; copy < 2; ++copy) {
        int format = 0;
        sampleval maxval = 0;
        Pixels got = ReadAll<T>(f, read, &format, &maxval);
        EXPECT_EQ(format, want.format);
        EXPECT_EQ(maxval, want.maxval);
        EXPECT_EQ(got, want.pixels);
        int eof = -1;
        pnm_nextimage(f, &eof);
        EXPECT_EQ(eof, copy);
    }
}

// The format code at the stream's position, which the whole-image readers
// of PBM, PGM and PPM do not report.
int PeekFormat(FILE* f) {
    long pos = std::ftell(f);
    int format = pm_readmagicnumber(f);
    std::fseek(f, pos, SEEK_SET);
    return format;
}

auto pbmRead = [](FILE* f, int* c, int* r, sampleval*, int* format) {
    *format = PeekFormat(f);
    return pbm_readpbm(f, c, r);
};
auto pgmRead = [](FILE* f, int* c, int* r, sampleval* maxval, int* format) {
    *format = PeekFormat(f);
    return pgm_readpgm(f, c, r, maxval);
};
auto ppmRead = [](FILE* f, int* c, int* r, sampleval* maxval, int* format) {
    *format = PeekFormat(f);
    return ppm_readppm(f, c, r, maxval);
};

using Params = std::tuple<int /*family*/, bool /*plain*/, sampleval, int>;

class PnmRoundTrip : public ::testing::TestWithParam<Params> {
protected:
    void SetUp() override { pm_plain_output = 0; }
};

TEST_P(PnmRoundTrip, EveryReaderOfTheFormatGetsTheImageBack) {
    auto [family, plain, maxval, cols] = GetParam();
    const int planes = family == PPM_PLAIN_CODE ? 3 : 1;
    const sampleval top = family == PBM_PLAIN_CODE ? 1 : maxval;
    auto samples = std::vector<std::vector<sampleval>>(kRows);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < cols; ++c)
            for (int p = 0; p < planes; ++p)
                samples[r].push_back(Sample(r, c, p, top));

    FILE* f = std::tmpfile();
    // The image as PNM rows: PBM and PGM in b, a PBM pixel white when b != 0.
    std::vector<std::vector<rgbpixel>> pnmRows(kRows);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < cols; ++c)
            pnmRows[r].push_back(planes == 3
                ? rgbpixel{samples[r][3 * c], samples[r][3 * c + 1],
                           samples[r][3 * c + 2]}
                : rgbpixel{0, 0, samples[r][c]});
    std::vector<const rgbpixel*> pnmIndex;
    for (auto& row : pnmRows)
        pnmIndex.push_back(row.data());
    for (int copy = 0; copy < 2; ++copy) {
        if (family == PBM_PLAIN_CODE) {
            std::vector<std::vector<pbmbit>> bits(kRows);
            std::vector<const pbmbit*> index;
            for (int r = 0; r < kRows; ++r) {
                for (sampleval s : samples[r])
                    bits[r].push_back(s == 0 ? PBM_BLACK : PBM_WHITE);
                index.push_back(bits[r].data());
            }
            pbm_writepbm(f, index.data(), cols, kRows, plain);
        } else if (family == PGM_PLAIN_CODE) {
            std::vector<const sampleval*> index;
            for (auto& row : samples)
                index.push_back(row.data());
            pgm_writepgm(f, index.data(), cols, kRows, maxval, plain);
        } else {
            ppm_writeppm(f, pnmIndex.data(), cols, kRows, maxval, plain);
        }
    }

    const int format = family + (plain ? 0 : 3);
    Pixels flat, gray3, asBlue, bitsAsGray;
    for (auto& row : samples)
        for (sampleval s : row) {
            flat.push_back(s);
            gray3.insert(gray3.end(), {s, s, s});
            asBlue.insert(asBlue.end(), {0, 0, s});
            bitsAsGray.push_back(s ? 255 : 0);
        }
    if (family == PBM_PLAIN_CODE) {
        Pixels bits;
        for (sampleval s : flat)
            bits.push_back(s == 0);
        ExpectTwoImages<pbmbit>(f, pbmRead, {format, 0, bits}, "pbm");
        ExpectTwoImages<sampleval>(f, pgmRead, {format, 255, bitsAsGray},
                                   "pgm");
    }
    if (family == PGM_PLAIN_CODE)
        ExpectTwoImages<sampleval>(f, pgmRead, {format, maxval, flat},
                                   "pgm");
    if (family == PPM_PLAIN_CODE) {
        ExpectTwoImages<rgbpixel>(f, ppmRead, {format, maxval, flat},
                                  "ppm");
        ExpectTwoImages<rgbpixel>(f, pnm_readpnm, {format, maxval, flat},
                                  "pnm");
    } else {
        ExpectTwoImages<rgbpixel>(f, ppmRead, {format, top, gray3}, "ppm");
        ExpectTwoImages<rgbpixel>(f, pnm_readpnm, {format, top, asBlue},
                                  "pnm");
    }

    // The PNM writer's rows come back from the PNM reader unchanged.
    std::fclose(f);
    f = std::tmpfile();
    for (int copy = 0; copy < 2; ++copy)
        pnm_writepnm(f, pnmIndex.data(), cols, kRows, top, format, plain);
    ExpectTwoImages<rgbpixel>(f, pnm_readpnm,
                              {format, top, planes == 3 ? flat : asBlue},
                              "pnm writer");
    std::fclose(f);
}

std::string Name(const ::testing::TestParamInfo<Params>& info) {
    auto [family, plain, maxval, cols] = info.param;
    const char* names[] = {"pbm", "pgm", "ppm"};
    return std::string(names[family - PBM_PLAIN_CODE]) +
           (plain ? "_plain_" : "_raw_") + std::to_string(maxval) + "_" +
           std::to_string(cols);
}

const auto kWidths = ::testing::Values(1, 7, 8, 9, 16, 23, 70, 71);

INSTANTIATE_TEST_SUITE_P(Bilevel, PnmRoundTrip,
                         ::testing::Combine(::testing::Values(PBM_PLAIN_CODE),
                                            ::testing::Bool(),
                                            ::testing::Values(1u), kWidths),
                         Name);
INSTANTIATE_TEST_SUITE_P(
    GreyAndColour, PnmRoundTrip,
    ::testing::Combine(::testing::Values(PGM_PLAIN_CODE, PPM_PLAIN_CODE),
                       ::testing::Bool(),
                       ::testing::Values(1u, 255u, 256u, 65535u), kWidths),
    Name);

}  // namespace
