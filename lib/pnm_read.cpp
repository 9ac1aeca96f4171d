// SPDX-License-Identifier: MIT
// Reading any portable map into rows of rgbpixel, and the PNM raster check.
#include "pnm.h"
#include "pm_internal.h"

namespace {

size_t count(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

}  // namespace

void pnm_readpnminit(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                     int* formatP) {
    ppm_readppminit(file, colsP, rowsP, maxvalP, formatP);
}

void pnm_readpnmrow(FILE* file, rgbpixel* row, int cols, sampleval maxval,
                    int format) {
    switch (PNM_FORMAT_TYPE(format)) {
    case PPM_PLAIN_CODE:
        ppm_readppmrow(file, row, cols, maxval, format);
        break;
    case PGM_PLAIN_CODE: case PBM_PLAIN_CODE:
        // A gray pixel holds its value in the last sample only.
        pm_readpromotedrow(file, row, count(cols), maxval, format, false);
        break;
    default:
        pm_error("can't happen");
    }
}

rgbpixel** pnm_readpnm(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                       int* formatP) {
    pnm_readpnminit(file, colsP, rowsP, maxvalP, formatP);
    auto** pixels = static_cast<rgbpixel**>(
        pm_allocarray(*colsP, *rowsP, sizeof(rgbpixel)));
    for (int row = 0; row < *rowsP; ++row)
        pnm_readpnmrow(file, pixels[row], *colsP, *maxvalP, *formatP);
    return pixels;
}

void pnm_check(FILE* file, int checkType, int format, int cols, int rows,
               sampleval maxval, int* retvalP) {
    switch (PNM_FORMAT_TYPE(format)) {
    case PPM_PLAIN_CODE:
        return ppm_check(file, checkType, format, cols, rows, maxval, retvalP);
    case PGM_PLAIN_CODE:
        return pgm_check(file, checkType, format, cols, rows, maxval, retvalP);
    case PBM_PLAIN_CODE:
        return pbm_check(file, checkType, format, cols, rows, retvalP);
    default:
        pm_error("pnm_check() called with invalid format parameter");
    }
}

void pnm_nextimage(FILE* file, int* eofP) { pm_nextimage(file, eofP); }
