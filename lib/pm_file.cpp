// Opening and closing files; "-" names the standard streams.
#include <cerrno>
#include <cstring>

#include "pm.h"

FILE* pm_openr(const char* name) {
    if (std::strcmp(name, "-") == 0)
        return stdin;
    FILE* f = std::fopen(name, "rb");
    if (f == nullptr)
        pm_error("Unable to open file '%s' for reading.  "
                 "fopen() returns errno %d (%s)",
                 name, errno, std::strerror(errno));
    return f;
}

FILE* pm_openw(const char* name) {
    if (std::strcmp(name, "-") == 0)
        return stdout;
    FILE* f = std::fopen(name, "wb");
    if (f == nullptr)
        pm_error("Unable to open file '%s' for writing.  "
                 "fopen() returns errno %d (%s)",
                 name, errno, std::strerror(errno));
    return f;
}

void pm_close(FILE* f) {
    std::fflush(f);
    if (std::ferror(f))
        pm_message("A file read or write error occurred at some point");
    if (f == stdin)
        return;
    if (std::fclose(f) != 0)
        pm_error("close of file failed with errno %d (%s)", errno,
                 std::strerror(errno));
}

void pm_closer(FILE* f) { pm_close(f); }

void pm_closew(FILE* f) { pm_close(f); }
