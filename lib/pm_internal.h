// SPDX-License-Identifier: MIT
// Library-private state, hooks and output helpers shared between the
// library's source files.
// Not installed: programs of the family use pm.h.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "pm.h"

/// The name that prefixes messages; a fixed name before start-up.
const char* pm_progname_or_default();

/// Ends the process with `status` through the normal exit path (buffered
/// streams are flushed). Every fatal path of the library comes here.
[[noreturn]] void pm_exit(int status);

#ifdef TARVEX_FUZZING
#include <csetjmp>
/// Fuzz builds only: when set, pm_exit jumps here with status + 1 instead of
/// ending the process, so that a fuzzer can go on with the next input.
extern std::jmp_buf* pm_fuzz_exit_jump;
#endif

/// Allocates factor1 x factor2 bytes into *resultP, or stores null when the
/// product exceeds 32 bits or memory is short.
template <typename T>
static inline void mallocProduct(T** resultP, unsigned int factor1,
                                 unsigned int factor2) {
    if (factor2 != 0 && UINT32_MAX / factor2 < factor1)
        *resultP = nullptr;
    else
        *resultP = static_cast<T*>(
            std::malloc(static_cast<size_t>(factor1) * factor2));
}

/// 1 when a writer writes the plain form: asked by the caller or by "-plain".
inline int pm_plain_chosen(int forceplain) {
    return forceplain != 0 || pm_plain_output != 0 ? 1 : 0;
}

/// Allocator of the one-block layout of pm_allocarray. Tests replace it to
/// force the row-by-row fallback; everything else leaves it as malloc.
extern void* (*pm_arrayblock_alloc)(size_t bytes);

/// Output bytes gathered into blocks so that a row costs one fwrite (or a
/// few, for rows longer than the block); `ok` turns false when a block was
/// not written whole.
struct pm_outbuf {
    static constexpr size_t kSize = 32768;
    FILE* file;
    size_t used = 0;
    bool ok = true;
    char bytes[kSize];

    explicit pm_outbuf(FILE* f) : file(f) {}
    pm_outbuf(const pm_outbuf&) = delete;
    pm_outbuf& operator=(const pm_outbuf&) = delete;
};

/// Writes what the buffer holds; returns `ok`.
inline bool pm_outbuf_flush(pm_outbuf& out) {
    if (out.used != 0 &&
        std::fwrite(out.bytes, 1, out.used, out.file) != out.used)
        out.ok = false;
    out.used = 0;
    return out.ok;
}

/// A place for at least `n` (at most pm_outbuf::kSize) more bytes; the
/// caller advances `used` by what it stores there.
inline char* pm_outbuf_room(pm_outbuf& out, size_t n) {
    if (out.kSize - out.used < n)
        pm_outbuf_flush(out);
    return out.bytes + out.used;
}

inline void pm_outbuf_putc(pm_outbuf& out, char c) {
    *pm_outbuf_room(out, 1) = c;
    ++out.used;
}

/// Decimal digits of `value`, without sign or leading zeros.
inline void pm_outbuf_putuint(pm_outbuf& out, uint32_t value) {
    char* p = pm_outbuf_room(out, 10);
    out.used = static_cast<size_t>(std::to_chars(p, p + 10, value).ptr -
                                   out.bytes);
}

/// Writes the raw samples first[0], first[stride], ... (count of them) in
/// one block per row; fatal with the raw-sample message when the stream
/// refuses them. The PGM raw row, the PPM raw row (stride 1, three samples
/// a pixel) and the PNM writer's grey rows all come here.
void pgm_writerawsamples(FILE* file, const uint32_t* first, size_t stride,
                         size_t count, uint32_t maxval);
/// Writes a PGM row from first[0], first[stride], ...; raw or plain by
/// `plain` and maxval as pgm_writepgmrow chooses.
void pgm_writepgmrow_strided(FILE* file, const uint32_t* first, size_t stride,
                             int cols, uint32_t maxval, int forceplain);
/// Writes a PBM row whose pixel c is black exactly when first[c * stride]
/// is 0: the PNM writer's bilevel rows, without a temporary row.
void pbm_writepbmrow_zeroblack(FILE* file, const uint32_t* first,
                               size_t stride, int cols, int forceplain);

/// The colour-name dictionaries tried in order when no file is named and
/// RGBDEF is unset. Tests point these at their own files.
extern const char* pm_colorname_paths[4];

#include <cstdint>
#include <cstdio>

/// A raster size in bytes, wide enough for any product of two 32-bit
/// dimensions and a bytes-per-pixel count.
using pm_rastersize = unsigned __int128;

/// pm_check for raster sizes beyond 64 bits; the format checks use it.
void pm_check_raster(FILE* file, pm_rastersize rasterSize, int* retvalP);

/// Reads `count` raw samples (one or two bytes each by maxval) with one
/// block read into the last bytes of `samples` and widens them in place.
/// A short read is fatal with the message of the one-sample reader.
void pgm_readrawsamples(FILE* file, uint32_t* samples, size_t count,
                        uint32_t maxval);

struct rgbpixel;

/// Reads a PGM or PBM row (plain or raw, by `format`) into `row` with no
/// temporary row. `spread` puts each value in all three samples, as the PPM
/// reader does; otherwise only the last sample holds it, as in PNM rows.
void pm_readpromotedrow(FILE* file, rgbpixel* row, size_t cols,
                        uint32_t maxval, int format, bool spread);
