// Colour hash tables and histograms: pixel counts and colour limits, the
// bucket function seen through the order of a histogram, collisions,
// conversions both ways and placing colours in a histogram.
#include <gtest/gtest.h>

#include <vector>

#include "ppm.h"
#include "support/child.h"

namespace {

using Colors = std::vector<rgbpixel>;

std::vector<uint32_t> Flat(const colorhistentry* chv, int n) {
    std::vector<uint32_t> out;
    for (int i = 0; i < n; ++i)
        out.insert(out.end(), {chv[i].color.r, chv[i].color.g, chv[i].color.b,
                               static_cast<uint32_t>(chv[i].value)});
    return out;
}

unsigned int Bucket(const rgbpixel& c) {
    return ((c.r * 33023u + c.g * 30013u + c.b * 27011u) & 0x7fffffffu) %
           HASH_SIZE;
}

// The four pixels red, red, blue, red as one row.
const Colors kImage = {{255, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 0, 0}};

}  // namespace

TEST(PpmColorhash, CountsPixelsUpToTheColourLimit) {
    const rgbpixel* rows[] = {kImage.data()};
    const rgbpixel red{255, 0, 0}, blue{0, 0, 255}, green{0, 255, 0};
    for (int maxcolors : {0, -1, 2, 1}) {
        int ncolors = -7;
        colorhash cht = ppm_computecolorhash(rows, 4, 1, maxcolors, &ncolors);
        EXPECT_EQ(ncolors, 2) << maxcolors;
        if (maxcolors == 1) {
            EXPECT_EQ(cht, nullptr);
            continue;
        }
        ASSERT_NE(cht, nullptr) << maxcolors;
        EXPECT_EQ(ppm_lookupcolor(cht, &red), 3);
        EXPECT_EQ(ppm_lookupcolor(cht, &blue), 1);
        EXPECT_EQ(ppm_lookupcolor(cht, &green), -1);
        ppm_freecolorhash(cht);
    }
}

TEST(PpmColorhash, HistogramComesInBucketOrderNewestFirst) {
    // Buckets 13000, 9990, 6988 and, with wrapping products, 3898.
    Colors colors = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {UINT32_MAX, 0, 0}};
    rgbpixel same{0, 0, 1};
    do
        ++same.b;
    while (Bucket(same) != Bucket(colors[0]));
    colors.push_back(same);
    colorhash cht = ppm_alloccolorhash();
    for (size_t i = 0; i < colors.size(); ++i)
        ASSERT_EQ(ppm_addtocolorhash(cht, &colors[i], int(i)), 0);
    EXPECT_EQ(ppm_lookupcolor(cht, &colors[0]), 0);
    EXPECT_EQ(ppm_lookupcolor(cht, &same), 4);
    colorhist chv = ppm_colorhashtocolorhist(cht, 0);
    EXPECT_EQ(Flat(chv, 5),
              (std::vector<uint32_t>{UINT32_MAX, 0, 0, 3, 0, 0, 1, 2, 0, 1, 0,
                                     1, same.r, same.g, same.b, 4, 1, 0, 0, 0}));
    ppm_freecolorhist(chv);
    ppm_freecolorhash(cht);
}

TEST(PpmColorhist, HasRoomForEveryColourAndTheSpares) {
    const rgbpixel* rows[] = {kImage.data()};
    // No limit (0 or less): the 2 colours and 5 spare entries.
    for (int maxcolors : {0, -1}) {
        int ncolors = 0;
        colorhist chv = ppm_computecolorhist(rows, 4, 1, maxcolors, &ncolors);
        ASSERT_NE(chv, nullptr);
        for (uint32_t v = 1; ncolors < 7; ++v) {
            rgbpixel const c{v, v, v};
            ppm_addtocolorhist(chv, &ncolors, 7, &c, 0, ncolors);
        }
        EXPECT_EQ(chv[6].color.r, 5u);
        ppm_freecolorhist(chv);
    }
    // A limit below the table's size still gets every colour.
    int ncolors = 0;
    colorhash cht = ppm_computecolorhash(rows, 4, 1, 0, &ncolors);
    colorhist chv = ppm_colorhashtocolorhist(cht, 1);
    EXPECT_EQ(Flat(chv, 2), (std::vector<uint32_t>{255, 0, 0, 3, 0, 0, 255, 1}));
    ppm_freecolorhist(chv);
    ppm_freecolorhash(cht);
}

TEST(PpmColorhist, ConvertsBackToAnIndexOfPositions) {
    const rgbpixel* rows[] = {kImage.data()};
    int ncolors = 0;
    colorhist chv = ppm_computecolorhist(rows, 4, 1, 0, &ncolors);
    ASSERT_EQ(ncolors, 2);
    // Blue's bucket (19916) comes after red's (11205).
    ASSERT_EQ(chv[1].color.b, 255u);
    colorhash cht = ppm_colorhisttocolorhash(chv, ncolors);
    EXPECT_EQ(ppm_lookupcolor(cht, &chv[1].color), 1);
    ppm_freecolorhash(cht);
    ppm_freecolorhist(chv);
}

TEST(PpmColorhist, PlacesColoursAtAPosition) {
    const colorhistentry a{{1, 1, 1}, 10}, b{{2, 2, 2}, 20}, c{{3, 3, 3}, 30};
    const colorhistentry n{{9, 9, 9}, 90};
    struct Case {
        colorhistentry add;
        int maxcolors, position;
        std::vector<uint32_t> expected;
    } const cases[] = {
        {n, 4, 0, {9, 9, 9, 90, 1, 1, 1, 10, 2, 2, 2, 20, 3, 3, 3, 30}},
        {n, 4, 3, {1, 1, 1, 10, 2, 2, 2, 20, 3, 3, 3, 30, 9, 9, 9, 90}},
        {{{1, 1, 1}, 5}, 4, 2, {2, 2, 2, 20, 3, 3, 3, 30, 1, 1, 1, 5}},
        {{{3, 3, 3}, 5}, 3, 0, {3, 3, 3, 5, 1, 1, 1, 10, 2, 2, 2, 20}},
        {n, 3, 0, {1, 1, 1, 10, 2, 2, 2, 20, 3, 3, 3, 30}},   // full
        {n, 4, 4, {1, 1, 1, 10, 2, 2, 2, 20, 3, 3, 3, 30}},   // beyond
        {n, 4, -1, {1, 1, 1, 10, 2, 2, 2, 20, 3, 3, 3, 30}},  // before
        {{{2, 2, 2}, 5}, 4, 3, {1, 1, 1, 10, 2, 2, 2, 20, 3, 3, 3, 30}},
    };
    for (const Case& k : cases) {
        colorhistentry chv[4] = {a, b, c};
        int ncolors = 3;
        ppm_addtocolorhist(chv, &ncolors, k.maxcolors, &k.add.color,
                           k.add.value, k.position);
        EXPECT_EQ(Flat(chv, ncolors), k.expected) << k.position;
    }
}

TEST(PpmColorhistDeathTest, SameColourTwiceIsFatal) {
    auto r = tarvex_test::RunChild([] {
        pm_init("colortest");
        colorhistentry chv[3] = {{{1, 2, 3}, 0}, {{4, 5, 6}, 0}, {{1, 2, 3}, 0}};
        ppm_colorhisttocolorhash(chv, 3);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "colortest: same color found twice - 1 2 3\n");
}
