// SPDX-License-Identifier: MIT
// Tells whether two portable maps hold the same pixels, each sample taken as
// a fraction of its own image's maxval (gray as r = g = b, PBM black as 0), so
// that compare.py can tell a lossless change of type from lost bits.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "pnm.h"

namespace {

// One open image and a row to read it into.
struct Image {
    FILE* file;
    int cols, rows, format;
    sampleval maxval;
    rgbpixel* row;
};

Image open_image(const char* name) {
    Image image{};
    image.file = pm_openr(name);
    ppm_readppminit(image.file, &image.cols, &image.rows, &image.maxval,
                    &image.format);
    image.row = static_cast<rgbpixel*>(
        pm_allocrow(static_cast<unsigned>(image.cols), sizeof(rgbpixel)));
    return image;
}

// Differing samples and the largest difference, in units of the first
// image's maxval.
struct Tally {
    uint64_t differ = 0;
    double worst = 0;
};

void compare_sample(sampleval x, const Image& a, sampleval y, const Image& b,
                    Tally& tally) {
    // x / a.maxval == y / b.maxval, in integers (maxvals fit in 16 bits).
    if (uint64_t{x} * b.maxval == uint64_t{y} * a.maxval)
        return;
    ++tally.differ;
    double gap = std::fabs(x - double(y) * a.maxval / b.maxval);
    if (gap > tally.worst)
        tally.worst = gap;
}

}  // namespace

int main(int argc, char** argv) {
    pnm_init(&argc, argv);
    if (argc != 3)
        pm_usage("reference.pnm other.pnm");
    Image a = open_image(argv[1]), b = open_image(argv[2]);
    if (a.cols != b.cols || a.rows != b.rows) {
        std::printf("%dx%d, not %dx%d\n", b.cols, b.rows, a.cols, a.rows);
        return 1;
    }
    Tally tally;
    for (int y = 0; y < a.rows; ++y) {
        ppm_readppmrow(a.file, a.row, a.cols, a.maxval, a.format);
        ppm_readppmrow(b.file, b.row, b.cols, b.maxval, b.format);
        for (int x = 0; x < a.cols; ++x) {
            compare_sample(a.row[x].r, a, b.row[x].r, b, tally);
            compare_sample(a.row[x].g, a, b.row[x].g, b, tally);
            compare_sample(a.row[x].b, a, b.row[x].b, b, tally);
        }
    }
    if (tally.differ == 0) {
        std::puts("same pixels");
        return 0;
    }
    std::printf("%llu of %llu samples differ, by up to %.4g of maxval %u\n",
                static_cast<unsigned long long>(tally.differ),
                3ull * a.cols * a.rows, tally.worst, unsigned{a.maxval});
    return 1;
}
