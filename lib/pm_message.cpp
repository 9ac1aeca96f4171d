// SPDX-License-Identifier: MIT
// Messages on standard error: informational ones that "-quiet" silences,
// fatal ones that end the process with status 1, and the usage line.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "pm.h"
#include "pm_internal.h"

namespace {

int showmessages = 0;

void vmessage(const char* format, va_list args) {
    std::fprintf(stderr, "%s: ", pm_progname_or_default());
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

}  // namespace

void pm_message(const char* format, ...) {
    if (!showmessages)
        return;
    va_list args;
    va_start(args, format);
    vmessage(format, args);
    va_end(args);
}

void pm_error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vmessage(format, args);
    va_end(args);
    pm_exit(1);
}

void pm_perror(const char* reason) {
    const char* systemText = std::strerror(errno);
    if (reason != nullptr && reason[0] != '\0')
        pm_error("%s - %s", reason, systemText);
    pm_error("%s", systemText);
}

void pm_usage(const char* synopsis) {
    std::fprintf(stderr, "usage:  %s %s\n", pm_progname_or_default(), synopsis);
    pm_exit(1);
}

void pm_setMessage(int newState, int* oldStateP) {
    if (oldStateP != nullptr)
        *oldStateP = showmessages;
    showmessages = newState != 0;
}
