// SPDX-License-Identifier: MIT
// Writing PPM images, raw and plain. Rows are gathered into blocks and
// written with one fwrite each; samples are formatted without printf.
#include "ppm.h"
#include "pm_internal.h"

// The raw writer takes a row of pixels as a run of r, g, b samples.
static_assert(sizeof(rgbpixel) == 3 * sizeof(sampleval));

namespace {

// A plain line ends once its counted width reaches this; every pixel counts
// 11 and the two blanks between pixels 2, so a line holds 6 pixels.
constexpr int kPlainLineLimit = 65;

// Plain samples are written in full, so that a plain image whose maxval is
// above 65535 keeps its values.
void writePlain(FILE* file, const rgbpixel* row, int cols) {
    pm_outbuf out(file);
    int count = 0;
    for (int c = 0; c < cols; ++c) {
        if (count >= kPlainLineLimit) {
            pm_outbuf_putc(out, '\n');
            count = 0;
        } else if (count > 0) {
            pm_outbuf_putc(out, ' ');
            pm_outbuf_putc(out, ' ');
            count += 2;
        }
        pm_outbuf_putuint(out, row[c].r);
        pm_outbuf_putc(out, ' ');
        pm_outbuf_putuint(out, row[c].g);
        pm_outbuf_putc(out, ' ');
        pm_outbuf_putuint(out, row[c].b);
        count += 11;
    }
    if (count > 0)
        pm_outbuf_putc(out, '\n');
    pm_outbuf_flush(out);
}

}  // namespace

void ppm_writeppminit(FILE* file, int cols, int rows, sampleval maxval,
                      int forceplain) {
    const bool plain = pm_plain_chosen(forceplain);
    if (maxval > PGM_OVERALLMAXVAL && !plain)
        pm_error("too-large maxval passed to ppm_writeppminit(): "
                 "%u.Maximum allowed by the PPM format is %u.",
                 maxval, PGM_OVERALLMAXVAL);
    const char magic = plain || maxval > PGM_OVERALLMAXVAL ? '3' : '6';
    std::fprintf(file, "P%c\n%d %d\n%u\n", magic, cols, rows, maxval);
}

void ppm_writeppmrow(FILE* file, const rgbpixel* pixelrow, int cols,
                     sampleval maxval, int forceplain) {
    if (pm_plain_chosen(forceplain) || maxval > PGM_OVERALLMAXVAL)
        writePlain(file, pixelrow, cols);
    else if (cols > 0)
        pgm_writerawsamples(file, &pixelrow[0].r, 1,
                            3 * static_cast<size_t>(cols), maxval);
}

void ppm_writeppm(FILE* file, const rgbpixel* const* pixels, int cols, int rows,
                  sampleval maxval, int forceplain) {
    ppm_writeppminit(file, cols, rows, maxval, forceplain);
    for (int r = 0; r < rows; ++r)
        ppm_writeppmrow(file, pixels[r], cols, maxval, forceplain);
}
