// What every fuzz target shares: running library code whose fatal errors end
// the process by design, and handing the input over as a stream or a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "pm.h"
#include "pm_internal.h"

namespace tarvex_fuzz {

/// Runs `body`. In a fuzz build a fatal error inside it comes back here and
/// the next input can run; in a replay build it ends the process (each
/// input runs in a child process there). `body` must keep no object with a
/// destructor alive across the library call that may fail.
template <typename F>
void RunCatchingFatal(F&& body) {
#ifdef TARVEX_FUZZING
    std::jmp_buf jump;
    if (setjmp(jump) == 0) {
        pm_fuzz_exit_jump = &jump;
        body();
    }
    pm_fuzz_exit_jump = nullptr;
#else
    body();
#endif
}

/// A read stream over the input bytes (a real temporary file, so that
/// fileno, fstat and seeking work as on disk). Null when it cannot be made.
inline FILE* InputStream(const uint8_t* data, size_t size) {
    FILE* f = std::tmpfile();
    if (f == nullptr)
        return nullptr;
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::fclose(f);
        return nullptr;
    }
    std::rewind(f);
    return f;
}

/// The input as a NUL-terminated text (stops at an embedded NUL).
inline std::string InputText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size).c_str();
}

/// The lowest descriptor not in use now.
inline int FirstFreeFd() {
    const int fd = dup(0);
    if (fd >= 0)
        close(fd);
    return fd;
}

/// Closes descriptors a fatal error left open (a jump skips the close),
/// so that a long run does not run out of them.
inline void CloseStrayFds(int first) {
    for (int fd = first; fd >= 0 && fd < first + 64; ++fd)
        close(fd);
}

/// Once per process: a program name, informational messages off.
inline void QuietStart() {
    static bool started = false;
    if (!started) {
        pm_init("fuzz");
        started = true;
    }
}

}  // namespace tarvex_fuzz
