// SPDX-License-Identifier: MIT
// Numeric helpers for maxvals and least common multiples.
#include "pm.h"

int pm_maxvaltobits(int maxval) {
    if (maxval > 65535)
        pm_error("maxval of %d is too large!", maxval);
    int bits = 1;
    while (bits < 16 && maxval >= (1 << bits))
        ++bits;
    return bits;
}

unsigned int pm_bitstomaxval(int bits) {
    if (bits <= 0)
        return 0;
    return bits >= 32 ? UINT32_MAX : (1u << bits) - 1;
}

unsigned int pm_lcm(unsigned int x, unsigned int y, unsigned int z,
                    unsigned int limit) {
    if (x == 0 || y == 0 || z == 0)
        pm_error("pm_lcm(): Least common multiple of zero taken.");
    unsigned int biggest = x;
    if (y > biggest)
        biggest = y;
    if (z > biggest)
        biggest = z;
    unsigned int candidate = biggest;
    while (candidate % x != 0 || candidate % y != 0 || candidate % z != 0) {
        // Past the limit, or about to wrap, which would also pass it.
        if (candidate > limit || candidate > UINT32_MAX - biggest)
            return limit;
        candidate += biggest;
    }
    return candidate > limit ? limit : candidate;
}
