// Colour rows: distinct colours in order of appearance with a limit, their
// index, sorting (samples beyond the int range too), appending, the nearest
// colour with ties and huge distances, and map files written and read back.
#include <algorithm>

#include "lib_support.h"

using namespace tarvex_test;

namespace {

using Flat = std::vector<uint32_t>;

Flat Samples(const rgbpixel* row, int n) {
    Flat out;
    for (int i = 0; row && i < n; ++i)
        out.insert(out.end(), {row[i].r, row[i].g, row[i].b});
    return out;
}

const rgbpixel kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
const Flat kAll = {255, 0, 0, 0, 0, 255, 0, 255, 0};

TEST(PpmColorrow, DistinctColoursInOrderOfAppearanceIndexAndAppending) {
    const rgbpixel top[] = {kRed, kBlue}, bottom[] = {kRed, kGreen};
    const rgbpixel* rows[] = {top, bottom};
    for (int maxcolors : {3, 2, 0}) {
        int ncolors = 0;
        rgbpixel* row = ppm_computecolorrow(rows, 2, 2, maxcolors, &ncolors);
        EXPECT_EQ(ncolors, maxcolors == 3 ? 3 : -1);
        EXPECT_EQ(Samples(row, ncolors), maxcolors == 3 ? kAll : Flat{});
        pm_freerow(row);
    }
    rgbpixel row[5] = {kRed, kBlue};
    int ncolors = 2;
    for (auto [color, at] : {std::pair{kBlue, 1}, {kGreen, 2}, {kGreen, 2}, {kBlue, 1}})
        EXPECT_EQ(ppm_addtocolorrow(row, &ncolors, 3, &color), at);
    const rgbpixel white{255, 255, 255};
    EXPECT_EQ(ppm_addtocolorrow(row, &ncolors, 3, &white), -1);
    EXPECT_EQ(Samples(row, ncolors), kAll);
    row[3] = kRed, row[4] = kBlue;
    colorhash cht = ppm_colorrowtocolorhash(row, 5);
    EXPECT_EQ(ppm_lookupcolor(cht, &kBlue), 1);
    ppm_freecolorhash(cht);
}

// Samples that are far apart do not fit an int difference.
TEST(PpmColorrow, SortsByRedGreenBlueOrByTheCallersOrder) {
    const rgbpixel ordered[] = {{0, 0, 9}, {0, 0, 0xF0000000u}, {0, 1, 0}, {1, 0, 0},
                                {0xF0000000u, 0, 0}};
    int order[] = {0, 1, 2, 3, 4};
    rgbpixel row[5];
    do {
        for (int i = 0; i < 5; ++i)
            row[i] = ordered[order[i]];
        ppm_sortcolorrow(row, 5, nullptr);
        ASSERT_EQ(Samples(row, 5), Samples(ordered, 5));
    } while (std::next_permutation(order, order + 5));
    ppm_sortcolorrow(row, 5,
                     [](rgbpixel* a, rgbpixel* b) { return (a->b < b->b) - (a->b > b->b); });
    EXPECT_EQ(Flat({row[0].b, row[1].b}), Flat({0xF0000000u, 9}));
}

// The first of equal distances wins; distances beyond 32 bits (7.5e9 against 3e8) and
// three squared differences near 2^64 each are compared exactly; no colours give -1.
TEST(PpmColorrow, FindsTheNearestColourExactly) {
    const uint32_t M = UINT32_MAX;
    struct { std::vector<rgbpixel> map; rgbpixel color; int expected; } const cases[] = {
        {{{10, 0, 0}, {0, 10, 0}, {5, 5, 0}}, {5, 5, 0}, 2},
        {{{10, 0, 0}, {0, 10, 0}, {0, 0, 10}}, {0, 0, 0}, 0},
        {{}, {0, 0, 0}, -1},
        {{{0, 0, 0}, {60000, 60000, 60000}}, {50000, 50000, 50000}, 1},
        {{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}}, {M, M, M}, 2},
    };
    for (const auto& k : cases)
        EXPECT_EQ(ppm_findclosestcolor(k.map.data(), int(k.map.size()), &k.color), k.expected);
}

// Written as one plain row; read back from any shape and family, within the colour limit.
TEST(PpmMapfile, WrittenAsOnePlainRowAndReadBackFromAnyShapeAndFamily) {
    const rgbpixel colors[] = {kRed, kBlue};
    const std::string written = Written([&](FILE* f) { ppm_colorrowtomapfile(f, colors, 2, 255); });
    EXPECT_EQ(written, "P3\n2 1\n255\n255 0 0\n0 0 255\n");
    struct { std::string file; int maxcolors, ncolors; sampleval maxval; Flat colors; } const
        cases[] = {{written, 2, 2, 255, {255, 0, 0, 0, 0, 255}},
                   {"P2 2 2 9\n9 0\n9 5\n", 3, 3, 9, {9, 9, 9, 0, 0, 0, 5, 5, 5}},
                   {"P2 2 2 9\n9 0\n9 5\n", 2, -1, 9, {}}};
    for (const auto& k : cases) {
        FILE* f = DataFile(k.file);
        int ncolors = 0;
        sampleval maxval = 0;
        rgbpixel* row = ppm_mapfiletocolorrow(f, k.maxcolors, &ncolors, &maxval);
        EXPECT_EQ(Flat({uint32_t(ncolors), maxval}), Flat({uint32_t(k.ncolors), k.maxval}));
        EXPECT_EQ(Samples(row, ncolors), k.colors);
        pm_freerow(row);
        std::fclose(f);
    }
}

}  // namespace
