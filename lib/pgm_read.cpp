// SPDX-License-Identifier: MIT
// Reading PGM headers and rows (PBM promoted), and the PGM raster check.
#include "pgm.h"
#include "pm_internal.h"

namespace {

size_t count(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

[[noreturn]] void shortRawRead(sampleval maxval) {
    if (maxval <= 255)
        pm_error("EOF / read error reading a one-byte sample");
    pm_error("EOF /read error while reading a long sample");
}

// Reads a PBM row into the caller's row and turns it into samples. The
// bits go into the row's last bytes; sample i is written only after bit i
// has been read and never reaches a bit not yet read, so no temporary row
// is needed.
void readPromotedBits(FILE* file, sampleval* grayrow, size_t cols,
                      sampleval maxval, int format) {
    pbmbit* bits = reinterpret_cast<pbmbit*>(grayrow) +
                   cols * (sizeof(sampleval) - sizeof(pbmbit));
    pbm_readpbmrow(file, bits, static_cast<int>(cols), format);
    for (size_t col = 0; col < cols; ++col) {
        pbmbit bit = bits[col];
        grayrow[col] = bit ? 0 : maxval;
    }
}

}  // namespace

// The raw bytes go into the last bytes of `samples`; sample i overwrites
// only bytes that hold samples up to i, which have been read by then.
void pgm_readrawsamples(FILE* file, sampleval* samples, size_t count,
                        sampleval maxval) {
    size_t width = maxval <= 255 ? 1 : 2;
    size_t nbytes = count * width;
    unsigned char* raw =
        reinterpret_cast<unsigned char*>(samples) + count * sizeof *samples -
        nbytes;
    if (std::fread(raw, 1, nbytes, file) != nbytes)
        shortRawRead(maxval);
    if (width == 1) {
        for (size_t i = 0; i < count; ++i) {
            sampleval v = raw[i];
            samples[i] = v;
        }
    } else {
        for (size_t i = 0; i < count; ++i) {
            sampleval v = raw[2 * i] << 8 | raw[2 * i + 1];
            samples[i] = v;
        }
    }
}

void pgm_readpgminitrest(FILE* file, int* colsP, int* rowsP,
                         sampleval* maxvalP) {
    pbm_readpbminitrest(file, colsP, rowsP);
    unsigned int maxval = pm_getuint(file);
    if (maxval > PGM_OVERALLMAXVAL)
        pm_error("maxval is too large.  The largest we can handle is %u.",
                 PGM_OVERALLMAXVAL);
    *maxvalP = maxval;
}

void pgm_readpgminit(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                     int* formatP) {
    *formatP = pm_readmagicnumber(file);
    switch (*formatP) {
    case PGM_PLAIN_CODE: case PGM_RAW_CODE:
        pgm_readpgminitrest(file, colsP, rowsP, maxvalP);
        break;
    case PBM_PLAIN_CODE: case PBM_RAW_CODE:
        pbm_readpbminitrest(file, colsP, rowsP);
        *maxvalP = 255;
        break;
    default:
        pm_error("bad magic number - not a pgm or pbm file");
    }
}

sampleval pgm_getrawsample(FILE* file, sampleval maxval) {
    if (maxval <= 255)
        return pm_getrawbyte(file);
    unsigned char pair[2];
    if (std::fread(pair, 2, 1, file) == 0)
        pm_error("EOF /read error while reading a long sample");
    return pair[0] << 8 | pair[1];
}

void pgm_readpgmrow(FILE* file, sampleval* grayrow, int cols, sampleval maxval,
                    int format) {
    switch (format) {
    case PGM_PLAIN_CODE:
        for (size_t col = 0; col < count(cols); ++col)
            grayrow[col] = pm_getuint(file);
        break;
    case PGM_RAW_CODE:
        pgm_readrawsamples(file, grayrow, count(cols), maxval);
        break;
    case PBM_PLAIN_CODE: case PBM_RAW_CODE:
        readPromotedBits(file, grayrow, count(cols), maxval, format);
        break;
    default:
        pm_error("can't happen");
    }
}

sampleval** pgm_readpgm(FILE* file, int* colsP, int* rowsP,
                        sampleval* maxvalP) {
    int format;
    pgm_readpgminit(file, colsP, rowsP, maxvalP, &format);
    auto** grays = static_cast<sampleval**>(
        pm_allocarray(*colsP, *rowsP, sizeof(sampleval)));
    for (int row = 0; row < *rowsP; ++row)
        pgm_readpgmrow(file, grays[row], *colsP, *maxvalP, format);
    return grays;
}

void pgm_check(FILE* file, int checkType, int format, int cols, int rows,
               sampleval maxval, int* retvalP) {
    if (rows < 0)
        pm_error("Invalid number of rows passed to pgm_check(): %d", rows);
    if (cols < 0)
        pm_error("Invalid number of columns passed to pgm_check(): %d", cols);
    int result = PM_RASTER_UNTESTABLE;
    if (checkType != PM_RASTERCHECK_SIZE) {
        result = PM_CHECKTYPE_INVALID;
    } else if (format == PBM_PLAIN_CODE || format == PBM_RAW_CODE) {
        return pbm_check(file, checkType, format, cols, rows, retvalP);
    } else if (format == PGM_RAW_CODE) {
        pm_rastersize bytes = pm_rastersize(rows) * count(cols);
        return pm_check_raster(file, maxval <= 255 ? bytes : bytes * 2,
                               retvalP);
    }
    if (retvalP != nullptr)
        *retvalP = result;
}

void pgm_nextimage(FILE* file, int* eofP) { pm_nextimage(file, eofP); }
