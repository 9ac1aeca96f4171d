// SPDX-License-Identifier: MIT
// Writing PGM images, raw and plain. Rows are gathered into blocks and
// written with one fwrite each; samples are formatted without printf.
#include <algorithm>

#include "pgm.h"
#include "pm_internal.h"

namespace {

// A plain line ends once its counted width reaches this; every sample counts
// 3 and every blank 1, so a line holds 17 samples.
constexpr int kPlainLineLimit = 65;

// Plain samples are written in full, so that a plain image whose maxval is
// above 65535 keeps its values.
void writePlain(FILE* file, const uint32_t* first, size_t stride, int cols) {
    pm_outbuf out(file);
    int count = 0;
    for (int c = 0; c < cols; ++c) {
        if (count >= kPlainLineLimit) {
            pm_outbuf_putc(out, '\n');
            count = 0;
        } else if (count > 0) {
            pm_outbuf_putc(out, ' ');
            ++count;
        }
        pm_outbuf_putuint(out, first[static_cast<size_t>(c) * stride]);
        count += 3;
    }
    if (count > 0)
        pm_outbuf_putc(out, '\n');
    pm_outbuf_flush(out);
}

// Raw samples, as many to a pass as the buffer has room for, so that the
// inner loop has no room test: the low byte, after the high one if wide.
template <bool kWide>
void putRawSamples(pm_outbuf& out, const uint32_t* first, size_t stride,
                   size_t count) {
    constexpr size_t kBytes = kWide ? 2 : 1;
    for (size_t i = 0; i < count;) {
        if (out.kSize - out.used < kBytes)
            pm_outbuf_flush(out);
        const size_t n = std::min(count - i, (out.kSize - out.used) / kBytes);
        char* p = out.bytes + out.used;
        for (const size_t end = i + n; i < end; ++i) {
            const uint32_t value = first[i * stride];
            if (kWide)
                *p++ = static_cast<char>(value >> 8);
            *p++ = static_cast<char>(value);
        }
        out.used += n * kBytes;
    }
}

}  // namespace

void pgm_writepgminit(FILE* file, int cols, int rows, sampleval maxval,
                      int forceplain) {
    const bool plain = pm_plain_chosen(forceplain);
    if (maxval > PGM_OVERALLMAXVAL && !plain)
        pm_error("too-large maxval passed to pgm_writepgminit(): %u. "
                 "Maximum allowed by the PGM format is %u.",
                 maxval, PGM_OVERALLMAXVAL);
    const char magic = plain || maxval > PGM_OVERALLMAXVAL ? '2' : '5';
    std::fprintf(file, "P%c\n%d %d\n%u\n", magic, cols, rows, maxval);
}

void pgm_writerawsample(FILE* file, sampleval val, sampleval maxval) {
    if (maxval <= 255) {
        if (std::putc(static_cast<unsigned char>(val), file) == EOF)
            pm_error("Error writing single byte sample to file");
        return;
    }
    const unsigned char bytes[2] = {static_cast<unsigned char>(val >> 8),
                                    static_cast<unsigned char>(val)};
    if (std::fwrite(bytes, 2, 1, file) != 1)
        pm_error("Error writing double byte sample to file");
}

void pgm_writerawsamples(FILE* file, const uint32_t* first, size_t stride,
                         size_t count, uint32_t maxval) {
    const bool wide = maxval > 255;
    pm_outbuf out(file);
    if (wide)
        putRawSamples<true>(out, first, stride, count);
    else
        putRawSamples<false>(out, first, stride, count);
    if (!pm_outbuf_flush(out))
        pm_error(wide ? "Error writing double byte sample to file"
                      : "Error writing single byte sample to file");
}

void pgm_writepgmrow_strided(FILE* file, const uint32_t* first, size_t stride,
                             int cols, uint32_t maxval, int forceplain) {
    if (pm_plain_chosen(forceplain) || maxval > PGM_OVERALLMAXVAL)
        writePlain(file, first, stride, cols);
    else if (cols > 0)
        pgm_writerawsamples(file, first, stride, static_cast<size_t>(cols),
                            maxval);
}

void pgm_writepgmrow(FILE* file, const sampleval* grayrow, int cols,
                     sampleval maxval, int forceplain) {
    pgm_writepgmrow_strided(file, grayrow, 1, cols, maxval, forceplain);
}

void pgm_writepgm(FILE* file, const sampleval* const* grays, int cols,
                  int rows, sampleval maxval, int forceplain) {
    pgm_writepgminit(file, cols, rows, maxval, forceplain);
    for (int r = 0; r < rows; ++r)
        pgm_writepgmrow(file, grays[r], cols, maxval, forceplain);
}
