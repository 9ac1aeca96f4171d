// SPDX-License-Identifier: MIT
// The runtime library shared by every program of the family: messages and
// fatal errors, start-up and the common options, files, rows and arrays,
// numeric helpers, stream positions, binary integers and the token readers.
// The headers are C11 and C++20 alike; every function has C linkage.
#pragma once

#ifdef __cplusplus
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#else
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#endif

#define TARVEX_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
/// Marks a function that never returns, in either language.
#ifdef __cplusplus
#define TARVEX_NORETURN [[noreturn]]
#else
#define TARVEX_NORETURN _Noreturn
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// 1 when "-plain" was given: every writer then writes the plain form.
extern int pm_plain_output;

// ---- Messages -------------------------------------------------------------

/// Prints "progname: message\n" to stderr unless messages are off.
void pm_message(const char* format, ...) TARVEX_PRINTF(1, 2);
/// Prints "progname: message\n" to stderr and exits with status 1.
TARVEX_NORETURN void pm_error(const char* format, ...) TARVEX_PRINTF(1, 2);
/// pm_error with the system's text for errno, after `reason` when given.
TARVEX_NORETURN void pm_perror(const char* reason);
/// Prints "usage:  progname synopsis" to stderr and exits with status 1.
TARVEX_NORETURN void pm_usage(const char* synopsis);
/// Turns informational messages on or off; stores the old state if asked.
void pm_setMessage(int newState, int* oldStateP);

// ---- Start-up -------------------------------------------------------------

/// Records the program name and turns informational messages off.
void pm_init(const char* progname);
/// Takes the program name and the common options out of argv and acts on
/// them; may end the process ("-version": status 0, "-help": status 1).
void pm_proginit(int* argcP, char** argv);
/// Matches an option: `str` is a case-blind prefix of `keyword` of at least
/// `minchars` characters.
int pm_keymatch(const char* str, const char* keyword, int minchars);
/// Program name from a path (last component, at most 64 characters, ".exe"
/// removed), in a static buffer overwritten by the next call.
char* pm_arg0toprogname(const char* arg0);

// ---- Files ----------------------------------------------------------------

/// Opens a file for reading ("-" is stdin); fatal when it cannot.
FILE* pm_openr(const char* name);
/// Opens a file for writing ("-" is stdout); fatal when it cannot.
FILE* pm_openw(const char* name);
/// Flushes, warns about an earlier stream error, closes (never stdin);
/// a failed close is fatal.
void pm_close(FILE* f);
void pm_closer(FILE* f);
void pm_closew(FILE* f);

// ---- Rows, arrays and numeric helpers --------------------------------------

/// A row of `cols` elements of `size` bytes; fatal when out of memory.
void* pm_allocrow(unsigned int cols, unsigned int size);
void pm_freerow(void* row);
/// A row index of `rows` row pointers (plus one for the layout); fatal when
/// out of memory. Free it with pm_freearray and the same row count.
void* pm_allocarray(unsigned int cols, unsigned int rows, unsigned int size);
void pm_freearray(void* rowIndex, unsigned int rows);

/// Bits needed to hold a maxval (1 to 16); fatal above 65535.
int pm_maxvaltobits(int maxval);
/// 2^bits - 1, for 0 to 32 bits.
unsigned int pm_bitstomaxval(int bits);
/// Least common multiple of three positive numbers, or `limit` if smaller.
unsigned int pm_lcm(unsigned int x, unsigned int y, unsigned int z,
                    unsigned int limit);

// ---- Seekable input and stream positions ----------------------------------

/// Opens a file that can be positioned; a pipe is copied into a temporary
/// file first.
FILE* pm_openr_seekable(const char* name);
/// Stores the stream position into a caller variable of `fileposSize` bytes
/// (only 4 is accepted).
void pm_tell2(FILE* file, void* fileposP, unsigned int fileposSize);
int32_t pm_tell(FILE* file);
/// Positions the stream from a caller variable of `fileposSize` bytes.
void pm_seek2(FILE* file, const void* fileposP, unsigned int fileposSize);
void pm_seek(FILE* file, int32_t filepos);
/// Skips white space; *eofP = 1 when the stream ends, else 0.
void pm_nextimage(FILE* file, int* eofP);
/// Reads a whole stream into a new buffer (caller frees); *nreadP bytes.
unsigned char* pm_read_unknown_size(FILE* file, int32_t* nreadP);

// ---- Binary integers (0, or -1 at end of stream) ---------------------------

int pm_readbigshort(FILE* in, int16_t* sP);
int pm_writebigshort(FILE* out, int16_t s);
int pm_readbiglong(FILE* in, int32_t* lP);
int pm_writebiglong(FILE* out, int32_t l);
int pm_readlittleshort(FILE* in, int16_t* sP);
int pm_writelittleshort(FILE* out, int16_t s);
int pm_readlittlelong(FILE* in, int32_t* lP);
int pm_writelittlelong(FILE* out, int32_t l);

// ---- Tokens of the portable map headers and plain rasters ------------------

/// Next character; a "#" comment reads as the line end that closes it.
char pm_getc(FILE* file);
/// Next byte, without comment handling.
unsigned char pm_getrawbyte(FILE* file);
/// Next unsigned decimal number after white space.
unsigned int pm_getuint(FILE* file);
/// Format code of the first two bytes.
int pm_readmagicnumber(FILE* file);

// ---- Raster checks -----------------------------------------------------------

enum {
    PM_RASTER_EXACT = 0,
    PM_CHECKTYPE_INVALID = 1,
    PM_RASTER_EXCESS = 2,
    PM_RASTER_UNTESTABLE = 3,
};
enum { PM_RASTERCHECK_SIZE = 0 };

/// Compares the rest of a regular file with a raster of `rasterSize` bytes;
/// a file too short is fatal. `retvalP` may be null.
void pm_check(FILE* file, int checkType, uint64_t rasterSize, int* retvalP);

#ifdef __cplusplus
}
#endif
