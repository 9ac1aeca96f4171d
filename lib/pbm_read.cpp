// SPDX-License-Identifier: MIT
// Reading PBM headers and rows, and the PBM raster check.
#include <algorithm>

#include "pbm.h"
#include "pm_internal.h"

namespace {

pbmbit getbit(FILE* file) {
    char c;
    do {
        c = pm_getc(file);
    } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
    if (c != '0' && c != '1')
        pm_error("junk in file where bits should be");
    return c == '1';
}

void readPlainBits(FILE* file, pbmbit* bitrow, size_t cols) {
    for (size_t col = 0; col < cols; ++col)
        bitrow[col] = getbit(file);
}

// Unpacks a raw row, a block of bytes at a time; any short read is the end
// of file that a byte-at-a-time reader would have met.
void readRawBits(FILE* file, pbmbit* bitrow, size_t cols) {
    unsigned char chunk[512];
    size_t col = 0;
    while (col < cols) {
        size_t want =
            std::min<size_t>(pbm_packed_bytes(cols - col), sizeof chunk);
        if (std::fread(chunk, 1, want, file) != want)
            pm_error("EOF / read error reading a one-byte sample");
        for (size_t i = 0; i < want; ++i)
            for (int bit = 7; bit >= 0 && col < cols; --bit)
                bitrow[col++] = (chunk[i] >> bit) & 1;
    }
}

void readRawPacked(FILE* file, unsigned char* packedBits, size_t cols) {
    size_t want = pbm_packed_bytes(cols);
    size_t got = std::fread(packedBits, 1, want, file);
    if (got == want)
        return;
    if (!std::feof(file))
        pm_error("I/O error reading raw PBM row");
    if (got > 0)
        pm_error("EOF in the middle of a raw PBM row.");
    pm_error("Attempt to read a raw PBM image row, but no more rows left "
             "in file.");
}

size_t count(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

}  // namespace

void pbm_readpbminitrest(FILE* file, int* colsP, int* rowsP) {
    *colsP = static_cast<int>(pm_getuint(file));
    *rowsP = static_cast<int>(pm_getuint(file));
}

void pbm_readpbminit(FILE* file, int* colsP, int* rowsP, int* formatP) {
    *formatP = pm_readmagicnumber(file);
    if (*formatP != PBM_PLAIN_CODE && *formatP != PBM_RAW_CODE)
        pm_error("bad magic number - not a pbm file");
    pbm_readpbminitrest(file, colsP, rowsP);
}

void pbm_readpbmrow(FILE* file, pbmbit* bitrow, int cols, int format) {
    if (format == PBM_PLAIN_CODE)
        readPlainBits(file, bitrow, count(cols));
    else if (format == PBM_RAW_CODE)
        readRawBits(file, bitrow, count(cols));
    else
        pm_error("can't happen");
}

void pbm_readpbmrow_packed(FILE* file, unsigned char* packedBits, int cols,
                           int format) {
    if (format == PBM_PLAIN_CODE) {
        for (size_t col = 0; col < count(cols); ++col)
            packedBits[col / 8] |= getbit(file) << (7 - col % 8);
    } else if (format == PBM_RAW_CODE) {
        readRawPacked(file, packedBits, count(cols));
    } else {
        pm_error("Internal error in pbm_readpbmrow_packed.");
    }
}

pbmbit** pbm_readpbm(FILE* file, int* colsP, int* rowsP) {
    int format;
    pbm_readpbminit(file, colsP, rowsP, &format);
    auto** bits = static_cast<pbmbit**>(
        pm_allocarray(*colsP, *rowsP, sizeof(pbmbit)));
    for (int row = 0; row < *rowsP; ++row)
        pbm_readpbmrow(file, bits[row], *colsP, format);
    return bits;
}

void pbm_check(FILE* file, int checkType, int format, int cols, int rows,
               int* retvalP) {
    if (rows < 0)
        pm_error("Invalid number of rows passed to pbm_check(): %d", rows);
    if (cols < 0)
        pm_error("Invalid number of columns passed to pbm_check(): %d", cols);
    int result;
    if (checkType != PM_RASTERCHECK_SIZE)
        result = PM_CHECKTYPE_INVALID;
    else if (format != PBM_RAW_CODE)
        result = PM_RASTER_UNTESTABLE;
    else
        return pm_check_raster(file,
                               pm_rastersize(rows) * pbm_packed_bytes(cols),
                               retvalP);
    if (retvalP != nullptr)
        *retvalP = result;
}

void pbm_nextimage(FILE* file, int* eofP) { pm_nextimage(file, eofP); }
