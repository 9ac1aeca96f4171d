// The PBM, PGM, PPM and PNM readers: every writer round-tripped through every reader of its
// format (raw, plain, maxvals 1 to 65535, odd widths), hand-written headers, packed PBM rows,
// and bad or truncated input with each reader's exact message.
#include "lib_support.h"

using namespace tarvex_test;

namespace {

using Samples = std::vector<sampleval>;

struct Image {
    int cols = 0, rows = 0, format = 0;  // format: PNM reader only
    sampleval maxval = 0;
    Samples s;  // every sample (r, g, b of a pixel) from the top
};

template <typename T>
void Take(Image& im, T** rows) {
    for (int r = 0; r < im.rows; ++r)
        for (int c = 0; c < im.cols; ++c)
            if constexpr (std::is_same_v<T, rgbpixel>)
                im.s.insert(im.s.end(), {rows[r][c].r, rows[r][c].g, rows[r][c].b});
            else
                im.s.push_back(rows[r][c]);
    pm_freearray(rows, im.rows);
}

// Reads an image with the whole-image reader of PBM (0), PGM (1), PPM (2) or PNM (3).
Image ReadImage(FILE* f, int reader) {
    Image im;
    if (reader == 0)
        Take(im, pbm_readpbm(f, &im.cols, &im.rows));
    else if (reader == 1)
        Take(im, pgm_readpgm(f, &im.cols, &im.rows, &im.maxval));
    else if (reader == 2)
        Take(im, ppm_readppm(f, &im.cols, &im.rows, &im.maxval));
    else
        Take(im, pnm_readpnm(f, &im.cols, &im.rows, &im.maxval, &im.format));
    return im;
}

template <typename T>
std::vector<const T*> Index(const std::vector<std::vector<T>>& rows) {
    std::vector<const T*> index;
    for (const auto& row : rows)
        index.push_back(row.data());
    return index;
}

using Params = std::tuple<int /*family*/, bool /*plain*/, sampleval, int /*cols*/>;
class PnmRoundTrip : public ::testing::TestWithParam<Params> {
protected:
    void SetUp() override { pm_plain_output = 0; }
};

TEST_P(PnmRoundTrip, EveryReaderOfTheFormatGetsTheImageBack) {
    auto [family, plain, maxval, cols] = GetParam();
    const int rows = 3, depth = family == P3 ? 3 : 1, format = family + !plain * 3;
    const sampleval top = family == P1 ? 1 : maxval;
    // Samples reach 0 and top and vary along rows, columns and planes; a PBM pixel is black
    // where its sample is 0. Each reader's result: PBM read as PGM at maxval 255, grey
    // promoted to r = g = b by PPM, and PNM rows carrying PBM and PGM in b.
    std::vector<std::vector<pbmbit>> bits(rows);
    std::vector<Samples> grays(rows);
    std::vector<std::vector<rgbpixel>> pixels(rows);
    Samples want[4];
    for (size_t i = 0; i < size_t(rows) * cols * depth; ++i) {
        sampleval s = i < 2 ? sampleval(i * top) : sampleval(i * 2654435761u % (top + 1ull));
        const size_t r = i / (size_t(cols) * depth);
        bits[r].push_back(s == 0);
        grays[r].push_back(s);
        if (depth == 1)
            pixels[r].push_back({0, 0, s});
        else if (i % 3 == 2)
            pixels[r].push_back({grays[r].end()[-3], grays[r].end()[-2], s});
        want[0].push_back(s == 0);
        want[1].push_back(family == P1 && s ? 255 : s);
        want[2].insert(want[2].end(), 4 - depth, s);
        want[3].insert(want[3].end(), 3 - depth, 0);
        want[3].push_back(s);
    }
    FILE* files[2] = {std::tmpfile(), std::tmpfile()};  // the family's writer, the PNM one
    for (int copy = 0; copy < 2; ++copy) {
        if (family == P1)
            pbm_writepbm(files[0], Index(bits).data(), cols, rows, plain);
        else if (family == P2)
            pgm_writepgm(files[0], Index(grays).data(), cols, rows, maxval, plain);
        else
            ppm_writeppm(files[0], Index(pixels).data(), cols, rows, maxval, plain);
        pnm_writepnm(files[1], Index(pixels).data(), cols, rows, top, format, plain);
    }
    for (int writer = 0; writer < 2; ++writer)
        for (int reader = writer ? 3 : family - P1; reader < 4; ++reader) {
            SCOPED_TRACE(::testing::Message() << "writer " << writer << " reader " << reader);
            std::rewind(files[writer]);
            for (int copy = 0; copy < 2; ++copy) {
                Image im = ReadImage(files[writer], reader);
                const sampleval m = reader == 0 ? 0 : reader == 1 && family == P1 ? 255 : top;
                EXPECT_EQ(std::tie(im.format, im.cols, im.maxval, im.s),
                          std::make_tuple(reader == 3 ? format : 0, cols, m, want[reader]));
                int eof = -1;
                pnm_nextimage(files[writer], &eof);
                EXPECT_EQ(eof, copy);
            }
        }
    std::fclose(files[0]);
    std::fclose(files[1]);
}

const auto kWidths = ::testing::Values(1, 7, 8, 9, 16, 23, 70, 71);
INSTANTIATE_TEST_SUITE_P(Bilevel, PnmRoundTrip,
                         ::testing::Combine(::testing::Values(P1), ::testing::Bool(),
                                            ::testing::Values(1u), kWidths));
INSTANTIATE_TEST_SUITE_P(GreyAndColour, PnmRoundTrip,
                         ::testing::Combine(::testing::Values(P2, P3), ::testing::Bool(),
                                            ::testing::Values(1u, 255u, 256u, 65535u),
                                            kWidths));

TEST(PnmRead, HeadersAndRastersWrittenByHand) {
    const std::tuple<int, std::string, int, int, sampleval, Samples> cases[] = {
        // reader, file, cols, rows, maxval, samples
        {0, "P1\r\n3\r\n2\r\n0#c\n10\r\n1\t1 1\r\n", 3, 2, 0, {0, 1, 0, 1, 1, 1}},
        {0, "P1\n3# width\n2\n0101\n11", 3, 2, 0, {0, 1, 0, 1, 1, 1}},
        // A raw row of 9 columns takes two bytes; the spare bits are skipped.
        {0, "P4\n9 1\n\xaa\xff", 9, 1, 0, {1, 0, 1, 0, 1, 0, 1, 0, 1}},
        {1, "P2 2 1 255 300#over maxval\n7 ", 2, 1, 255, {300, 7}},
        {1, "P2\n1 1\n0\n0\n", 1, 1, 0, {0}},
        // One blank is the only separator before a raw raster, and a
        // comment straight after the maxval's last digit ends it too.
        {1, "P5 3 1 255 \x01#\n", 3, 1, 255, {1, '#', '\n'}},
        {1, "P5\n2 1\n255# c\n\r\n", 2, 1, 255, {'\r', '\n'}},
        {1, "P5\r\n2 1\r\n255\r\n\x7f", 2, 1, 255, {'\n', 0x7f}},
        {1, "P5\n2 1\n256\n\x01\x00\xff\xfe"s, 2, 1, 256, {256, 65534}},
        {2, "P3\n# c\n1 1\n255\n7#c\n300\r8\n", 1, 1, 255, {7, 300, 8}},
    };
    for (const auto& [reader, file, cols, rows, maxval, samples] : cases) {
        FILE* f = DataFile(file);
        Image im = ReadImage(f, reader);
        EXPECT_EQ(std::tie(im.cols, im.rows, im.maxval, im.s), std::tie(cols, rows, maxval, samples))
            << ::testing::PrintToString(file);
        std::fclose(f);
    }
}

TEST(PbmReadpbmrowPacked, RawRowsAsTheyStandPlainBitsOredIn) {
    FILE* f = DataFile("\xa5\xff\x01" "1 0 0 0 0 0 0 0 0 1\n0000000000");
    unsigned char row[2] = {0, 0};
    pbm_readpbmrow_packed(f, row, 9, P4);
    EXPECT_EQ(row[0] << 8 | row[1], 0xa5ff);
    EXPECT_EQ(std::getc(f), 1);
    row[0] = row[1] = 0;
    for (int pass = 0; pass < 2; ++pass) {  // bits already set in the buffer stay black
        pbm_readpbmrow_packed(f, row, 10, P1);
        EXPECT_EQ(row[0] << 8 | row[1], 0x8040);
    }
    std::fclose(f);
}

// Out-parameters and rows for the readers of the fatal-path table.
int nCols, nRows, nFormat;
sampleval nMaxval;
pbmbit bits[16];
unsigned char packed[4];
sampleval grays[16];
rgbpixel pixels[16];

TEST(PnmReadDeathTest, BadOrTruncatedInputStopsWithTheReadersMessage) {
    const std::string one = "EOF / read error reading a one-byte sample",
                      two = "EOF /read error while reading a long sample",
                      eof = "EOF / read error reading a byte",
                      junk = "junk in file where bits should be",
                      large = "maxval is too large.  The largest we can handle is 65535.",
                      magic = "Error reading magic number from Tarvex image stream.  "
                              "Most often, this means your input file is empty.";
    const Read pbmInit = [](FILE* f) { pbm_readpbminit(f, &nCols, &nRows, &nFormat); },
               pgmInit = [](FILE* f) { pgm_readpgminit(f, &nCols, &nRows, &nMaxval, &nFormat); },
               ppmInit = [](FILE* f) { ppm_readppminit(f, &nCols, &nRows, &nMaxval, &nFormat); };
    const std::tuple<std::string, Read, std::string> cases[] = {
        {"0 1 2", [](FILE* f) { pbm_readpbmrow(f, bits, 3, P1); }, junk},
        {"0 1", [](FILE* f) { pbm_readpbmrow(f, bits, 3, P1); }, eof},
        {"\xff", [](FILE* f) { pbm_readpbmrow(f, bits, 9, P4); }, one},
        {"", [](FILE* f) { pbm_readpbmrow_packed(f, packed, 9, P4); },
         "Attempt to read a raw PBM image row, but no more rows left in file."},
        {"\xff", [](FILE* f) { pbm_readpbmrow_packed(f, packed, 9, P4); },
         "EOF in the middle of a raw PBM row."},
        // A stream open only for writing fails every read.
        {"", [](FILE*) { pbm_readpbmrow_packed(std::fopen("/dev/null", "wb"), packed, 8, P4); },
         "I/O error reading raw PBM row"},
        {"ab", [](FILE* f) { pgm_readpgmrow(f, grays, 3, 255, P5); }, one},
        {"\x01\x02\x03", [](FILE* f) { pgm_readpgmrow(f, grays, 2, 65535, P5); }, two},
        {"1 x 2", [](FILE* f) { pgm_readpgmrow(f, grays, 3, 255, P2); },
         "junk in file where an unsigned integer should be"},
        {"abcde", [](FILE* f) { ppm_readppmrow(f, pixels, 2, 255, P6); }, one},
        {"abcdefghijk", [](FILE* f) { ppm_readppmrow(f, pixels, 2, 256, P6); }, two},
        {"a", [](FILE* f) { ppm_readppmrow(f, pixels, 2, 255, P5); }, one},
        {"\x01", [](FILE* f) { ppm_readppmrow(f, pixels, 1, 300, P5); }, two},
        {"1 2 3 4 5", [](FILE* f) { ppm_readppmrow(f, pixels, 2, 255, P3); }, eof},
        {"", [](FILE* f) { pnm_readpnmrow(f, pixels, 1, 255, 0x5037); }, "can't happen"},
        {"P2\n1 1\n", pbmInit, "bad magic number - not a pbm file"},
        {"P1\n1", pbmInit, eof},
        {"P2\n1 1\n65536\n", pgmInit, large},
        {"P6\n1 1\n255\n", pgmInit, "bad magic number - not a pgm or pbm file"},
        {"P3\n1 1\n65536\n", ppmInit,
         "maxval (65536) is too large.\nThe maximum allowed by the PPM is 65535."},
        {"p6\n1 1\n1\n", ppmInit, "bad magic number - not a ppm, pgm, or pbm file"},
        // Hostile headers: signs, numbers past 31 bits, comments to the end.
        {"P3 -1 1 255\n", ppmInit, "junk in file where an unsigned integer should be"},
        {"P6 4294967296 1 255\n", ppmInit,
         "ASCII decimal integer in file is too large to be processed.  "},
        {"P5\n1 1 # to the end", pgmInit, eof}, {"P1\n1#", pbmInit, eof},
        {"", [](FILE* f) { pnm_readpnminit(f, &nCols, &nRows, &nMaxval, &nFormat); }, magic},
    };
    ExpectReadsFatal(cases);
}

}  // namespace
