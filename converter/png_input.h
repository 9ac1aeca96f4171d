// SPDX-License-Identifier: MIT
// The input as libpng reads it: a read callback that takes a large ancillary
// chunk whole before libpng sees it, so that the chunk costs what the input
// really holds.
#pragma once

#include <png.h>

#include <cstdio>

namespace corvane {

/// Makes libpng read the rest of the PNG on `file`, of whose signature the
/// caller has read and checked the first `sig_read` bytes. A read that falls
/// short is a libpng error ("Read Error"). One input at a time.
void read_png_input(png_structp png, FILE* file, int sig_read);

/// Releases the data read ahead of libpng, if any; for the error path.
void drop_read_ahead();

}  // namespace corvane
