// Fuzzes colour specifications: two bytes pick the maxval, the rest is the
// text. Names are looked up in a small dictionary written at start.
#include <cstdlib>

#include "fuzz_support.h"
#include "ppm.h"

namespace {

bool UseSmallDictionary() {
    char path[] = "/tmp/tarvex_fuzz_rgbXXXXXX";
    FILE* f = fdopen(mkstemp(path), "w");
    std::fputs("! test colours\n255 0 0\t\tred\n0 128 0 dark green\n"
               "300 -5 70000 out of range\n1 2 x broken\n", f);
    std::fclose(f);
    return setenv("RGBDEF", path, 1) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = (tarvex_fuzz::QuietStart(), UseSmallDictionary());
    if (size < 2 || !started)
        return 0;
    const sampleval maxval = 1 + ((data[0] << 8 | data[1]) % 65535);
    const std::string text = tarvex_fuzz::InputText(data + 2, size - 2);
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
