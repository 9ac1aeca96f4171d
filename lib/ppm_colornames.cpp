// SPDX-License-Identifier: MIT
// Reading a whole colour-name dictionary into a hash of colours to slots and
// a table of MAXCOLORNAMES names.
#include <cstring>

#include "pm_internal.h"
#include "ppm.h"

namespace {

// Takes one dictionary entry; the first name given for a colour wins.
void processColorfileEntry(colorfileentry ce, colorhash cht,
                           const char** colornames, int* colornameIndexP) {
    // The table is full even for a colour it already holds.
    if (*colornameIndexP >= MAXCOLORNAMES)
        pm_error("Too many colors in colorname dictionary.  "
                 "Max allowed is %u", static_cast<unsigned>(MAXCOLORNAMES));
    rgbpixel const color{static_cast<sampleval>(ce.r),
                         static_cast<sampleval>(ce.g),
                         static_cast<sampleval>(ce.b)};
    if (ppm_lookupcolor(cht, &color) >= 0)
        return;
    if (ppm_addtocolorhash(cht, &color, *colornameIndexP) < 0)
        pm_error("out of memory adding to hash table");
    colornames[*colornameIndexP] = strdup(ce.colorname);
    if (colornames[*colornameIndexP] == nullptr)
        pm_error("Unable to allocate space for color name");
    ++*colornameIndexP;
}

}  // namespace

void ppm_readcolornamefile(const char* fileName, int mustOpen,
                           colorhash* chtP, const char*** colornamesP) {
    colorhash cht = ppm_alloccolorhash();
    const char** colornames = nullptr;
    mallocProduct(&colornames, MAXCOLORNAMES, sizeof(const char*));
    if (colornames == nullptr)
        pm_error("Unable to allocate space for colorname table.");
    int count = 0;
    FILE* f = pm_openColornameFile(fileName, mustOpen);
    if (f != nullptr) {
        for (colorfileentry ce = pm_colorget(f); ce.colorname != nullptr;
             ce = pm_colorget(f))
            processColorfileEntry(ce, cht, colornames, &count);
        std::fclose(f);
    }
    for (int i = count; i < MAXCOLORNAMES; ++i)
        colornames[i] = nullptr;
    *chtP = cht;
    *colornamesP = colornames;
}

void ppm_freecolornames(const char** colornames) {
    for (int i = 0; i < MAXCOLORNAMES; ++i)
        std::free(const_cast<char*>(colornames[i]));
    std::free(colornames);
}
