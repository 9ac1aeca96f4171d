// Colour hash tables and histograms: pixel counts and colour limits from
// memory and from a file, the bucket function seen through the order of a
// histogram, collisions, histogram room and placing colours in a histogram.
#include "lib_support.h"

using namespace tarvex_test;

namespace {

using Flat = std::vector<uint32_t>;

Flat Entries(const colorhistentry* chv, int n) {
    Flat out;
    for (int i = 0; chv && i < n; ++i)
        out.insert(out.end(), {chv[i].color.r, chv[i].color.g, chv[i].color.b,
                               uint32_t(chv[i].value)});
    return out;
}

// Red, red, blue, red: red's bucket (11205) comes before blue's (19916).
TEST(PpmColorhist, CountsFromMemoryAndFileUpToTheColourLimit) {
    const rgbpixel image[] = {{255, 0, 0}, {255, 0, 0}, {0, 0, 255}, {255, 0, 0}};
    const rgbpixel* rows[] = {image, image + 2};
    for (int maxcolors : {0, 2, 1}) {
        int n1 = 0, n2 = 0, cols, nrows, format;
        sampleval maxval;
        colorhist mem = ppm_computecolorhist(rows, 2, 2, maxcolors, &n1);
        FILE* f = DataFile("P6 2 2 255\n\xff\0\0\xff\0\0\0\0\xff\xff\0\0"s);
        ppm_readppminit(f, &cols, &nrows, &maxval, &format);
        colorhist file = ppm_computecolorhist2(f, cols, nrows, maxval, format, maxcolors, &n2);
        std::fclose(f);
        const Flat want = maxcolors == 1 ? Flat{} : Flat{255, 0, 0, 3, 0, 0, 255, 1};
        EXPECT_EQ(std::tuple(n1, n2, Entries(mem, 2), Entries(file, 2)),
                  std::tuple(2, 2, want, want));
        ppm_freecolorhist(mem);
        ppm_freecolorhist(file);
    }
}

// Buckets 13000, 9990, 6988 and, with wrapping products, 3898; the last colour shares the
// first one's bucket and comes before it. A histogram has room for every colour even with
// a lower limit, and five spares with none (a sanitizer build catches an overrun).
TEST(PpmColorhash, CollisionsComeNewestFirstInBucketOrder) {
    rgbpixel colors[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {UINT32_MAX, 0, 0}, {0, 0, 1}};
    rgbpixel& same = colors[4];
    do
        ++same.b;
    while ((same.b * 27011u) % HASH_SIZE != 33023u % HASH_SIZE);
    colorhash cht = ppm_alloccolorhash();
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(ppm_addtocolorhash(cht, &colors[i], i), 0);
    EXPECT_EQ(ppm_lookupcolor(cht, &colors[0]), 0);
    const Flat want = {UINT32_MAX, 0, 0, 3, 0, 0, 1, 2, 0, 1, 0, 1, 0, 0, same.b, 4, 1, 0, 0, 0};
    colorhist chv = ppm_colorhashtocolorhist(cht, 1);
    EXPECT_EQ(Entries(chv, 5), want);
    ppm_freecolorhist(chv);
    chv = ppm_colorhashtocolorhist(cht, 0);
    chv[9] = chv[0];
    EXPECT_EQ(Entries(chv, 5), want);
    colorhash index = ppm_colorhisttocolorhash(chv, 5);
    EXPECT_EQ(std::pair(ppm_lookupcolor(index, &colors[0]), ppm_lookupcolor(index, &same)),
              std::pair(4, 3));
    ppm_freecolorhash(index);
    ppm_freecolorhist(chv);
    ppm_freecolorhash(cht);
}

// Reds 1, 2, 3 with room for 3 or 4; a full histogram or a position outside changes nothing.
TEST(PpmColorhist, PlacesColoursAtAPosition) {
    struct { uint32_t red; int maxcolors, position; Flat reds; } const cases[] = {
        {9, 4, 0, {9, 1, 2, 3}}, {9, 4, 3, {1, 2, 3, 9}}, {1, 3, 2, {2, 3, 1}},
        {9, 3, 0, {1, 2, 3}}, {9, 4, 4, {1, 2, 3}}, {9, 4, -1, {1, 2, 3}}};
    for (const auto& k : cases) {
        colorhistentry chv[4] = {{{1, 0, 0}, 10}, {{2, 0, 0}, 20}, {{3, 0, 0}, 30}};
        int ncolors = 3;
        const rgbpixel color{k.red, 0, 0};
        ppm_addtocolorhist(chv, &ncolors, k.maxcolors, &color, 99, k.position);
        Flat reds;
        for (int i = 0; i < ncolors; ++i)
            reds.push_back(chv[i].color.r);
        EXPECT_EQ(reds, k.reds) << k.red << " at " << k.position;
        EXPECT_TRUE((k.reds == Flat{1, 2, 3}) || chv[k.position].value == 99);
    }
}

TEST(PpmColorhistDeathTest, SameColourTwiceIsFatal) {
    ExpectFatal([] {
        colorhistentry chv[] = {{{1, 2, 3}, 0}, {{4, 5, 6}, 0}, {{1, 2, 3}, 0}};
        ppm_colorhisttocolorhash(chv, 3);
    }, "prog: same color found twice - 1 2 3\n");
}

}  // namespace
