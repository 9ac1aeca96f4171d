// SPDX-License-Identifier: MIT
// Colour rows (colour maps): built from images and map files, indexed by a
// colour hash table, sorted, searched for the nearest colour, written out.
#include "ppm.h"

namespace {

// The caller's order while ppm_sortcolorrow sorts with one; left set after.
int (*custom_cmp)(rgbpixel*, rgbpixel*) = nullptr;

int threeWay(sampleval a, sampleval b) {
    return (a > b) - (a < b);
}

// Red, then green, then blue. Samples are unsigned 32-bit, so they are
// compared rather than subtracted: a difference may not fit in an int.
int pixel_cmp(const void* a, const void* b) {
    auto const* p = static_cast<const rgbpixel*>(a);
    auto const* q = static_cast<const rgbpixel*>(b);
    if (p->r != q->r)
        return threeWay(p->r, q->r);
    if (p->g != q->g)
        return threeWay(p->g, q->g);
    return threeWay(p->b, q->b);
}

int custom_stub(const void* a, const void* b) {
    return custom_cmp(static_cast<rgbpixel*>(const_cast<void*>(a)),
                      static_cast<rgbpixel*>(const_cast<void*>(b)));
}

rgbpixel* allocColorRow(int maxcolors) {
    return static_cast<rgbpixel*>(
        pm_allocrow(maxcolors > 0 ? maxcolors : 0, sizeof(rgbpixel)));
}

// Appends the colours of `row` not yet in `cht`; false when one more than
// maxcolors would be needed.
bool takeColors(const rgbpixel* row, int cols, colorhash cht,
                rgbpixel* colorrow, int maxcolors, int* countP) {
    for (int col = 0; col < cols; ++col) {
        if (ppm_lookupcolor(cht, &row[col]) != -1)
            continue;
        if (*countP >= maxcolors)
            return false;
        if (ppm_addtocolorhash(cht, &row[col], *countP) < 0)
            pm_error("out of memory adding to hash table");
        colorrow[(*countP)++] = row[col];
    }
    return true;
}

// The finished row, or null and -1 (row freed) when the colours overflowed.
rgbpixel* finishColorRow(rgbpixel* colorrow, bool fits, int count,
                         int* ncolorsP) {
    if (!fits) {
        pm_freerow(colorrow);
        *ncolorsP = -1;
        return nullptr;
    }
    *ncolorsP = count;
    return colorrow;
}

// Squared distance, exact for any 32-bit samples: one squared difference
// needs 64 bits and the sum of three needs more.
unsigned __int128 distance(const rgbpixel& p, const rgbpixel& q) {
    auto square = [](sampleval a, sampleval b) {
        uint64_t const d = a > b ? a - b : b - a;
        return static_cast<unsigned __int128>(d * d);
    };
    return square(p.r, q.r) + square(p.g, q.g) + square(p.b, q.b);
}

}  // namespace

rgbpixel* ppm_computecolorrow(const rgbpixel* const* pixels, int cols,
                              int rows, int maxcolors, int* ncolorsP) {
    rgbpixel* colorrow = allocColorRow(maxcolors);
    colorhash cht = ppm_alloccolorhash();
    int count = 0;
    bool fits = true;
    for (int row = 0; row < rows && fits; ++row)
        fits = takeColors(pixels[row], cols, cht, colorrow, maxcolors, &count);
    ppm_freecolorhash(cht);
    return finishColorRow(colorrow, fits, count, ncolorsP);
}

rgbpixel* ppm_mapfiletocolorrow(FILE* file, int maxcolors, int* ncolorsP,
                                sampleval* maxvalP) {
    rgbpixel* colorrow = allocColorRow(maxcolors);
    int cols = 0, rows = 0, format = 0;
    ppm_readppminit(file, &cols, &rows, maxvalP, &format);
    auto* buffer = static_cast<rgbpixel*>(
        pm_allocrow(cols > 0 ? cols : 0, sizeof(rgbpixel)));
    colorhash cht = ppm_alloccolorhash();
    int count = 0;
    bool fits = true;
    for (int row = 0; row < rows && fits; ++row) {
        ppm_readppmrow(file, buffer, cols, *maxvalP, format);
        fits = takeColors(buffer, cols, cht, colorrow, maxcolors, &count);
    }
    ppm_freecolorhash(cht);
    pm_freerow(buffer);
    return finishColorRow(colorrow, fits, count, ncolorsP);
}

colorhash ppm_colorrowtocolorhash(const rgbpixel* colorrow, int ncolors) {
    colorhash cht = ppm_alloccolorhash();
    for (int i = 0; i < ncolors; ++i)
        if (ppm_lookupcolor(cht, &colorrow[i]) == -1 &&
            ppm_addtocolorhash(cht, &colorrow[i], i) < 0)
            pm_error("out of memory adding to hash table");
    return cht;
}

void ppm_sortcolorrow(rgbpixel* colorrow, int ncolors,
                      int (*cmpfunc)(rgbpixel*, rgbpixel*)) {
    if (ncolors <= 1)
        return;
    if (cmpfunc == nullptr) {
        std::qsort(colorrow, ncolors, sizeof(rgbpixel), pixel_cmp);
    } else {
        custom_cmp = cmpfunc;
        std::qsort(colorrow, ncolors, sizeof(rgbpixel), custom_stub);
    }
}

int ppm_addtocolorrow(rgbpixel* colorrow, int* ncolorsP, int maxcolors,
                      const rgbpixel* colorP) {
    for (int i = 0; i < *ncolorsP; ++i)
        if (colorrow[i].r == colorP->r && colorrow[i].g == colorP->g &&
            colorrow[i].b == colorP->b)
            return i;
    if (*ncolorsP >= maxcolors)
        return -1;
    colorrow[*ncolorsP] = *colorP;
    return (*ncolorsP)++;
}

int ppm_findclosestcolor(const rgbpixel* colormap, int ncolors,
                         const rgbpixel* colorP) {
    int best = -1;
    unsigned __int128 bestDistance = 0;
    for (int i = 0; i < ncolors; ++i) {
        unsigned __int128 const d = distance(colormap[i], *colorP);
        if (best == -1 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void ppm_colorrowtomapfile(FILE* ofp, const rgbpixel* colorrow, int ncolors,
                           sampleval maxval) {
    // One header for a row of ncolors, then one plain row call per colour:
    // plain samples are separated only by white space, so this is that row.
    ppm_writeppminit(ofp, ncolors, 1, maxval, 1);
    for (int i = 0; i < ncolors; ++i)
        ppm_writeppmrow(ofp, &colorrow[i], 1, maxval, 1);
}
