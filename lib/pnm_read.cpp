// Reading any portable map into rows of rgbpixel, and the PNM raster check.
#include "pnm.h"

namespace {

size_t count(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

// As in the PPM reader, lower formats are read into the last bytes of the
// caller's row and widened from the front without a temporary row.
void readPromotedGrays(FILE* file, rgbpixel* row, size_t cols,
                       sampleval maxval, int format) {
    sampleval* grays = reinterpret_cast<sampleval*>(row) + 2 * cols;
    pgm_readpgmrow(file, grays, static_cast<int>(cols), maxval, format);
    for (size_t col = 0; col < cols; ++col) {
        sampleval v = grays[col];
        row[col] = {0, 0, v};
    }
}

void readPromotedBits(FILE* file, rgbpixel* row, size_t cols,
                      sampleval maxval, int format) {
    pbmbit* bits = reinterpret_cast<pbmbit*>(row) +
                   cols * (sizeof(rgbpixel) - sizeof(pbmbit));
    pbm_readpbmrow(file, bits, static_cast<int>(cols), format);
    for (size_t col = 0; col < cols; ++col) {
        sampleval v = bits[col] ? 0 : maxval;
        row[col] = {0, 0, v};
    }
}

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
    case PGM_PLAIN_CODE:
        readPromotedGrays(file, row, count(cols), maxval, format);
        break;
    case PBM_PLAIN_CODE:
        readPromotedBits(file, row, count(cols), maxval, format);
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
