// SPDX-License-Identifier: MIT
// Writing any portable map from rows of rgbpixel: PPM rows pass through, PGM
// and PBM rows are written straight from the `b` fields, without a copy.
#include "pnm.h"
#include "pm_internal.h"

namespace {

// Distance in samples from one pixel's `b` to the next one's.
constexpr size_t kPixelStride = sizeof(rgbpixel) / sizeof(sampleval);

[[noreturn]] void badFormat(const char* function, int format) {
    pm_error("invalid format argument received by %s(): "
             "%dPNM_FORMAT_TYPE(format) must be %d, %d, or %d",
             function, format, PBM_PLAIN_CODE, PGM_PLAIN_CODE, PPM_PLAIN_CODE);
}

}  // namespace

void pnm_writepnminit(FILE* file, int cols, int rows, sampleval maxval,
                      int format, int forceplain) {
    const int plain = pm_plain_chosen(forceplain);
    switch (PNM_FORMAT_TYPE(format)) {
    case PPM_PLAIN_CODE:
        ppm_writeppminit(file, cols, rows, maxval, plain);
        break;
    case PGM_PLAIN_CODE:
        pgm_writepgminit(file, cols, rows, maxval, plain);
        break;
    case PBM_PLAIN_CODE:
        pbm_writepbminit(file, cols, rows, plain);
        break;
    default:
        badFormat("pnm_writepnminit", format);
    }
}

void pnm_writepnmrow(FILE* file, const rgbpixel* row, int cols,
                     sampleval maxval, int format, int forceplain) {
    const int plain = pm_plain_chosen(forceplain);
    // An empty row may come as a null pointer.
    const sampleval* grays = row != nullptr ? &row->b : nullptr;
    switch (PNM_FORMAT_TYPE(format)) {
    case PPM_PLAIN_CODE:
        ppm_writeppmrow(file, row, cols, maxval, plain);
        break;
    case PGM_PLAIN_CODE:
        pgm_writepgmrow_strided(file, grays, kPixelStride, cols, maxval, plain);
        break;
    case PBM_PLAIN_CODE:
        pbm_writepbmrow_zeroblack(file, grays, kPixelStride, cols, plain);
        break;
    default:
        badFormat("pnm_writepnmrow", format);
    }
}

void pnm_writepnm(FILE* file, const rgbpixel* const* pixels, int cols, int rows,
                  sampleval maxval, int format, int forceplain) {
    pnm_writepnminit(file, cols, rows, maxval, format, forceplain);
    for (int r = 0; r < rows; ++r)
        pnm_writepnmrow(file, pixels[r], cols, maxval, format, forceplain);
}
