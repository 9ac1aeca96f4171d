// Every writer against every reader of its format: PBM, PGM and PPM images,
// raw and plain, maxvals 1 to 65535, widths on and off byte and line
// boundaries, written twice to one stream by the family's writer and by the
// PNM writer and read back by each reader that takes them.
#include <gtest/gtest.h>

#include "pnm.h"

namespace {

using Samples = std::vector<sampleval>;
constexpr int P1 = PBM_PLAIN_CODE, P2 = PGM_PLAIN_CODE, P3 = PPM_PLAIN_CODE;

template <typename T>  // the sizes by reference: read by the call that makes `image`
Samples Flat(T** image, const int& cols, const int& rows) {
    Samples s;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if constexpr (std::is_same_v<T, rgbpixel>)
                s.insert(s.end(), {image[r][c].r, image[r][c].g, image[r][c].b});
            else
                s.push_back(image[r][c]);
    pm_freearray(image, rows);
    return s;
}

// Reads one image with the whole-image reader of PBM (0), PGM (1), PPM (2) or
// PNM (3): its width, maxval (0 for PBM), format (PNM only) and samples.
std::tuple<int, sampleval, int, Samples> Read(FILE* f, int reader) {
    int cols = 0, rows = 0, format = 0;
    sampleval maxval = 0;
    Samples s = reader == 0   ? Flat(pbm_readpbm(f, &cols, &rows), cols, rows)
                : reader == 1 ? Flat(pgm_readpgm(f, &cols, &rows, &maxval), cols, rows)
                : reader == 2 ? Flat(ppm_readppm(f, &cols, &rows, &maxval), cols, rows)
                              : Flat(pnm_readpnm(f, &cols, &rows, &maxval, &format), cols, rows);
    return {cols, maxval, format, s};
}

template <typename T>
std::vector<const T*> Index(const std::vector<std::vector<T>>& rows) {
    std::vector<const T*> index;
    for (const auto& row : rows)
        index.push_back(row.data());
    return index;
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
    for (int writer = 0; writer < 2; ++writer) {
        std::rewind(files[writer]);
        for (int reader = writer ? 3 : family - P1; reader < 4; ++reader)
            for (int copy = 0; copy < 2; ++copy) {
                const sampleval m = reader == 0 ? 0 : reader == 1 && family == P1 ? 255 : top;
                EXPECT_EQ(Read(files[writer], reader),
                          std::tuple(cols, m, reader == 3 ? format : 0, want[reader]))
                    << "family " << family << " plain " << plain << " maxval " << maxval
                    << " width " << cols << " writer " << writer << " reader " << reader;
                int eof = -1;
                pnm_nextimage(files[writer], &eof);
                EXPECT_EQ(eof, copy);
                if (eof)
                    std::rewind(files[writer]);
            }
    }
    std::fclose(files[0]);
    std::fclose(files[1]);
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
