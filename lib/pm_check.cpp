// SPDX-License-Identifier: MIT
// Checking the rest of a file against the size of a raw raster.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "pm.h"
#include "pm_internal.h"

namespace {

// Decimal digits of a raster size; 40 places hold any 128-bit value.
struct Decimal {
    char digits[40];
};

Decimal decimal(pm_rastersize value) {
    Decimal d;
    char* p = d.digits + sizeof d.digits;
    *--p = '\0';
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::memmove(d.digits, p, static_cast<size_t>(d.digits + sizeof d.digits - p));
    return d;
}

int compareRest(FILE* file, pm_rastersize rasterSize) {
    // ftello, not ftell: a 64-bit position is never truncated.
    off_t pos = ftello(file);
    if (pos < 0)
        return PM_RASTER_UNTESTABLE;
    struct stat st;
    if (fstat(fileno(file), &st) != 0)
        pm_error("fstat() failed to get size of file, though ftello() "
                 "successfully identified\nthe current position.  "
                 "Errno=%s (%d)", std::strerror(errno), errno);
    if (!S_ISREG(st.st_mode))
        return PM_RASTER_UNTESTABLE;
    // A position past the end of the file leaves nothing to read.
    pm_rastersize left =
        st.st_size > pos ? static_cast<pm_rastersize>(st.st_size - pos) : 0;
    if (left < rasterSize)
        pm_error("File has invalid format.  The raster should contain %s "
                 "bytes, but\nthe file ends after only %s bytes.",
                 decimal(rasterSize).digits, decimal(left).digits);
    return left > rasterSize ? PM_RASTER_EXCESS : PM_RASTER_EXACT;
}

}  // namespace

void pm_check_raster(FILE* file, pm_rastersize rasterSize, int* retvalP) {
    int result = compareRest(file, rasterSize);
    if (retvalP != nullptr)
        *retvalP = result;
}

void pm_check(FILE* file, int /*checkType*/, uint64_t rasterSize,
              int* retvalP) {
    pm_check_raster(file, rasterSize, retvalP);
}
