// Colour rows: distinct colours in order of appearance with a limit, their
// index, sorting (samples beyond the int range too), appending, the nearest
// colour with ties and huge distances, and map files written and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ppm.h"
#include "support/child.h"

namespace {

using Flat = std::vector<uint32_t>;

Flat Samples(const rgbpixel* row, int n) {
    Flat out;
    for (int i = 0; i < n; ++i)
        out.insert(out.end(), {row[i].r, row[i].g, row[i].b});
    return out;
}

const rgbpixel kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

}  // namespace

TEST(PpmColorrow, DistinctColoursInOrderOfAppearance) {
    const rgbpixel top[] = {kRed, kBlue}, bottom[] = {kRed, kGreen};
    const rgbpixel* rows[] = {top, bottom};
    int ncolors = 0;
    rgbpixel* colorrow = ppm_computecolorrow(rows, 2, 2, 3, &ncolors);
    ASSERT_EQ(ncolors, 3);
    EXPECT_EQ(Samples(colorrow, 3), (Flat{255, 0, 0, 0, 0, 255, 0, 255, 0}));
    pm_freerow(colorrow);
    for (int maxcolors : {2, 0, -1}) {
        EXPECT_EQ(ppm_computecolorrow(rows, 2, 2, maxcolors, &ncolors), nullptr);
        EXPECT_EQ(ncolors, -1);
    }
}

TEST(PpmColorrow, IndexKeepsTheFirstPosition) {
    const rgbpixel row[] = {kRed, kBlue, kGreen, {1, 2, 3}, kBlue};
    colorhash cht = ppm_colorrowtocolorhash(row, 5);
    EXPECT_EQ(ppm_lookupcolor(cht, &kBlue), 1);
    EXPECT_EQ(ppm_lookupcolor(cht, &row[3]), 3);
    ppm_freecolorhash(cht);
}

TEST(PpmColorrow, SortsByRedGreenBlueOrByTheCallersOrder) {
    // Samples that are far apart do not fit an int difference.
    const rgbpixel ordered[] = {{0, 0, 9}, {0, 0, 0xF0000000u}, {0, 1, 0},
                                {1, 0, 0}, {0xF0000000u, 0, 0}};
    int order[] = {0, 1, 2, 3, 4};
    rgbpixel row[5];
    do {
        for (int i = 0; i < 5; ++i)
            row[i] = ordered[order[i]];
        ppm_sortcolorrow(row, 5, nullptr);
        ASSERT_EQ(Samples(row, 5), Samples(ordered, 5));
    } while (std::next_permutation(order, order + 5));
    auto byBlueDown = [](rgbpixel* a, rgbpixel* b) {
        return (a->b < b->b) - (a->b > b->b);
    };
    ppm_sortcolorrow(row, 5, byBlueDown);
    EXPECT_EQ(row[0].b, 0xF0000000u);
    EXPECT_EQ(row[1].b, 9u);
}

TEST(PpmColorrow, AppendsOnlyNewColoursWhileThereIsRoom) {
    rgbpixel row[3] = {kRed, kBlue};
    int ncolors = 2;
    EXPECT_EQ(ppm_addtocolorrow(row, &ncolors, 3, &kBlue), 1);
    EXPECT_EQ(ppm_addtocolorrow(row, &ncolors, 3, &kGreen), 2);
    EXPECT_EQ(ppm_addtocolorrow(row, &ncolors, 3, &kGreen), 2);
    const rgbpixel white{255, 255, 255};
    EXPECT_EQ(ppm_addtocolorrow(row, &ncolors, 3, &white), -1);
    EXPECT_EQ(ncolors, 3);
    EXPECT_EQ(Samples(row, 3), (Flat{255, 0, 0, 0, 0, 255, 0, 255, 0}));
}

TEST(PpmColorrow, FindsTheNearestColourExactly) {
    const uint32_t M = UINT32_MAX;
    struct Case {
        std::vector<rgbpixel> map;
        rgbpixel color;
        int expected;
    } const cases[] = {
        {{{10, 0, 0}, {0, 10, 0}, {5, 5, 0}}, {5, 5, 0}, 2},
        {{{10, 0, 0}, {0, 10, 0}, {0, 0, 10}}, {0, 0, 0}, 0},  // a tie
        {{}, {0, 0, 0}, -1},
        // 7.5e9 against 3e8: both beyond a 32-bit distance.
        {{{0, 0, 0}, {60000, 60000, 60000}}, {50000, 50000, 50000}, 1},
        {{{0, 0, 0}}, {M, M, M}, 0},
        // Three squared differences near 2^64 each.
        {{{0, 0, 0}, {1, 0, 0}, {0, 1, 1}}, {M, M, M}, 2},
    };
    for (const Case& k : cases)
        EXPECT_EQ(ppm_findclosestcolor(k.map.data(), int(k.map.size()),
                                       &k.color),
                  k.expected);
}
