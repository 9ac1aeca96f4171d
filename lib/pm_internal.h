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

/// The colour-name dictionaries tried in order when no file is named and
/// RGBDEF is unset. Tests point these at their own files.
extern const char* pm_colorname_paths[4];
