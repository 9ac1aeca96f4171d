// SPDX-License-Identifier: MIT
// PPM, the colour format: format codes, the rgbpixel row element, start-up,
// writers, readers and the raster check; colour specifications, the colour
// name dictionary, colour hash tables, histograms and colour rows.
#pragma once

#include "pgm.h"

#ifdef __cplusplus
extern "C" {
#endif

/// One colour pixel; a PNM row of a PGM or PBM image holds its value in `b`.
typedef struct rgbpixel {
    sampleval r, g, b;
} rgbpixel;

#define PPM_PLAIN_CODE ('P' * 256 + '3')
#define PPM_RAW_CODE ('P' * 256 + '6')

/// The family type of a format code (its plain code), or -1.
static inline int PNM_FORMAT_TYPE(int format) {
    switch (format) {
    case PBM_PLAIN_CODE: case PBM_RAW_CODE: return PBM_PLAIN_CODE;
    case PGM_PLAIN_CODE: case PGM_RAW_CODE: return PGM_PLAIN_CODE;
    case PPM_PLAIN_CODE: case PPM_RAW_CODE: return PPM_PLAIN_CODE;
    default: return -1;
    }
}

void ppm_init(int* argcP, char** argv);

// ---- Writing ----------------------------------------------------------------

void ppm_writeppminit(FILE* file, int cols, int rows, sampleval maxval,
                      int forceplain);
void ppm_writeppmrow(FILE* file, const rgbpixel* pixelrow, int cols,
                     sampleval maxval, int forceplain);
void ppm_writeppm(FILE* file, const rgbpixel* const* pixels, int cols, int rows,
                  sampleval maxval, int forceplain);

// ---- Reading ----------------------------------------------------------------

void ppm_readppminitrest(FILE* file, int* colsP, int* rowsP,
                         sampleval* maxvalP);
void ppm_readppminit(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP,
                     int* formatP);
void ppm_readppmrow(FILE* file, rgbpixel* pixelrow, int cols, sampleval maxval,
                    int format);
rgbpixel** ppm_readppm(FILE* file, int* colsP, int* rowsP, sampleval* maxvalP);
void ppm_check(FILE* file, int checkType, int format, int cols, int rows,
               sampleval maxval, int* retvalP);
void ppm_nextimage(FILE* file, int* eofP);

// ---- Colour specifications ----------------------------------------------------

/// Parses "rgb:", "rgbi:", "#", a fraction triple or a dictionary name into
/// a colour at `maxval`; an unusable text is fatal.
rgbpixel ppm_parsecolor(const char* colorname, sampleval maxval);
/// Scales a component of `hexDigitCount` hex digits to `maxval`, rounded;
/// fatal for a digit count outside 1 to 4.
int32_t pm_rgbnorm(int32_t rgb, int32_t maxval, unsigned int hexDigitCount,
                   const char* colorname);
/// Colour from luma and chroma values (not limited to a maxval).
rgbpixel color_from_ycbcr(uint32_t y, int32_t cb, int32_t cr);

// ---- Colour name dictionary ---------------------------------------------------

/// One dictionary line; `colorname` is null at the end of the file and
/// points into a buffer that the next read overwrites.
typedef struct colorfileentry {
    int32_t r, g, b;
    char* colorname;
} colorfileentry;

/// Opens the named dictionary, or the one named by RGBDEF, or a default one.
/// Returns null when none opens and `mustOpen` is 0; fatal otherwise.
FILE* pm_openColornameFile(const char* fileName, int mustOpen);
/// Next valid entry of a dictionary; unparsable lines are reported and
/// skipped.
colorfileentry pm_colorget(FILE* f);
/// Removes white space and lowers A-Z, in place.
void pm_canonstr(char* str);
/// Looks a name up in the default dictionary; the colour scaled to maxval.
void pm_parse_dictionary_name(const char* colorname, sampleval maxval,
                              int32_t* rP, int32_t* gP, int32_t* bP);
/// Name of the dictionary colour nearest to *colorP, or its "#rrggbb" form;
/// a static buffer overwritten by the next call.
const char* ppm_colorname(const rgbpixel* colorP, sampleval maxval, int hexok);

// ---- Colour hash tables and histograms -----------------------------------------

#define HASH_SIZE 20023

typedef struct colorhashnode colorhashnode;
struct colorhashnode {
    rgbpixel color;
    int32_t value;
    colorhashnode* next;
};
/// HASH_SIZE chain heads.
typedef colorhashnode** colorhash;

typedef struct colorhistentry {
    rgbpixel color;
    int32_t value;
} colorhistentry;
typedef colorhistentry* colorhist;

colorhash ppm_alloccolorhash(void);
/// Pixel counts of the colours of an image; null (and *ncolorsP =
/// maxcolors + 1) when it has more than maxcolors > 0 colours.
colorhash ppm_computecolorhash(const rgbpixel* const* pixels, int cols,
                               int rows, int maxcolors, int* ncolorsP);
colorhash ppm_computecolorhash2(FILE* file, int cols, int rows,
                                sampleval maxval, int format, int maxcolors,
                                int* ncolorsP);
colorhist ppm_computecolorhist(const rgbpixel* const* pixels, int cols,
                               int rows, int maxcolors, int* ncolorsP);
colorhist ppm_computecolorhist2(FILE* file, int cols, int rows,
                                sampleval maxval, int format, int maxcolors,
                                int* ncolorsP);
/// Adds a node at the front of its chain; -1 when out of memory.
int ppm_addtocolorhash(colorhash cht, const rgbpixel* colorP, int value);
/// The value stored for a colour, or -1.
int ppm_lookupcolor(colorhash cht, const rgbpixel* colorP);
/// Every node of a table in bucket order, with room for maxcolors entries
/// (never fewer than the nodes), or for five more when maxcolors <= 0.
colorhist ppm_colorhashtocolorhist(colorhash cht, int maxcolors);
colorhash ppm_colorhisttocolorhash(colorhist chv, int ncolors);
/// Moves a colour to `position`, or inserts it there while there is room;
/// a position outside the filled entries changes nothing.
void ppm_addtocolorhist(colorhist chv, int* ncolorsP, int maxcolors,
                        const rgbpixel* colorP, int value, int position);
void ppm_freecolorhash(colorhash cht);
void ppm_freecolorhist(colorhist chv);

// ---- Colour name table --------------------------------------------------------

#define MAXCOLORNAMES 1000

/// Reads a whole dictionary into a hash of colours to slots and a table of
/// MAXCOLORNAMES names (null after the last).
void ppm_readcolornamefile(const char* fileName, int mustOpen,
                           colorhash* chtP, const char*** colornamesP);
void ppm_freecolornames(const char** colornames);

// ---- Colour rows and map files ------------------------------------------------

/// The distinct colours of an image in order of first appearance; null and
/// *ncolorsP = -1 when there are more than maxcolors.
rgbpixel* ppm_computecolorrow(const rgbpixel* const* pixels, int cols,
                              int rows, int maxcolors, int* ncolorsP);
rgbpixel* ppm_mapfiletocolorrow(FILE* file, int maxcolors, int* ncolorsP,
                                sampleval* maxvalP);
colorhash ppm_colorrowtocolorhash(const rgbpixel* colorrow, int ncolors);
/// Sorts in place by `cmpfunc`, or by red, green, blue when it is null.
void ppm_sortcolorrow(rgbpixel* colorrow, int ncolors,
                      int (*cmpfunc)(rgbpixel*, rgbpixel*));
/// Position of the colour, appended when absent; -1 when the row is full.
int ppm_addtocolorrow(rgbpixel* colorrow, int* ncolorsP, int maxcolors,
                      const rgbpixel* colorP);
/// Position of the nearest entry (exact squared distance, lowest position
/// wins); -1 when ncolors is 0.
int ppm_findclosestcolor(const rgbpixel* colormap, int ncolors,
                         const rgbpixel* colorP);
/// Writes the colours as a plain PPM, ncolors wide and one high.
void ppm_colorrowtomapfile(FILE* ofp, const rgbpixel* colorrow, int ncolors,
                           sampleval maxval);

#ifdef __cplusplus
}
#endif
