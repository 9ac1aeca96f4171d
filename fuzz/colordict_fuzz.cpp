// SPDX-License-Identifier: MIT
// Fuzzes the colour-name dictionary: the input is an rgb.txt file. It is
// searched by name, by nearest colour and read whole into the name table.
#include <cstdlib>

#include "fuzz_support.h"
#include "ppm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char path[] = "/tmp/tarvex_fuzz_dictXXXXXX";
    static const bool made = (tarvex_fuzz::QuietStart(), close(mkstemp(path)), !setenv("RGBDEF", path, 1));
    FILE* f = std::fopen(path, "wb");
    if (!made || f == nullptr)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const int firstFd = tarvex_fuzz::FirstFreeFd();
    tarvex_fuzz::RunCatchingFatal([&] {
        int32_t r, g, b;
        const rgbpixel grey{128, 128, 128};
        ppm_colorname(&grey, 255, 1);
        ppm_colorname(&grey, 65535, 0);
        colorhash hash;
        const char** names;
        ppm_readcolornamefile(path, 1, &hash, &names);
        ppm_freecolornames(names);
        ppm_freecolorhash(hash);
        pm_parse_dictionary_name("Dark Slate Gray", 1000, &r, &g, &b);
    });
    tarvex_fuzz::CloseStrayFds(firstFd);
    return 0;
}
