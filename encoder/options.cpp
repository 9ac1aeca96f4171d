// SPDX-License-Identifier: MIT
// The program's entry: start-up, the option loop, the opening and the
// closing of streams.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "belvane.h"

namespace belvane {

namespace {

[[noreturn]] void badOption() {
    std::fprintf(stderr, "belvane version %s, compiled with zlib version %s\n",
                 BELVANE_VERSION, ZLIB_VERSION);
    pm_usage(kUsage);
}

// The argument after an option that takes a value, whatever it looks like.
const char* valueOf(int argc, char** argv, int* argnP) {
    if (++*argnP >= argc)
        pm_usage(kUsage);
    return argv[*argnP];
}

double gammaOf(const char* text) {
    char* end;
    const double g = std::strtod(text, &end);
    // gAMA holds 100000 times the gamma in 31 bits.
    if (end == text || *end != '\0' || !(g * 100000 >= 0.5 && g * 100000 < 2147483647.0))
        pm_error("-gamma needs a positive number, not '%s'", text);
    return g;
}

int levelOf(const char* text) {
    if (text[0] < '0' || text[0] > '9' || text[1] != '\0')
        pm_error("-compression needs a level from 0 to 9, not '%s'", text);
    return text[0] - '0';
}

// Returns the index of the first argument that is not an option.
int parseOptions(int argc, char** argv, Options& o) {
    int argn = 1;
    for (; argn < argc && argv[argn][0] == '-' && argv[argn][1] != '\0'; ++argn) {
        const char* a = argv[argn];
        if (pm_keymatch(a, "-verbose", 2))
            o.verbose = 1;
        else if (pm_keymatch(a, "-alpha", 2))
            o.alpha_file = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-transparent", 3))
            o.transparent = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-background", 2))
            o.backstring = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-gamma", 2))
            o.image_gamma = gammaOf(valueOf(argc, argv, &argn));
        else if (pm_keymatch(a, "-text", 3))
            o.text_file = valueOf(argc, argv, &argn);
        else if (pm_keymatch(a, "-time", 3))
            o.mtime = 1;
        else if (pm_keymatch(a, "-interlace", 2))
            o.interlace = 1;
        else if (pm_keymatch(a, "-compression", 2))
            o.compression = levelOf(valueOf(argc, argv, &argn));
        else
            badOption();
    }
    return argn;
}

}  // namespace

int belvane_main(int argc, char** argv) {
    pnm_init(&argc, argv);
    Options opt;
    int argn = parseOptions(argc, argv, opt);
    if (opt.alpha_file != nullptr && opt.transparent != nullptr)
        pm_error("-alpha and -transparent cannot be used together");

    // Both are read twice: a pipe through a spool of what the first pass read.
    const Input image = open_input(argn < argc ? argv[argn++] : "-");
    if (argn < argc)
        pm_usage(kUsage);
    const Input mask = opt.alpha_file != nullptr ? open_input(opt.alpha_file) : Input{};
    FILE* tfp = opt.text_file != nullptr ? pm_openr(opt.text_file) : nullptr;
    const int status = encode(opt, image, mask, tfp);
    if (tfp != nullptr)
        pm_closer(tfp);
    if (mask.file != nullptr)
        pm_closer(mask.file);
    pm_closer(image.file);
    pm_closew(stdout);
    return status;
}

}  // namespace belvane
