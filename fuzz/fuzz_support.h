// SPDX-License-Identifier: MIT
// What every fuzz target shares: running library code whose fatal errors end
// the process by design, and handing the input over as a stream.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "pm_internal.h"

namespace tarvex_fuzz {

/// Runs `body`. In a fuzz build a fatal error inside it comes back here and
/// the next input can run; in a replay build it ends the child process that
/// runs the input. `body` keeps no object with a destructor alive across the
/// library call that may fail.
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

/// The input on a real temporary file (fileno, fstat and seeks work as on
/// disk), positioned at its start; null when it cannot be made.
inline FILE* InputStream(const uint8_t* data, size_t size) {
    FILE* f = std::tmpfile();
    if (f != nullptr && (std::fwrite(data, 1, size, f) != size || std::fseek(f, 0, SEEK_SET))) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

/// The lowest descriptor not in use now.
inline int FirstFreeFd() { const int fd = dup(0); return fd < 0 ? fd : (close(fd), fd); }

/// Closes the descriptors a fatal error left open (a jump skips the close),
/// so that a long run does not run out of them.
inline void CloseStrayFds(int first) { for (int fd = first; fd >= 0 && fd < first + 64; ++fd) close(fd); }

/// Once per process: a program name, informational messages off.
inline void QuietStart() { [[maybe_unused]] static const bool started = (pm_init("fuzz"), true); }

}  // namespace tarvex_fuzz
