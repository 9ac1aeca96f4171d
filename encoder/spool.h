// SPDX-License-Identifier: MIT
// Reading a pipe twice without copying it: what the first pass reads is kept,
// deflated in chunks, so that the second can go back over it.
#pragma once

#include <cstdio>

namespace belvane {

struct Spool;

/// An input stream, with its spool when it is not a regular file.
struct Input {
    FILE* file = nullptr;
    Spool* spool = nullptr;  ///< null: the stream can be positioned as it is
};

/// Opens `name` ("-": standard input) as pm_openr does. A stream that is not
/// a regular file is read through a spool, which records every byte read so
/// that fseeko back over them works; failures are fatal.
Input open_input(const char* name);

/// Reads `in`, a stream that cannot be positioned, through a spool.
Input spool_stream(FILE* in);

/// Ends the recording: later bytes are read but not kept, each recorded chunk
/// is freed once read again, and a seek is refused where bytes are gone.
void stop_recording(Spool* spool);

}  // namespace belvane
