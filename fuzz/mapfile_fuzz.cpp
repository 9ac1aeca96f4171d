// SPDX-License-Identifier: MIT
// Fuzzes the map-file reader: the first byte picks the colour limit, the
// rest is the map file (any portable map).
#include "fuzz_support.h"
#include "ppm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    tarvex_fuzz::QuietStart();
    FILE* f = tarvex_fuzz::InputStream(data + 1, size - 1);
    if (f == nullptr)
        return 0;
    const int maxcolors = 1 + data[0] * 4;
    tarvex_fuzz::RunCatchingFatal([&] {
        // The reader allocates a row of the declared width before reading
        // it: look at the header first and leave huge ones alone.
        int cols, rows, format;
        sampleval maxval = 0;
        ppm_readppminit(f, &cols, &rows, &maxval, &format);
        if (long(cols > 0 ? cols : 1) * (rows > 0 ? rows : 1) > (1 << 20))
            return;
        std::rewind(f);
        int ncolors = 0;
        rgbpixel* row = ppm_mapfiletocolorrow(f, maxcolors, &ncolors, &maxval);
        if (row == nullptr ? ncolors != -1 : ncolors > maxcolors)
            std::abort();
        if (row != nullptr)
            ppm_sortcolorrow(row, ncolors, nullptr), pm_freerow(row);
    });
    std::fclose(f);
    return 0;
}
