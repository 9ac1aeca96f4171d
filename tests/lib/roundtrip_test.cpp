// SPDX-License-Identifier: MIT
// Every writer against every reader of its format: PBM, PGM and PPM images,
// raw and plain, maxvals 1 to 65535, widths on and off byte and line
// boundaries, written twice to one stream by the family's writer and by the
// PNM writer and read back, both copies, by each reader that takes them.
#include <gtest/gtest.h>

#include "pnm.h"

namespace {

using Samples = std::vector<sampleval>;
constexpr int P1 = PBM_PLAIN_CODE, P2 = PGM_PLAIN_CODE, P3 = PPM_PLAIN_CODE;

// Width, maxval (0 for PBM), format (PNM only) and samples of one image read
// by the whole-image reader of PBM (0), PGM (1), PPM (2) or PNM (3).
std::tuple<int, sampleval, int, Samples> Read(FILE* f, int reader) {
    int cols = 0, rows = 0, format = 0;
    sampleval maxval = 0;
    void** image = reader == 0   ? (void**)pbm_readpbm(f, &cols, &rows)
                   : reader == 1 ? (void**)pgm_readpgm(f, &cols, &rows, &maxval)
                   : reader == 2 ? (void**)ppm_readppm(f, &cols, &rows, &maxval)
                                 : (void**)pnm_readpnm(f, &cols, &rows, &maxval, &format);
    Samples s;
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < cols * (reader < 2 ? 1 : 3); ++i)
            s.push_back(reader == 0 ? static_cast<pbmbit*>(image[r])[i] : static_cast<sampleval*>(image[r])[i]);
    pm_freearray(image, rows);
    return {cols, maxval, format, s};
}

void RoundTrip(int family, bool plain, sampleval maxval, int cols) {
    const int rows = 3, depth = family == P3 ? 3 : 1, format = family + !plain * 3;
    const sampleval top = family == P1 ? 1 : maxval;
    // Samples reach 0 and top and vary along rows, columns and planes; a PBM
    // pixel is black where its sample is 0. What each reader gives: PBM read
    // as PGM at maxval 255, grey as r = g = b by PPM, PNM rows of PBM and PGM in b.
    std::vector<std::vector<pbmbit>> bits(rows);
    std::vector<Samples> grays(rows);
    std::vector<std::vector<rgbpixel>> pixels(rows);
    Samples want[4];
    for (size_t i = 0; i < size_t(rows) * cols * depth; ++i) {
        const sampleval s = i < 2 ? sampleval(i * top) : sampleval(i * 2654435761u % (top + 1ull));
        const size_t r = i / (size_t(cols) * depth);
        bits[r].push_back(s == 0), grays[r].push_back(s);
        if (depth == 1 || i % 3 == 2)
            pixels[r].push_back({depth == 1 ? 0 : grays[r].end()[-3], depth == 1 ? 0 : grays[r].end()[-2], s});
        want[0].push_back(s == 0), want[1].push_back(family == P1 && s ? 255 : s);
        want[2].insert(want[2].end(), 4 - depth, s);
        want[3].insert(want[3].end(), 3 - depth, 0), want[3].push_back(s);
    }
    std::vector<const pbmbit*> b;
    std::vector<const sampleval*> g;
    std::vector<const rgbpixel*> p;
    for (int r = 0; r < rows; ++r)
        b.push_back(bits[r].data()), g.push_back(grays[r].data()), p.push_back(pixels[r].data());
    FILE* files[2] = {std::tmpfile(), std::tmpfile()};  // the family's writer, the PNM one
    for (int copy = 0; copy < 2; ++copy) {
        if (family == P1)
            pbm_writepbm(files[0], b.data(), cols, rows, plain);
        else if (family == P2)
            pgm_writepgm(files[0], g.data(), cols, rows, maxval, plain);
        else
            ppm_writeppm(files[0], p.data(), cols, rows, maxval, plain);
        pnm_writepnm(files[1], p.data(), cols, rows, top, format, plain);
    }
    for (int writer = 0; writer < 2; ++writer)
        for (int reader = writer ? 3 : family - P1; reader < 4; ++reader) {
            std::rewind(files[writer]);
            for (int copy = 0, eof = -1; copy < 2; ++copy) {
                const sampleval m = reader == 0 ? 0 : reader == 1 && family == P1 ? 255 : top;
                EXPECT_EQ(Read(files[writer], reader), std::tuple(cols, m, reader == 3 ? format : 0, want[reader]))
                    << "family " << family << " plain " << plain << " maxval " << maxval << " width " << cols
                    << " writer " << writer << " reader " << reader;
                pnm_nextimage(files[writer], &eof);
                EXPECT_EQ(eof, copy);
            }
        }
    std::fclose(files[0]), std::fclose(files[1]);
}

TEST(PnmRoundTrip, EveryReaderOfTheFormatGetsTheImageBack) {
    for (int family : {P1, P2, P3})
        for (bool plain : {false, true})
            for (sampleval maxval : {1u, 255u, 256u, 65535u})
                for (int cols : {1, 7, 8, 9, 16, 23, 70, 71})
                    if (family != P1 || maxval == 1)
                        RoundTrip(family, plain, maxval, cols);
}

}  // namespace
