// SPDX-License-Identifier: MIT
// The corvane converter: its process-wide options and working values, the
// entry point, the conversion driver and the pixel and report routines.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include "pnm.h"

namespace corvane {

// ---- Options, written by the option loop only --------------------------------

extern int verbose;            ///< 1: print the informational reports
extern int alpha;              ///< 0 ignore alpha, 1 alpha mask, 2 mix
extern int background;         ///< > -1 when "-background" was given
extern const char* backstring; ///< the "-background" text, not copied
extern float displaygamma;     ///< -1.0: no gamma correction asked for
extern int text;               ///< 1: write the text chunks to text_file
extern const char* text_file;  ///< the "-text" file name
extern int mtime;              ///< 1: report the modification time

// ---- Working values of one conversion ------------------------------------------

extern uint16_t maxval;        ///< output maxval, the scale of every sample
extern uint16_t bgr, bgg, bgb; ///< background used by mixing
extern float totalgamma;       ///< correction libpng applies; -1.0: none
extern const char* type_string;
extern const char* alpha_string;
extern std::jmp_buf corvane_jmpbuf_struct;

/// The converter's version text, printed before the usage on a bad option.
inline constexpr const char* kVersion = "2.37.4 (5 December 1999) +tarvex";
/// The synopsis handed to pm_usage.
inline constexpr const char* kUsage =
    "[-verbose] [-alpha | -mix] [-background color] ...\n"
    "             ... [-gamma value] [-text file] [-time] [pngfile]";

/// The whole program: start-up, options, one conversion, closing. Returns
/// the exit status; every failure ends the process.
int corvane_main(int argc, char** argv);

/// Converts the PNG on `ifp` to a portable map on standard output, writing
/// the text chunks to `tfp` when asked; sets *errorlevelP to 0 and returns
/// only on success.
void convertpng(FILE* ifp, FILE* tfp, int* errorlevelP);

/// libpng's error callback: prints the error and jumps back to the driver.
[[noreturn]] void corvane_error_handler(png_structp png_ptr,
                                        png_const_charp msg);

// ---- Samples and pixels ---------------------------------------------------------

/// Brings a value from the file onto the gamma of the corrected samples.
uint16_t gamma_correct(uint16_t v, float g);
/// 1 when a palette entry is not a gray.
int iscolor(png_color c);
/// The mix of sample s over background k with coverage a, at maxval;
/// a above maxval counts as opaque.
uint16_t mix_sample(uint16_t s, uint16_t a, uint16_t k);

// ---- Reports ------------------------------------------------------------------

/// Writes every text chunk of the image to `tfp`, one padded line each.
void save_text(png_const_structrp png_ptr, png_inforp info_ptr, FILE* tfp);
/// Reports the tIME chunk through pm_message when the image has one.
void show_time(png_const_structrp png_ptr, png_inforp info_ptr);
/// The name of PNG month `m`; empty outside 1 to 12.
const char* month_name(unsigned int m);

}  // namespace corvane
