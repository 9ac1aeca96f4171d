// SPDX-License-Identifier: MIT
// The belvane encoder: a portable map in, the smallest PNG that converts back
// to it exactly out. Options, the first pass over the input (census), the
// choice of PNG layout, the text file reader and the PNG writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "pnm.h"
#include "spool.h"

namespace belvane {

// ---- Options -------------------------------------------------------------------

/// The command line, as the option loop reads it; handed down as const.
struct Options {
    int verbose = 0;                  ///< 1: report what was read and chosen
    const char* alpha_file = nullptr;  ///< "-alpha": the mask's file name, or null
    const char* transparent = nullptr; ///< "-transparent": a colour text, or null
    const char* backstring = nullptr;  ///< "-background": a colour text, or null
    double image_gamma = 0;           ///< "-gamma"; 0: no gAMA chunk
    const char* text_file = nullptr;  ///< "-text": the text file's name, or null
    int mtime = 0;                    ///< 1: write a tIME chunk
    int interlace = 0;                ///< 1: Adam7
    int compression = 7;              ///< level, 0 to 9
    int workers = 0;                  ///< bands compressed at once; 0: one per core
};

/// The synopsis handed to pm_usage.
inline constexpr const char* kUsage =
    "[-verbose] [-alpha file] [-transparent color] [-background color] ...\n"
    "             ... [-gamma value] [-text file] [-time] [-interlace] "
    "[-compression level] [pnmfile]";

/// The whole program: start-up, options, one encoding, closing. Returns the
/// exit status; every failure ends the process.
int belvane_main(int argc, char** argv);

/// Encodes the image on `image` (with the mask on `mask` and the texts on
/// `tfp`, null when not asked for) as a PNG on standard output. A piped
/// input's PNG is held until the whole of it has been read. Returns 0; every
/// failure is fatal. The PNG goes to `out`.
int encode(const Options& opt, const Input& image, const Input& mask, FILE* tfp,
           FILE* out = stdout);

// ---- Input -------------------------------------------------------------------

/// One portable map being read: its header and where its raster starts.
struct Source {
    FILE* file = nullptr;
    Spool* spool = nullptr;  ///< a pipe's spool, or null
    int cols = 0, rows = 0, format = 0;
    sampleval maxval = 0;
    int32_t raster = 0;  ///< pm_tell position of the first raster byte
    int bits = 0;        ///< significant bits of its samples as stored (1-16)
    bool rescaled = false;  ///< maxval is not 2^bits - 1: samples rounded
};

/// Reads the header of the first image on `in` (the `what` of messages),
/// checks that a raw raster in a file is all there and settles how its
/// samples are stored, saying so when they must be rescaled.
Source open_source(const Input& in, const char* what, bool verbose);

/// A sample of `s` at its stored bits: rounded when the maxval is rescaled.
inline unsigned significant(const Source& s, sampleval v) {
    if (!s.rescaled)
        return v;
    const uint64_t top = (1u << s.bits) - 1;
    return unsigned((v * top + s.maxval / 2) / s.maxval);
}

/// `v` of `from` bits widened to `to` bits by repeating its bits, so that a
/// right shift by to - from gives `v` back.
unsigned replicate(unsigned v, int from, int to);

/// The 8-bit form of every sample value of the image and of the mask (up to
/// maxval 255): census keys, and the colours of a palette.
struct KeyTables {
    uint8_t image[256]{};
    uint8_t mask[256]{};
};

/// The key tables of `image` and `mask` (null: none); built once, before
/// the census, and handed down.
KeyTables key_tables(const Source& image, const Source* mask);

/// What the first pass over the image (and mask) found.
struct Census {
    colorhash colors = nullptr;  ///< distinct 8-bit colour/alpha keys, or null
    int ncolors = 0;             ///< their number; 257 when there are more
    bool opaque = true;          ///< every mask sample is the mask's maxval
    bool whole = false;          ///< every row of both was read
};

/// The key of a pixel in the census: the colour at 8 bits, with the alpha
/// (8 bits) folded into the blue field's high bits.
inline rgbpixel census_key(unsigned r, unsigned g, unsigned b, unsigned a) {
    return rgbpixel{r, g, b | (a << 8)};
}

/// A direct-mapped memo of census keys in front of a colour hash: most
/// pixels of a palette image find their colour here without a hash walk.
struct KeyMemo {
    static constexpr unsigned kSize = 4096;
    uint32_t key[kSize];
    int value[kSize];  ///< -1: empty
};

/// Empties the memo.
void clear_memo(KeyMemo& memo);

/// The value of `k` in `table` (or -1), through the memo.
inline int lookup_key(KeyMemo& memo, colorhash table, const rgbpixel& k) {
    const uint32_t packed = k.r | k.g << 8 | k.b << 16;
    const unsigned slot = (packed * 2654435761u) >> 20;
    if (memo.value[slot] >= 0 && memo.key[slot] == packed)
        return memo.value[slot];
    const int v = ppm_lookupcolor(table, &k);
    if (v >= 0) {
        memo.key[slot] = packed;
        memo.value[slot] = v;
    }
    return v;
}

/// Reads the rows of the image and the mask (null: none) once, so that any
/// fault in them ends the process before output, and counts colours when a
/// palette could hold them; past 256 colours it stops where nothing is left
/// to check, the rows of a file being known to be there.
Census take_census(const Source& image, const Source* mask, const KeyTables& keys,
                   bool verbose);

// ---- Layout ------------------------------------------------------------------

/// Colour specifications of the command line at the image's stored scale.
struct Request {
    bool transparent = false;
    rgbpixel transparent_color{};
    bool background = false;
    rgbpixel background_color{};
};

/// How the image is stored in the PNG.
struct Layout {
    int color_type = 0;        ///< one of tarvex::png::kGray ... kRgbAlpha
    int depth = 8;             ///< PNG bit depth
    int channels = 1;          ///< samples per pixel
    int bits = 8;              ///< significant bits of colour samples
    int alpha_bits = 0;        ///< significant bits of alpha; 0 without
    int npalette = 0;
    uint8_t palette[256][3]{};
    int ntrns = 0;             ///< palette alphas, in front
    uint8_t trns[256]{};
    bool key = false;          ///< gray/RGB tRNS colour key
    uint16_t key_color[3]{};   ///< at `depth`
    bool bkgd = false;
    uint16_t bkgd_color[3]{};  ///< at `depth`, or the palette index first
    colorhash index = nullptr; ///< palette: census key to entry
    bool filtered = true;      ///< rows may be filtered (else all of filter type 0)
};

/// The layouts that corvane converts back exactly (or, when none can, the
/// closest): the direct one, and a palette where the colours fit.
struct Layouts {
    Layout layout[2];
    int count = 0;  ///< 1 or 2; the first has the fewer raw bytes
    bool trial = false;  ///< small enough to compress each way and compare
};

/// Images whose direct layout has at most these raw bytes are compressed in
/// each layout, filtered and not, the smallest kept: on small images the
/// palette's chunks and how well each way compresses outweigh raw bytes.
inline constexpr uint64_t kTrialBytes = uint64_t(1) << 18;

/// The layouts of the image; frees census.colors. Each palette's index is
/// the caller's to free with free_layout.
Layouts choose_layouts(const Source& image, const Source* mask, Census& census,
                       const Request& request);
void free_layout(Layout& layout);

// ---- Text chunks ---------------------------------------------------------------

/// One text chunk; the text points into the text file's buffer.
struct TextChunk {
    char keyword[80];
    const char* text;
    size_t textlen;
};

/// The text chunks of a text file, pointing into its buffer.
struct TextFile {
    TextChunk* chunks = nullptr;
    int count = 0;
    unsigned char* buffer = nullptr;
};

/// Reads a file in the layout that "corvane -text" writes: keyword padded to
/// 15 columns, continuation lines indented by 16 blanks. A line that cannot
/// be stored as a PNG text chunk is fatal, with its number.
TextFile read_text_file(FILE* file, const char* name);
void free_text_file(TextFile* texts);

// ---- PNG output ----------------------------------------------------------------

/// Writes the whole PNG on `out`, the chunks of `layout` and `texts` and the
/// options; the image is read a second time (once per Adam7 pass) from the
/// rasters of `image` and `mask`, through `keys`. Returns the bytes written
/// (with `out` null, only counted).
uint64_t write_png(FILE* out, const Options& opt, const Source& image, const Source* mask,
                   const Layout& layout, const KeyTables& keys, const TextFile& texts);

}  // namespace belvane
