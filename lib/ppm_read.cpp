// SPDX-License-Identifier: MIT
// Reading PPM headers and rows (PGM and PBM promoted), and the PPM check.
#include "ppm.h"
#include "pm_internal.h"

// A row of pixels is read as a row of three times as many samples.
static_assert(sizeof(rgbpixel) == 3 * sizeof(sampleval));

namespace {

size_t count(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

}  // namespace

namespace {

template <bool Spread, typename Value, typename ToSample>
void widenAs(rgbpixel* row, const Value* values, size_t cols, ToSample toSample) {
    for (size_t col = 0; col < cols; ++col) {
        const sampleval v = toSample(values[col]);
        row[col] = {Spread ? v : 0, Spread ? v : 0, v};
    }
}

// The choice is made once a row, not once a pixel.
template <typename Value, typename ToSample>
void widen(rgbpixel* row, const Value* values, size_t cols, bool spread,
           ToSample toSample) {
    if (spread)
        widenAs<true>(row, values, cols, toSample);
    else
        widenAs<false>(row, values, cols, toSample);
}

}  // namespace

// The row is read into the last bytes of the caller's row and widened from
// the front: pixel i is written only after value i has been read and never
// reaches a value not yet read, so no temporary row is needed.
void pm_readpromotedrow(FILE* file, rgbpixel* row, size_t cols,
                        sampleval maxval, int format, bool spread) {
    if (PNM_FORMAT_TYPE(format) == PGM_PLAIN_CODE) {
        sampleval* grays = reinterpret_cast<sampleval*>(row) + 2 * cols;
        pgm_readpgmrow(file, grays, static_cast<int>(cols), maxval, format);
        widen(row, grays, cols, spread, [](sampleval g) { return g; });
    } else {
        pbmbit* bits = reinterpret_cast<pbmbit*>(row) +
                       cols * (sizeof(rgbpixel) - sizeof(pbmbit));
        pbm_readpbmrow(file, bits, static_cast<int>(cols), format);
        widen(row, bits, cols, spread,
              [maxval](pbmbit b) { return b ? sampleval(0) : maxval; });
    }
}

void ppm_readppminitrest(FILE* file, int* colsP, int* rowsP,
                         sampleval* maxvalP) {
    pbm_readpbminitrest(file, colsP, rowsP);
    unsigned int maxval = pm_getuint(file);
    if (maxval > PGM_OVERALLMAXVAL)
        pm_error("maxval (%d) is too large.\n"
                 "The maximum allowed by the PPM is %d.",
                 static_cast<int>(maxval), static_cast<int>(PGM_OVERALLMAXVAL));
    *maxvalP = maxval;
}

void ppm_readppminit(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                     int* formatP) {
    *formatP = pm_readmagicnumber(file);
    switch (PNM_FORMAT_TYPE(*formatP)) {
    case PPM_PLAIN_CODE:
        ppm_readppminitrest(file, colsP, rowsP, maxvalP);
        break;
    case PGM_PLAIN_CODE:
        pgm_readpgminitrest(file, colsP, rowsP, maxvalP);
        break;
    case PBM_PLAIN_CODE:
        pbm_readpbminitrest(file, colsP, rowsP);
        *maxvalP = 1;
        break;
    default:
        pm_error("bad magic number - not a ppm, pgm, or pbm file");
    }
}

void ppm_readppmrow(FILE* file, rgbpixel* pixelrow, int cols, sampleval maxval,
                    int format) {
    switch (format) {
    case PPM_PLAIN_CODE:
        for (size_t col = 0; col < count(cols); ++col) {
            pixelrow[col].r = pm_getuint(file);
            pixelrow[col].g = pm_getuint(file);
            pixelrow[col].b = pm_getuint(file);
        }
        break;
    case PPM_RAW_CODE:
        pgm_readrawsamples(file, reinterpret_cast<sampleval*>(pixelrow),
                           3 * count(cols), maxval);
        break;
    case PGM_PLAIN_CODE: case PGM_RAW_CODE: case PBM_PLAIN_CODE: case PBM_RAW_CODE:
        pm_readpromotedrow(file, pixelrow, count(cols), maxval, format, true);
        break;
    default:
        pm_error("can't happen");
    }
}

rgbpixel** ppm_readppm(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP) {
    int format;
    ppm_readppminit(file, colsP, rowsP, maxvalP, &format);
    auto** pixels = static_cast<rgbpixel**>(
        pm_allocarray(*colsP, *rowsP, sizeof(rgbpixel)));
    for (int row = 0; row < *rowsP; ++row)
        ppm_readppmrow(file, pixels[row], *colsP, *maxvalP, format);
    return pixels;
}

void ppm_check(FILE* file, int checkType, int format, int cols, int rows,
               sampleval maxval, int* retvalP) {
    if (rows < 0)
        pm_error("Invalid number of rows passed to ppm_check(): %d", rows);
    if (cols < 0)
        pm_error("Invalid number of columns passed to ppm_check(): %d", cols);
    int result = PM_RASTER_UNTESTABLE;
    if (checkType != PM_RASTERCHECK_SIZE) {
        result = PM_CHECKTYPE_INVALID;
    } else if (PNM_FORMAT_TYPE(format) == PBM_PLAIN_CODE) {
        return pbm_check(file, checkType, format, cols, rows, retvalP);
    } else if (PNM_FORMAT_TYPE(format) == PGM_PLAIN_CODE) {
        return pgm_check(file, checkType, format, cols, rows, maxval, retvalP);
    } else if (format == PPM_RAW_CODE) {
        pm_rastersize bytes = pm_rastersize(rows) * count(cols) * 3;
        return pm_check_raster(file, maxval <= 255 ? bytes : bytes * 2,
                               retvalP);
    }
    if (retvalP != nullptr)
        *retvalP = result;
}

void ppm_nextimage(FILE* file, int* eofP) { pm_nextimage(file, eofP); }
