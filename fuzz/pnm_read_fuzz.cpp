// SPDX-License-Identifier: MIT
// Fuzzes the portable map readers: the first byte picks the family's reader,
// whether the raster check runs, packed or element rows for PBM, and row or
// whole-image reading; the rest is the file. Up to three images are read.
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "pnm.h"

namespace {

// The one block of the array being read, released after a fatal error.
void* arrayBlock = nullptr;
void* RecordBlock(size_t bytes) { return arrayBlock = std::malloc(bytes); }

std::vector<rgbpixel> row;

// Larger images are only checked, not read, to keep runs fast; an empty
// dimension counts as one (millions of empty rows take as long as pixels).
bool Small(int cols, int rows, long limit) {
    return long(cols > 0 ? cols : 1) * (rows > 0 ? rows : 1) <= limit;
}

void ReadRows(FILE* f, int family, bool check, bool packed) {
    int cols, rows, format;
    sampleval maxval = 0;
    switch (family) {
    case 0: pbm_readpbminit(f, &cols, &rows, &format); break;
    case 1: pgm_readpgminit(f, &cols, &rows, &maxval, &format); break;
    case 2: ppm_readppminit(f, &cols, &rows, &maxval, &format); break;
    default: pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    }
    if (check && family == 0)
        pbm_check(f, PM_RASTERCHECK_SIZE, format, cols, rows, nullptr);
    else if (check)
        (family == 1 ? pgm_check : family == 2 ? ppm_check : pnm_check)(
            f, PM_RASTERCHECK_SIZE, format, cols, rows, maxval, nullptr);
    if (!Small(cols, rows, 1 << 20))
        return;
    row.resize(size_t(cols) + 1);
    auto* bytes = reinterpret_cast<unsigned char*>(row.data());
    sampleval* grays = &row.data()->r;
    for (int r = 0; r < rows; ++r) {
        if (family == 0)
            (packed ? pbm_readpbmrow_packed : pbm_readpbmrow)(f, bytes, cols, format);
        else if (family == 1)
            pgm_readpgmrow(f, grays, cols, maxval, format);
        else
            (family == 2 ? ppm_readppmrow : pnm_readpnmrow)(f, row.data(), cols, maxval, format);
    }
}

// A whole image is allocated before it is read: look at the header first.
void ReadWhole(FILE* f, int family) {
    int cols, rows, format;
    sampleval maxval;
    const long start = std::ftell(f);
    pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    if (!Small(cols, rows, 1 << 14))
        return;
    std::fseek(f, start, SEEK_SET);
    switch (family) {
    case 0: pm_freearray(pbm_readpbm(f, &cols, &rows), rows); break;
    case 1: pm_freearray(pgm_readpgm(f, &cols, &rows, &maxval), rows); break;
    case 2: pm_freearray(ppm_readppm(f, &cols, &rows, &maxval), rows); break;
    default: pm_freearray(pnm_readpnm(f, &cols, &rows, &maxval, &format), rows);
    }
    arrayBlock = nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    tarvex_fuzz::QuietStart();
    const int firstFd = tarvex_fuzz::FirstFreeFd();
    FILE* f = tarvex_fuzz::InputStream(data + 1, size - 1);
    if (f == nullptr)
        return 0;
    pm_arrayblock_alloc = RecordBlock;
    arrayBlock = nullptr;
    static volatile bool read;
    read = false;
    tarvex_fuzz::RunCatchingFatal([&] {
        for (int image = 0, eof = 0; image < 3 && !eof; ++image) {
            if (data[0] & 16)
                ReadWhole(f, data[0] & 3);
            else
                ReadRows(f, data[0] & 3, data[0] & 4, data[0] & 8);
            pnm_nextimage(f, &eof);
        }
        read = true;
    });
    if (!read)
        std::free(arrayBlock);
    std::fclose(f);
    tarvex_fuzz::CloseStrayFds(firstFd);
    return 0;
}
