// Colour hash tables and histograms: pixel counts and colour limits from
// memory and from a file, the bucket function seen through the order of a
// histogram, collisions, histogram room and placing colours in a histogram.
#include <gtest/gtest.h>

#include <vector>

#include "ppm.h"
#include "support/child.h"

namespace {

using Flat = std::vector<uint32_t>;

Flat Entries(const colorhistentry* chv, int n) {
    Flat out;
    for (int i = 0; i < n; ++i)
        out.insert(out.end(), {chv[i].color.r, chv[i].color.g, chv[i].color.b,
                               uint32_t(chv[i].value)});
    return out;
}

// Red, red, blue, red: red's bucket (11205) comes before blue's (19916).
const rgbpixel kImage[] = {{255, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 0, 0}};
const Flat kCounts = {255, 0, 0, 3, 0, 0, 255, 1};

}  // namespace

TEST(PpmColorhist, CountsFromMemoryAndFileUpToTheColourLimit) {
    std::string ppm = "P6\n2 2\n255\n";
    for (const rgbpixel& p : kImage)
        ppm += {char(p.r), char(p.g), char(p.b)};
    const std::string path = tarvex_test::TempFile(ppm);
    const rgbpixel* rows[] = {kImage, kImage + 2};
    for (int maxcolors : {0, -1, 2, 1}) {
        int n1 = 0, n2 = 0, cols, nrows, format;
        sampleval maxval;
        colorhist mem = ppm_computecolorhist(rows, 2, 2, maxcolors, &n1);
        FILE* f = std::fopen(path.c_str(), "rb");
        ppm_readppminit(f, &cols, &nrows, &maxval, &format);
        colorhist file = ppm_computecolorhist2(f, cols, nrows, maxval, format,
                                               maxcolors, &n2);
        std::fclose(f);
        EXPECT_EQ(n1, 2);
        EXPECT_EQ(n2, 2);
        const Flat expected = maxcolors == 1 ? Flat{} : kCounts;
        EXPECT_EQ(mem ? Entries(mem, 2) : Flat{}, expected);
        EXPECT_EQ(file ? Entries(file, 2) : Flat{}, expected);
        ppm_freecolorhist(mem);
        ppm_freecolorhist(file);
    }
}

TEST(PpmColorhash, CollisionsComeNewestFirstInBucketOrder) {
    // Buckets 13000, 9990, 6988 and, with wrapping products, 3898.
    rgbpixel colors[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {UINT32_MAX, 0, 0},
                         {0, 0, 1}};
    auto bucket = [](const rgbpixel& c) {
        return ((c.r * 33023u + c.g * 30013u + c.b * 27011u) & 0x7fffffffu) %
               HASH_SIZE;
    };
    rgbpixel& same = colors[4];
    do
        ++same.b;
    while (bucket(same) != bucket(colors[0]));
    colorhash cht = ppm_alloccolorhash();
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(ppm_addtocolorhash(cht, &colors[i], i), 0);
    EXPECT_EQ(ppm_lookupcolor(cht, &colors[0]), 0);
    colorhist chv = ppm_colorhashtocolorhist(cht, 0);
    EXPECT_EQ(Entries(chv, 5),
              (Flat{UINT32_MAX, 0, 0, 3, 0, 0, 1, 2, 0, 1, 0, 1, 0, 0, same.b,
                    4, 1, 0, 0, 0}));
    // Back to a table: colours map to their histogram positions.
    colorhash index = ppm_colorhisttocolorhash(chv, 5);
    EXPECT_EQ(ppm_lookupcolor(index, &colors[0]), 4);
    EXPECT_EQ(ppm_lookupcolor(index, &same), 3);
    ppm_freecolorhash(index);
    ppm_freecolorhist(chv);
    ppm_freecolorhash(cht);
}

TEST(PpmColorhist, HasRoomForEveryColourAndFiveSpares) {
    const rgbpixel* rows[] = {kImage};
    int ncolors = 0;
    colorhash cht = ppm_computecolorhash(rows, 4, 1, 0, &ncolors);
    // A limit below the table's size still gets every colour; no limit (0
    // or less) leaves five spares. A sanitizer build catches an overrun.
    for (int maxcolors : {1, 0, -1}) {
        colorhist chv = ppm_colorhashtocolorhist(cht, maxcolors);
        if (maxcolors <= 0)
            chv[6] = chv[0];
        EXPECT_EQ(Entries(chv, 2), kCounts);
        ppm_freecolorhist(chv);
    }
    ppm_freecolorhash(cht);
}

TEST(PpmColorhist, PlacesColoursAtAPosition) {
    // Entries are red samples 1, 2, 3 with values 10, 20, 30.
    struct Case {
        uint32_t red;
        int maxcolors, position;
        Flat reds;
    } const cases[] = {
        {9, 4, 0, {9, 1, 2, 3}},  {9, 4, 3, {1, 2, 3, 9}},
        {1, 3, 2, {2, 3, 1}},     {3, 3, 0, {3, 1, 2}},
        {9, 3, 0, {1, 2, 3}},     {9, 4, 4, {1, 2, 3}},
        {9, 4, -1, {1, 2, 3}},    {2, 3, 3, {1, 2, 3}},
    };
    for (const Case& k : cases) {
        colorhistentry chv[4] = {
            {{1, 0, 0}, 10}, {{2, 0, 0}, 20}, {{3, 0, 0}, 30}};
        int ncolors = 3;
        const rgbpixel color{k.red, 0, 0};
        ppm_addtocolorhist(chv, &ncolors, k.maxcolors, &color, 99, k.position);
        Flat reds;
        for (int i = 0; i < ncolors; ++i)
            reds.push_back(chv[i].color.r);
        EXPECT_EQ(reds, k.reds) << k.red << " at " << k.position;
        if (k.reds != Flat{1, 2, 3}) {
            EXPECT_EQ(chv[k.position].value, 99);
        }
    }
}

TEST(PpmColorhistDeathTest, SameColourTwiceIsFatal) {
    auto r = tarvex_test::RunChild([] {
        pm_init("colortest");
        colorhistentry chv[] = {
            {{1, 2, 3}, 0}, {{4, 5, 6}, 0}, {{1, 2, 3}, 0}};
        ppm_colorhisttocolorhash(chv, 3);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "colortest: same color found twice - 1 2 3\n");
}
