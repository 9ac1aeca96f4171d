// SPDX-License-Identifier: MIT
// Colour hash tables (a colour to an integer, chained in HASH_SIZE buckets)
// and colour histograms, built from images in memory or read from a file.
#include <cstring>

#include "pm_internal.h"
#include "ppm.h"

namespace {

unsigned int bucketOf(const rgbpixel& c) {
    // The products and the sum wrap in 32 bits; the bucket depends on it.
    uint32_t const sum = c.r * 33023u + c.g * 30013u + c.b * 27011u;
    return (sum & 0x7fffffffu) % HASH_SIZE;
}

bool sameColor(const rgbpixel& a, const rgbpixel& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

colorhashnode* findNode(colorhash cht, const rgbpixel& color,
                        unsigned int bucket) {
    for (colorhashnode* node = cht[bucket]; node != nullptr; node = node->next)
        if (sameColor(node->color, color))
            return node;
    return nullptr;
}

// A new node at the front of its chain, or null when out of memory.
colorhashnode* pushNode(colorhash cht, const rgbpixel& color, int value,
                        unsigned int bucket) {
    auto* node = static_cast<colorhashnode*>(std::malloc(sizeof(colorhashnode)));
    if (node == nullptr)
        return nullptr;
    node->color = color;
    node->value = value;
    node->next = cht[bucket];
    cht[bucket] = node;
    return node;
}

unsigned int colorHashSize(colorhash cht) {
    unsigned int nodes = 0;
    for (int bucket = 0; bucket < HASH_SIZE; ++bucket)
        for (colorhashnode* node = cht[bucket]; node; node = node->next)
            ++nodes;
    return nodes;
}

// Counts one row into the table; false once there are more than maxcolors
// (> 0) distinct colours.
bool countRow(colorhash cht, const rgbpixel* row, int cols, int maxcolors,
              int* ncolorsP) {
    for (int col = 0; col < cols; ++col) {
        unsigned int const bucket = bucketOf(row[col]);
        colorhashnode* node = findNode(cht, row[col], bucket);
        if (node != nullptr) {
            // A count that would pass INT32_MAX stays there, never negative.
            if (node->value < INT32_MAX)
                ++node->value;
            continue;
        }
        ++*ncolorsP;
        if (maxcolors > 0 && *ncolorsP > maxcolors)
            return false;
        if (pushNode(cht, row[col], 1, bucket) == nullptr)
            pm_error("out of memory computing hash table");
    }
    return true;
}

// Pixel counts of an image; its rows come from `file` when it is given.
colorhash computecolorhash(const rgbpixel* const* pixels, int cols, int rows,
                           int maxcolors, int* ncolorsP, FILE* file,
                           sampleval maxval, int format) {
    colorhash cht = ppm_alloccolorhash();
    *ncolorsP = 0;
    rgbpixel* buffer = nullptr;
    if (file != nullptr)
        buffer = static_cast<rgbpixel*>(
            pm_allocrow(cols > 0 ? cols : 0, sizeof(rgbpixel)));
    bool fits = true;
    for (int row = 0; row < rows && fits; ++row) {
        if (file != nullptr)
            ppm_readppmrow(file, buffer, cols, maxval, format);
        fits = countRow(cht, file ? buffer : pixels[row], cols, maxcolors,
                        ncolorsP);
    }
    pm_freerow(buffer);
    if (!fits) {
        ppm_freecolorhash(cht);
        return nullptr;
    }
    return cht;
}

// The histogram of a counting table, which is freed; null stays null.
colorhist hashToHist(colorhash cht, int maxcolors) {
    if (cht == nullptr)
        return nullptr;
    colorhist chv = ppm_colorhashtocolorhist(cht, maxcolors);
    ppm_freecolorhash(cht);
    return chv;
}

}  // namespace

colorhash ppm_alloccolorhash(void) {
    colorhash cht = nullptr;
    mallocProduct(&cht, HASH_SIZE, sizeof(colorhashnode*));
    if (cht == nullptr)
        pm_error("out of memory allocating hash table");
    for (int bucket = 0; bucket < HASH_SIZE; ++bucket)
        cht[bucket] = nullptr;
    return cht;
}

colorhash ppm_computecolorhash(const rgbpixel* const* pixels, int cols,
                               int rows, int maxcolors, int* ncolorsP) {
    return computecolorhash(pixels, cols, rows, maxcolors, ncolorsP, nullptr,
                            0, 0);
}

colorhash ppm_computecolorhash2(FILE* file, int cols, int rows,
                                sampleval maxval, int format, int maxcolors,
                                int* ncolorsP) {
    return computecolorhash(nullptr, cols, rows, maxcolors, ncolorsP, file,
                            maxval, format);
}

colorhist ppm_computecolorhist(const rgbpixel* const* pixels, int cols,
                               int rows, int maxcolors, int* ncolorsP) {
    return hashToHist(
        ppm_computecolorhash(pixels, cols, rows, maxcolors, ncolorsP),
        maxcolors);
}

colorhist ppm_computecolorhist2(FILE* file, int cols, int rows,
                                sampleval maxval, int format, int maxcolors,
                                int* ncolorsP) {
    return hashToHist(ppm_computecolorhash2(file, cols, rows, maxval, format,
                                            maxcolors, ncolorsP),
                      maxcolors);
}

int ppm_addtocolorhash(colorhash cht, const rgbpixel* colorP, int value) {
    return pushNode(cht, *colorP, value, bucketOf(*colorP)) ? 0 : -1;
}

int ppm_lookupcolor(colorhash cht, const rgbpixel* colorP) {
    colorhashnode* node = findNode(cht, *colorP, bucketOf(*colorP));
    return node ? node->value : -1;
}

colorhist ppm_colorhashtocolorhist(colorhash cht, int maxcolors) {
    unsigned int const nodes = colorHashSize(cht);
    // Room for every node even when a limit smaller than the table is
    // passed; no limit (0 or less) leaves five spare entries.
    unsigned int length = nodes + 5;
    if (maxcolors > 0)
        length = static_cast<unsigned int>(maxcolors) > nodes
                     ? static_cast<unsigned int>(maxcolors) : nodes;
    colorhist chv = nullptr;
    mallocProduct(&chv, length, sizeof(colorhistentry));
    if (chv == nullptr)
        pm_error("out of memory generating histogram");
    unsigned int i = 0;
    for (int bucket = 0; bucket < HASH_SIZE; ++bucket)
        for (colorhashnode* node = cht[bucket]; node; node = node->next)
            chv[i++] = colorhistentry{node->color, node->value};
    return chv;
}

colorhash ppm_colorhisttocolorhash(colorhist chv, int ncolors) {
    colorhash cht = ppm_alloccolorhash();
    for (int i = 0; i < ncolors; ++i) {
        rgbpixel const& color = chv[i].color;
        unsigned int const bucket = bucketOf(color);
        if (findNode(cht, color, bucket) != nullptr)
            pm_error("same color found twice - %d %d %d", color.r, color.g,
                     color.b);
        if (pushNode(cht, color, i, bucket) == nullptr)
            pm_error("out of memory");
    }
    return cht;
}

void ppm_addtocolorhist(colorhist chv, int* ncolorsP, int maxcolors,
                        const rgbpixel* colorP, int value, int position) {
    int const ncolors = *ncolorsP;
    int i = 0;
    while (i < ncolors && !sameColor(chv[i].color, *colorP))
        ++i;
    size_t const entry = sizeof(colorhistentry);
    // A position outside the filled entries (or one past them for a new
    // colour) would write outside the histogram: it changes nothing.
    if (i < ncolors) {
        if (position < 0 || position >= ncolors)
            return;
        if (position > i)
            std::memmove(&chv[i], &chv[i + 1], (position - i) * entry);
        else if (position < i)
            std::memmove(&chv[position + 1], &chv[position],
                         (i - position) * entry);
    } else {
        if (ncolors >= maxcolors || position < 0 || position > ncolors)
            return;
        std::memmove(&chv[position + 1], &chv[position],
                     (ncolors - position) * entry);
        ++*ncolorsP;
    }
    chv[position] = colorhistentry{*colorP, value};
}

void ppm_freecolorhash(colorhash cht) {
    if (cht == nullptr)
        return;
    for (int bucket = 0; bucket < HASH_SIZE; ++bucket) {
        colorhashnode* node = cht[bucket];
        while (node != nullptr) {
            colorhashnode* next = node->next;
            std::free(node);
            node = next;
        }
    }
    std::free(cht);
}

void ppm_freecolorhist(colorhist chv) {
    std::free(chv);
}
