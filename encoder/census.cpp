// SPDX-License-Identifier: MIT
// The first pass: the headers of the image and the mask, how their samples
// are stored, and one read of every row, which checks the whole input and
// counts its colours before any output.
#include <sys/stat.h>

#include <algorithm>

#include "belvane.h"

namespace belvane {

namespace {

const char* familyName(int format) {
    switch (PNM_FORMAT_TYPE(format)) {
    case PBM_PLAIN_CODE: return "PBM";
    case PGM_PLAIN_CODE: return "PGM";
    default: return "PPM";
    }
}

// The 8-bit form of every sample value, for census keys and palettes.
void fillKeyTable(const Source& s, uint8_t* table) {
    for (sampleval v = 0; v <= s.maxval && v < 256; ++v)
        table[v] = uint8_t(replicate(significant(s, v), s.bits, 8));
}

// Readers leave a sample above the maxval as it stands; every later table
// lookup relies on it being within.
void checkRow(const Source& s, const rgbpixel* row, int y, const char* what) {
    sampleval top = 0;
    for (int x = 0; x < s.cols; ++x)
        top = std::max({top, row[x].r, row[x].g, row[x].b});
    if (top > s.maxval)
        pm_error("row %d of the %s holds the sample %u, above its maxval %u", y, what,
                 top, s.maxval);
}

// Up to `want` bytes after the header, read ahead and gone back over: a
// pipe shows its length only as it is read, and the census reads a plain
// raster whole anyway.
uint64_t readAhead(FILE* file, uint64_t want) {
    const off_t pos = ftello(file);
    char buf[4096];
    uint64_t got = 0;
    size_t n = 1;
    while (got < want && n > 0)
        got += n = std::fread(buf, 1, size_t(std::min<uint64_t>(sizeof buf, want - got)), file);
    if (pos < 0 || fseeko(file, pos, SEEK_SET) != 0)
        pm_error("cannot go back over the piped input");
    return got;
}

// A plain raster takes at least a character per bit and two per sample (a
// digit and a separator, but for the last): an input too short for the size
// its header declares fails here, before rows of that size are allocated.
void checkPlainSize(const Source& s, const char* what) {
    const int family = PNM_FORMAT_TYPE(s.format);
    if (s.format == PBM_RAW_CODE || s.format == PGM_RAW_CODE || s.format == PPM_RAW_CODE ||
        s.cols <= 0 || s.rows <= 0)
        return;
    const uint64_t perPixel = family == PBM_PLAIN_CODE ? 1 : family == PGM_PLAIN_CODE ? 2 : 6;
    const uint64_t least = uint64_t(s.cols) * uint64_t(s.rows) * perPixel - (perPixel > 1);
    uint64_t left = 0;
    struct stat st;
    const off_t pos = ftello(s.file);
    if (s.spool != nullptr)
        left = readAhead(s.file, least);
    else if (pos < 0 || fstat(fileno(s.file), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    else
        left = st.st_size > pos ? uint64_t(st.st_size - pos) : 0;
    if (left < least)
        pm_error("the %s is declared %d x %d, which takes at least %llu bytes of "
                 "plain raster, but only %llu follow its header", what, s.cols, s.rows,
                 (unsigned long long)least, (unsigned long long)left);
}

}  // namespace

void clear_memo(KeyMemo& memo) {
    std::fill(memo.value, memo.value + KeyMemo::kSize, -1);
}

unsigned replicate(unsigned v, int from, int to) {
    unsigned r = 0;
    int have = 0;
    while (have < to) {
        r = (r << from) | v;
        have += from;
    }
    return r >> (have - to);
}

Source open_source(const Input& in, const char* what, bool verbose) {
    Source s;
    s.file = in.file;
    s.spool = in.spool;
    pnm_readpnminit(s.file, &s.cols, &s.rows, &s.maxval, &s.format);
    if (s.maxval == 0)
        pm_error("the %s has maxval 0", what);
    // A raw raster in a file shorter than its header says fails here, before
    // any row; a pipe's length shows only as it is read.
    if (s.spool == nullptr)
        pnm_check(s.file, PM_RASTERCHECK_SIZE, s.format, s.cols, s.rows, s.maxval,
                  nullptr);
    checkPlainSize(s, what);
    pm_tell2(s.file, &s.raster, sizeof s.raster);
    s.bits = pm_maxvaltobits(int(s.maxval));
    if (s.maxval != pm_bitstomaxval(s.bits)) {
        s.rescaled = true;
        s.bits = s.maxval < 255 ? 8 : 16;
        pm_message("the %s's maxval %u cannot be kept in PNG; its samples are "
                   "rescaled to maxval %u", what, s.maxval,
                   pm_bitstomaxval(s.bits));
    }
    if (verbose)
        pm_message("reading a %dw x %dh %s %s, maxval %u", s.cols, s.rows,
                   familyName(s.format), what, s.maxval);
    return s;
}

namespace {

// A bilevel image alone has nothing to count: its rows are only read.
void readBits(const Source& image) {
    auto* bits = static_cast<unsigned char*>(pm_allocrow(pbm_packed_bytes(image.cols), 1));
    for (int y = 0; y < image.rows; ++y)
        pbm_readpbmrow_packed(image.file, bits, image.cols, image.format);
    pm_freerow(bits);
}

// Adds the keys of a row to the census; past 256 colours it stops counting.
// A gray image's value is in `b` alone.
void countRow(Census& c, KeyMemo& memo, const KeyTables& t, bool gray, const rgbpixel* row,
              const rgbpixel* alpha, int cols) {
    for (int x = 0; x < cols && c.colors != nullptr; ++x) {
        const rgbpixel& p = row[x];
        const rgbpixel k = census_key(t.image[gray ? p.b : p.r], t.image[gray ? p.b : p.g],
                                      t.image[p.b], alpha != nullptr ? t.mask[alpha[x].b] : 255);
        if (lookup_key(memo, c.colors, k) >= 0)
            continue;
        if (c.ncolors == 256) {
            ppm_freecolorhash(c.colors);
            c.colors = nullptr;
            c.ncolors = 257;
        } else if (ppm_addtocolorhash(c.colors, &k, c.ncolors++) < 0) {
            pm_error("out of memory counting the colors");
        }
    }
}

// A raw raster of full-scale samples holds no value to refuse, once its
// length has been checked.
bool needsCheck(const Source& s) {
    return !((s.format == PGM_RAW_CODE || s.format == PPM_RAW_CODE) &&
             (s.maxval == 255 || s.maxval == 65535));
}

bool opaque(const rgbpixel* alpha, int cols, sampleval maxval) {
    return std::all_of(alpha, alpha + cols, [maxval](const rgbpixel& a) { return a.b == maxval; });
}

}  // namespace

KeyTables key_tables(const Source& image, const Source* mask) {
    KeyTables t;
    if (image.bits <= 8)
        fillKeyTable(image, t.image);
    if (mask != nullptr && mask->bits <= 8)
        fillKeyTable(*mask, t.mask);
    return t;
}

Census take_census(const Source& image, const Source* mask, const KeyTables& keys,
                   bool verbose) {
    Census c;
    if (PNM_FORMAT_TYPE(image.format) == PBM_PLAIN_CODE && mask == nullptr) {
        if (image.format != PBM_RAW_CODE)
            readBits(image);
        c.whole = image.format != PBM_RAW_CODE;
        return c;
    }
    // Past 256 colours, only samples to check or a bilevel mask's opacity
    // keep the pass going.
    const bool wholePass = needsCheck(image) ||
                           (mask != nullptr && (needsCheck(*mask) || mask->bits == 1));
    const bool gray = PNM_FORMAT_TYPE(image.format) != PPM_PLAIN_CODE;
    KeyMemo memo;
    clear_memo(memo);
    if (image.bits <= 8 && (mask == nullptr || mask->bits <= 8))
        c.colors = ppm_alloccolorhash();
    auto* row = static_cast<rgbpixel*>(pm_allocrow(image.cols, sizeof(rgbpixel)));
    auto* alpha = static_cast<rgbpixel*>(pm_allocrow(image.cols, sizeof(rgbpixel)));
    int y = 0;
    for (; y < image.rows && (c.colors != nullptr || wholePass); ++y) {
        pnm_readpnmrow(image.file, row, image.cols, image.maxval, image.format);
        checkRow(image, row, y, "image");
        if (mask != nullptr) {
            pnm_readpnmrow(mask->file, alpha, mask->cols, mask->maxval, mask->format);
            checkRow(*mask, alpha, y, "mask");
            c.opaque = c.opaque && opaque(alpha, mask->cols, mask->maxval);
        }
        countRow(c, memo, keys, gray, row, mask != nullptr ? alpha : nullptr, image.cols);
    }
    c.whole = y == image.rows;
    pm_freerow(row);
    pm_freerow(alpha);
    if (verbose && c.colors != nullptr)
        pm_message("%d colors", c.ncolors);
    else if (verbose && c.ncolors > 256)
        pm_message("more than 256 colors");
    return c;
}

}  // namespace belvane
