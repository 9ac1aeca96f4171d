// SPDX-License-Identifier: MIT
// Big- and little-endian 16- and 32-bit integers on streams.
#include <type_traits>

#include "pm.h"

namespace {

// Reads `nbytes` bytes into *valueP, most significant first when `big`.
// The value is assembled in place, so a short read leaves the bytes read so
// far (missing bytes as zero bits); an empty stream leaves it untouched.
template <typename T>
int readInt(FILE* in, T* valueP, int nbytes, bool big) {
    using U = std::make_unsigned_t<T>;
    U bits = 0;
    for (int i = 0; i < nbytes; ++i) {
        int c = std::getc(in);
        if (c == EOF)
            return -1;
        int shift = big ? 8 * (nbytes - 1 - i) : 8 * i;
        bits = static_cast<U>(bits | static_cast<U>(c) << shift);
        *valueP = static_cast<T>(bits);
    }
    return 0;
}

template <typename T>
int writeInt(FILE* out, T value, int nbytes, bool big) {
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (int i = 0; i < nbytes; ++i) {
        int shift = big ? 8 * (nbytes - 1 - i) : 8 * i;
        std::putc((bits >> shift) & 0xff, out);
    }
    return 0;
}

}  // namespace

int pm_readbigshort(FILE* in, int16_t* sP) { return readInt(in, sP, 2, true); }
int pm_writebigshort(FILE* out, int16_t s) { return writeInt(out, s, 2, true); }
int pm_readbiglong(FILE* in, int32_t* lP) { return readInt(in, lP, 4, true); }
int pm_writebiglong(FILE* out, int32_t l) { return writeInt(out, l, 4, true); }

int pm_readlittleshort(FILE* in, int16_t* sP) {
    return readInt(in, sP, 2, false);
}
int pm_writelittleshort(FILE* out, int16_t s) {
    return writeInt(out, s, 2, false);
}
int pm_readlittlelong(FILE* in, int32_t* lP) {
    return readInt(in, lP, 4, false);
}
int pm_writelittlelong(FILE* out, int32_t l) {
    return writeInt(out, l, 4, false);
}
