// SPDX-License-Identifier: MIT
// The program's entry: start-up, the option loop, opening the streams,
// one conversion and the closing of every stream.
#include <cstring>

#include "corvane.h"

namespace corvane {

int verbose = 0;
int alpha = 0;
int background = -1;
const char* backstring = nullptr;
float displaygamma = -1.0f;
int text = 0;
const char* text_file = nullptr;
int mtime = 0;

namespace {

[[noreturn]] void badOption() {
    std::fprintf(stderr, "corvane version %s, compiled with libpng version %s\n",
                 kVersion, PNG_LIBPNG_VER_STRING);
    pm_usage(kUsage);
}

// The argument after an option that takes a value, whatever it looks like.
const char* valueOf(int argc, char** argv, int* argnP) {
    if (++*argnP >= argc)
        pm_usage(kUsage);
    return argv[*argnP];
}

// Returns the index of the first argument that is not an option.
int parseOptions(int argc, char** argv) {
    int argn = 1;
    for (; argn < argc && argv[argn][0] == '-' && argv[argn][1] != '\0'; ++argn) {
        const char* a = argv[argn];
        if (pm_keymatch(a, "-verbose", 2)) {
            verbose = 1;
        } else if (pm_keymatch(a, "-alpha", 2)) {
            alpha = 1;
        } else if (pm_keymatch(a, "-mix", 2)) {
            alpha = 2;
        } else if (pm_keymatch(a, "-background", 2)) {
            background = 1;
            backstring = valueOf(argc, argv, &argn);
        } else if (pm_keymatch(a, "-gamma", 2)) {
            // A value that does not scan leaves the earlier one in force.
            std::sscanf(valueOf(argc, argv, &argn), "%f", &displaygamma);
        } else if (pm_keymatch(a, "-text", 3)) {
            text = 1;
            text_file = valueOf(argc, argv, &argn);
        } else if (pm_keymatch(a, "-time", 3)) {
            mtime = 1;
        } else {
            badOption();
        }
    }
    return argn;
}

}  // namespace

int corvane_main(int argc, char** argv) {
    pnm_init(&argc, argv);
    int argn = parseOptions(argc, argv);

    FILE* ifp = stdin;
    if (argn < argc)
        ifp = pm_openr(argv[argn++]);
    if (argn < argc)
        pm_usage(kUsage);

    FILE* tfp = text ? pm_openw(text_file) : nullptr;
    int errorlevel = 0;
    convertpng(ifp, tfp, &errorlevel);

    // "-text -" shares standard output, which is closed once, last.
    if (tfp != nullptr && tfp != stdout)
        pm_closew(tfp);
    pm_closer(ifp);
    pm_closew(stdout);
    return errorlevel;
}

}  // namespace corvane
