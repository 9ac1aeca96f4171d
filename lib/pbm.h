// SPDX-License-Identifier: MIT
// PBM, the bilevel format: format codes, the pbmbit row element, start-up,
// writers, readers and the raster check.
#pragma once

#include "pm.h"

#ifdef __cplusplus
extern "C" {
#endif

/// One PBM pixel: 0 is white, anything else black.
typedef unsigned char pbmbit;
#define PBM_WHITE ((pbmbit)0)
#define PBM_BLACK ((pbmbit)1)

/// Format codes: the two magic characters, first x 256 + second.
#define PBM_PLAIN_CODE ('P' * 256 + '1')
#define PBM_RAW_CODE ('P' * 256 + '4')

/// Bytes of a packed (raw) PBM row of `cols` pixels.
static inline unsigned int pbm_packed_bytes(unsigned int cols) {
    return cols / 8 + (cols % 8 != 0);
}

/// Family start-up: the common start-up of pm_proginit.
void pbm_init(int* argcP, char** argv);

// ---- Writing ----------------------------------------------------------------

void pbm_writepbminit(FILE* file, int cols, int rows, int forceplain);
void pbm_writepbmrow(FILE* file, const pbmbit* row, int cols, int forceplain);
/// Writes a row given in the raw layout, padding bits as they stand.
void pbm_writepbmrow_packed(FILE* file, const unsigned char* packedBits,
                            int cols, int forceplain);
void pbm_writepbm(FILE* file, const pbmbit* const* bits, int cols, int rows,
                  int forceplain);

// ---- Reading ----------------------------------------------------------------

void pbm_readpbminitrest(FILE* file, int* colsP, int* rowsP);
void pbm_readpbminit(FILE* file, int* colsP, int* rowsP, int* formatP);
void pbm_readpbmrow(FILE* file, pbmbit* bitrow, int cols, int format);
/// Reads a row in the raw layout; plain bits are ORed into the buffer.
void pbm_readpbmrow_packed(FILE* file, unsigned char* packedBits, int cols,
                           int format);
/// Reads a whole image; free it with pm_freearray.
pbmbit** pbm_readpbm(FILE* file, int* colsP, int* rowsP);
void pbm_check(FILE* file, int checkType, int format, int cols, int rows,
               int* retvalP);
void pbm_nextimage(FILE* file, int* eofP);

#ifdef __cplusplus
}
#endif
