// Fuzzes the portable map readers: the first byte picks the family's reader,
// whether the raster check runs, and packed or element rows for PBM; the
// rest is the file. Up to three concatenated images are read.
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "pnm.h"

namespace {

// Images larger than this are only checked, not read, to keep runs fast;
// whole images, whose array a fatal error leaves behind, smaller still.
constexpr long kMaxPixels = 1 << 20;
constexpr long kMaxWholePixels = 1 << 14;

// The one block of the array being read, released after a fatal error.
void* arrayBlock = nullptr;
void* RecordBlock(size_t bytes) {
    return arrayBlock = std::malloc(bytes);
}

std::vector<unsigned char> bytes;
std::vector<sampleval> grays;
std::vector<rgbpixel> pixels;

// An empty dimension counts as one: millions of empty rows (or a row of
// millions of pixels in no rows) take as long to go through as pixels.
bool Small(int cols, int rows, long limit = kMaxPixels) {
    return static_cast<long>(cols > 0 ? cols : 1) * (rows > 0 ? rows : 1) <=
           limit;
}

void ReadPbm(FILE* f, bool check, bool packed) {
    int cols, rows, format;
    pbm_readpbminit(f, &cols, &rows, &format);
    if (check)
        pbm_check(f, PM_RASTERCHECK_SIZE, format, cols, rows, nullptr);
    if (!Small(cols, rows))
        return;
    bytes.assign(static_cast<size_t>(cols) + 8, 0);
    for (int r = 0; r < rows; ++r) {
        if (packed)
            pbm_readpbmrow_packed(f, bytes.data(), cols, format);
        else
            pbm_readpbmrow(f, bytes.data(), cols, format);
    }
}

void ReadPgm(FILE* f, bool check) {
    int cols, rows, format;
    sampleval maxval;
    pgm_readpgminit(f, &cols, &rows, &maxval, &format);
    if (check)
        pgm_check(f, PM_RASTERCHECK_SIZE, format, cols, rows, maxval, nullptr);
    if (!Small(cols, rows))
        return;
    grays.resize(static_cast<size_t>(cols) + 1);
    for (int r = 0; r < rows; ++r)
        pgm_readpgmrow(f, grays.data(), cols, maxval, format);
}

void ReadColour(FILE* f, bool check, bool pnm) {
    int cols, rows, format;
    sampleval maxval;
    (pnm ? pnm_readpnminit : ppm_readppminit)(f, &cols, &rows, &maxval, &format);
    if (check)
        (pnm ? pnm_check : ppm_check)(f, PM_RASTERCHECK_SIZE, format, cols,
                                      rows, maxval, nullptr);
    if (!Small(cols, rows))
        return;
    pixels.resize(static_cast<size_t>(cols) + 1);
    for (int r = 0; r < rows; ++r)
        (pnm ? pnm_readpnmrow : ppm_readppmrow)(f, pixels.data(), cols, maxval,
                                                format);
}

void ReadWhole(FILE* f, int family) {
    int cols, rows, format;
    sampleval maxval;
    // Look at the header first: a whole image is allocated before it is read.
    const long start = std::ftell(f);
    pnm_readpnminit(f, &cols, &rows, &maxval, &format);
    if (!Small(cols, rows, kMaxWholePixels))
        return;
    std::fseek(f, start, SEEK_SET);
    switch (family) {
    case 0: pm_freearray(pbm_readpbm(f, &cols, &rows), rows); break;
    case 1: pm_freearray(pgm_readpgm(f, &cols, &rows, &maxval), rows); break;
    case 2: pm_freearray(ppm_readppm(f, &cols, &rows, &maxval), rows); break;
    default:
        pm_freearray(pnm_readpnm(f, &cols, &rows, &maxval, &format), rows);
    }
    arrayBlock = nullptr;
}

void ReadImages(FILE* f, uint8_t mode) {
    const int family = mode & 3;
    const bool check = mode & 4, packed = mode & 8, whole = mode & 16;
    for (int image = 0; image < 3; ++image) {
        if (whole)
            ReadWhole(f, family);
        else if (family == 0)
            ReadPbm(f, check, packed);
        else if (family == 1)
            ReadPgm(f, check);
        else
            ReadColour(f, check, family == 3);
        int eof = 0;
        pnm_nextimage(f, &eof);
        if (eof)
            return;
    }
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
    bool read = false;
    tarvex_fuzz::RunCatchingFatal([&] {
        ReadImages(f, data[0]);
        read = true;
    });
    if (!read)
        std::free(arrayBlock);
    std::fclose(f);
    tarvex_fuzz::CloseStrayFds(firstFd);
    return 0;
}
