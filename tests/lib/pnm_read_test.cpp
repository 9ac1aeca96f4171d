// The PNM readers, and round trips: every writer against every reader that
// takes its format, raw and plain, at maxvals 1, 255, 256 and 65535 and
// widths on and off a byte boundary, two images to a stream.
#include <tuple>

#include "read_support.h"

using namespace tarvex_test;

namespace {

TEST(PnmReadDeathTest, BadFormatCodes) {
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
using Samples = std::vector<sampleval>;

// Samples that reach 0 and maxval and vary along rows, columns and planes.
sampleval Sample(size_t i, sampleval maxval) {
    if (i < 2)
        return i == 0 ? 0 : maxval;
    return static_cast<sampleval>(i * 2654435761u % (uint64_t(maxval) + 1));
}

// The format code at the stream's position, which the whole-image readers
// of PBM, PGM and PPM do not report.
int PeekFormat(FILE* f) {
    long pos = std::ftell(f);
    int format = pm_readmagicnumber(f);
    std::fseek(f, pos, SEEK_SET);
    return format;
}

Samples Flatten(pbmbit** rows, int cols, int nrows) {
    Samples out;
    for (int r = 0; r < nrows; ++r)
        out.insert(out.end(), rows[r], rows[r] + cols);
    return out;
}
Samples Flatten(sampleval** rows, int cols, int nrows) {
    Samples out;
    for (int r = 0; r < nrows; ++r)
        out.insert(out.end(), rows[r], rows[r] + cols);
    return out;
}
Samples Flatten(rgbpixel** rows, int cols, int nrows) {
    Samples out;
    for (int r = 0; r < nrows; ++r)
        for (int c = 0; c < cols; ++c)
            out.insert(out.end(), {rows[r][c].r, rows[r][c].g, rows[r][c].b});
    return out;
}

// Reads the stream's two images with `read` (cols, rows, maxval, format out)
// and expects each to be `want`, then the end of the stream.
template <typename Read>
void ExpectTwoImages(FILE* f, Read read, int format, sampleval maxval,
                     const Samples& want, const char* reader) {
    SCOPED_TRACE(reader);
    std::rewind(f);
    for (int copy = 0; copy < 2; ++copy) {
        int cols = 0, rows = 0, gotFormat = PeekFormat(f);
        sampleval gotMaxval = 0;
        auto image = read(f, &cols, &rows, &gotMaxval, &gotFormat);
        EXPECT_EQ(gotFormat, format);
        EXPECT_EQ(gotMaxval, maxval);
        EXPECT_EQ(Flatten(image, cols, rows), want);
        pm_freearray(image, rows);
        int eof = -1;
        pnm_nextimage(f, &eof);
        EXPECT_EQ(eof, copy);
    }
}

auto pbmRead = [](FILE* f, int* c, int* r, sampleval*, int*) {
    return pbm_readpbm(f, c, r);
};
auto pgmRead = [](FILE* f, int* c, int* r, sampleval* maxval, int*) {
    return pgm_readpgm(f, c, r, maxval);
};
auto ppmRead = [](FILE* f, int* c, int* r, sampleval* maxval, int*) {
    return ppm_readppm(f, c, r, maxval);
};

using Params = std::tuple<int /*family*/, bool /*plain*/, sampleval, int>;

class PnmRoundTrip : public ::testing::TestWithParam<Params> {
protected:
    void SetUp() override { pm_plain_output = 0; }
};

TEST_P(PnmRoundTrip, EveryReaderOfTheFormatGetsTheImageBack) {
    auto [family, plain, maxval, cols] = GetParam();
    const bool colour = family == PPM_PLAIN_CODE;
    const sampleval top = family == PBM_PLAIN_CODE ? 1 : maxval;
    const int format = family + (plain ? 0 : 3);
    const size_t perRow = size_t(cols) * (colour ? 3 : 1);

    // The image in every row type: PNM rows carry PBM and PGM in b, and a
    // PBM pixel is black where the sample is 0.
    Samples flat, gray3, asBlue, bitsAsGray, bits;
    std::vector<Samples> grayRows(kRows);
    std::vector<std::vector<pbmbit>> bitRows(kRows);
    std::vector<std::vector<rgbpixel>> pnmRows(kRows);
    for (int r = 0; r < kRows; ++r)
        for (size_t i = 0; i < perRow; ++i) {
            sampleval s = Sample(r * perRow + i, top);
            flat.push_back(s);
            gray3.insert(gray3.end(), {s, s, s});
            asBlue.insert(asBlue.end(), {0, 0, s});
            bitsAsGray.push_back(s ? 255 : 0);
            bits.push_back(s == 0);
            grayRows[r].push_back(s);
            bitRows[r].push_back(s == 0);
            if (!colour)
                pnmRows[r].push_back({0, 0, s});
            else if (i % 3 == 2)
                pnmRows[r].push_back({flat.end()[-3], flat.end()[-2], s});
        }
    std::vector<const sampleval*> grayIndex;
    std::vector<const pbmbit*> bitIndex;
    std::vector<const rgbpixel*> pnmIndex;
    for (int r = 0; r < kRows; ++r) {
        grayIndex.push_back(grayRows[r].data());
        bitIndex.push_back(bitRows[r].data());
        pnmIndex.push_back(pnmRows[r].data());
    }

    FILE* f = std::tmpfile();
    for (int copy = 0; copy < 2; ++copy) {
        if (family == PBM_PLAIN_CODE)
            pbm_writepbm(f, bitIndex.data(), cols, kRows, plain);
        else if (family == PGM_PLAIN_CODE)
            pgm_writepgm(f, grayIndex.data(), cols, kRows, maxval, plain);
        else
            ppm_writeppm(f, pnmIndex.data(), cols, kRows, maxval, plain);
    }
    if (family == PBM_PLAIN_CODE) {
        ExpectTwoImages(f, pbmRead, format, 0, bits, "pbm");
        ExpectTwoImages(f, pgmRead, format, 255, bitsAsGray, "pgm");
    } else if (family == PGM_PLAIN_CODE) {
        ExpectTwoImages(f, pgmRead, format, maxval, flat, "pgm");
    }
    ExpectTwoImages(f, ppmRead, format, top, colour ? flat : gray3, "ppm");
    ExpectTwoImages(f, pnm_readpnm, format, top, colour ? flat : asBlue, "pnm");
    std::fclose(f);

    f = std::tmpfile();
    for (int copy = 0; copy < 2; ++copy)
        pnm_writepnm(f, pnmIndex.data(), cols, kRows, top, format, plain);
    ExpectTwoImages(f, pnm_readpnm, format, top, colour ? flat : asBlue,
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
