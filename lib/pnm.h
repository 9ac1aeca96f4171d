// SPDX-License-Identifier: MIT
// PNM, the umbrella over PBM, PGM and PPM: start-up, writers that convert a
// row of rgbpixel to the family of the format code, readers that promote.
// Including this header gives a program the whole library.
#pragma once

#include "ppm.h"

#ifdef __cplusplus
extern "C" {
#endif

void pnm_init(int* argcP, char** argv);

// ---- Writing ----------------------------------------------------------------

/// Writes the header of the family of `format` (raw or plain as chosen).
void pnm_writepnminit(FILE* file, int cols, int rows, sampleval maxval,
                      int format, int forceplain);
/// Writes a row in the family of `format`; PGM and PBM take the `b` field,
/// and a PBM pixel is black exactly when `b` is 0.
void pnm_writepnmrow(FILE* file, const rgbpixel* row, int cols,
                     sampleval maxval, int format, int forceplain);
void pnm_writepnm(FILE* file, const rgbpixel* const* pixels, int cols, int rows,
                  sampleval maxval, int format, int forceplain);

// ---- Reading ----------------------------------------------------------------

void pnm_readpnminit(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                     int* formatP);
/// Reads a row; a PGM or PBM value goes into `b`, with `r` = `g` = 0.
void pnm_readpnmrow(FILE* file, rgbpixel* row, int cols, sampleval maxval,
                    int format);
rgbpixel** pnm_readpnm(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                       int* formatP);
void pnm_check(FILE* file, int checkType, int format, int cols, int rows,
               sampleval maxval, int* retvalP);
void pnm_nextimage(FILE* file, int* eofP);

#ifdef __cplusplus
}
#endif
