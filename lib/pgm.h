// SPDX-License-Identifier: MIT
// PGM, the grayscale format: format codes, the sampleval row element,
// start-up, writers, readers and the raster check.
#pragma once

#include "pbm.h"

#ifdef __cplusplus
extern "C" {
#endif

/// One sample, 0 to the image's maxval.
typedef uint32_t sampleval;

#define PGM_PLAIN_CODE ('P' * 256 + '2')
#define PGM_RAW_CODE ('P' * 256 + '5')
/// The largest maxval of the PGM and PPM formats.
#define PGM_OVERALLMAXVAL ((sampleval)65535)

void pgm_init(int* argcP, char** argv);

// ---- Writing ----------------------------------------------------------------

void pgm_writepgminit(FILE* file, int cols, int rows, sampleval maxval,
                      int forceplain);
void pgm_writepgmrow(FILE* file, const sampleval* grayrow, int cols,
                     sampleval maxval, int forceplain);
/// Writes one raw sample: one byte up to maxval 255, else two, high first.
void pgm_writerawsample(FILE* file, sampleval val, sampleval maxval);
void pgm_writepgm(FILE* file, const sampleval* const* grays, int cols,
                  int rows, sampleval maxval, int forceplain);

// ---- Reading ----------------------------------------------------------------

void pgm_readpgminitrest(FILE* file, int* colsP, int* rowsP,
                         sampleval* maxvalP);
void pgm_readpgminit(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                     int* formatP);
sampleval pgm_getrawsample(FILE* file, sampleval maxval);
void pgm_readpgmrow(FILE* file, sampleval* grayrow, int cols, sampleval maxval,
                    int format);
sampleval** pgm_readpgm(FILE* file, int* colsP, int* rowsP,
                        sampleval* maxvalP);
void pgm_check(FILE* file, int checkType, int format, int cols, int rows,
               sampleval maxval, int* retvalP);
void pgm_nextimage(FILE* file, int* eofP);

#ifdef __cplusplus
}
#endif
