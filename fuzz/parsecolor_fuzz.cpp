// SPDX-License-Identifier: MIT
// Fuzzes colour specifications: two bytes pick the maxval, the rest is the
// text. Names are looked up in the tests' small dictionary, odd lines and all.
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "ppm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = (tarvex_fuzz::QuietStart(), setenv("RGBDEF", TARVEX_RGB_TXT, 1) == 0);
    if (size < 2 || !started)
        return 0;
    const sampleval maxval = 1 + ((data[0] << 8 | data[1]) % 65535);
    const std::string text = std::string(reinterpret_cast<const char*>(data + 2), size - 2).c_str();
    const int firstFd = tarvex_fuzz::FirstFreeFd();
    tarvex_fuzz::RunCatchingFatal([&] {
        const rgbpixel p = ppm_parsecolor(text.c_str(), maxval);
        // Numeric forms are range-checked; dictionary colours are not.
        const bool numeric = text.rfind("rgb", 0) == 0 || text[0] == '#' || text[0] == '.' ||
                             (text[0] >= '0' && text[0] <= '9');
        if (numeric && (p.r > maxval || p.g > maxval || p.b > maxval))
            std::abort();
    });
    tarvex_fuzz::CloseStrayFds(firstFd);
    return 0;
}
