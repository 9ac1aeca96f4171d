// SPDX-License-Identifier: MIT
// Opening and closing files; "-" names the standard streams.
#include <stdio_ext.h>

#include <cerrno>
#include <cstring>

#include "pm.h"

FILE* pm_openr(const char* name) {
    if (std::strcmp(name, "-") == 0)
        return stdin;
    FILE* f = std::fopen(name, "rb");
    if (f == nullptr) {
        const int err = errno;
        pm_error("Unable to open file '%s' for reading.  "
                 "fopen() returns errno %d (%s)",
                 name, err, std::strerror(err));
    }
    return f;
}

FILE* pm_openw(const char* name) {
    if (std::strcmp(name, "-") == 0)
        return stdout;
    FILE* f = std::fopen(name, "wb");
    if (f == nullptr) {
        const int err = errno;
        pm_error("Unable to open file '%s' for writing.  "
                 "fopen() returns errno %d (%s)",
                 name, err, std::strerror(err));
    }
    return f;
}

void pm_close(FILE* f) {
    const bool flushed = std::fflush(f) == 0;
    int err = errno;
    // An error on a stream that was written to means output never arrived
    // (an earlier flush that failed dropped its data); on one only read from
    // it is a warning.
    const bool lost = std::ferror(f) && __fwritable(f);
    if (std::ferror(f))
        pm_message("A file read or write error occurred at some point");
    if (f == stdin)
        return;
    const bool closed = std::fclose(f) == 0;
    if (!closed)
        err = errno;
    // Data that cannot be written out now is lost: the stream drops it and a
    // later fclose succeeds, so a failed flush fails the close.
    if (!closed || !flushed)
        pm_error("close of file failed with errno %d (%s)", err,
                 std::strerror(err));
    if (lost)
        pm_error("close of file failed: an earlier write to it failed");
}

void pm_closer(FILE* f) { pm_close(f); }

void pm_closew(FILE* f) { pm_close(f); }
