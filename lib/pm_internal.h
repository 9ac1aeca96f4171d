// Library-private state and hooks shared between the runtime's source files.
// Not installed: programs of the family use pm.h.
#pragma once

/// The name that prefixes messages; a fixed name before start-up.
const char* pm_progname_or_default();

/// Ends the process with `status` through the normal exit path (buffered
/// streams are flushed). Every fatal path of the library comes here.
[[noreturn]] void pm_exit(int status);

#include <cstddef>

/// Allocator of the one-block layout of pm_allocarray. Tests replace it to
/// force the row-by-row fallback; everything else leaves it as malloc.
extern void* (*pm_arrayblock_alloc)(size_t bytes);

#include <cstdint>
#include <cstdio>

/// A raster size in bytes, wide enough for any product of two 32-bit
/// dimensions and a bytes-per-pixel count.
using pm_rastersize = unsigned __int128;

/// pm_check for raster sizes beyond 64 bits; the format checks use it.
void pm_check_raster(FILE* file, pm_rastersize rasterSize, int* retvalP);

/// Reads `count` raw samples (one or two bytes each by maxval) with one
/// block read into the last bytes of `samples` and widens them in place.
/// A short read is fatal with the message of the one-sample reader.
void pgm_readrawsamples(FILE* file, uint32_t* samples, size_t count,
                        uint32_t maxval);
