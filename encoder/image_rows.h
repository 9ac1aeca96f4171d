// SPDX-License-Identifier: MIT
// The image data's rows, one at a time: rebuilt from the rasters at the
// layout's depth, pass by pass when interlaced, unfiltered.
#pragma once

#include <vector>

#include "belvane.h"

namespace belvane {

/// How the rows of a pass are made.
enum class RowPath {
    pixels,    ///< read as pixels, gathered through the tables and packed
    bits,      ///< a PBM row as it is, but for the sense of its bits
    raw,       ///< a raw row through the tables, interleaved with the mask's
    verbatim,  ///< a raw row whose bytes are already the layout's
};

/// The reader of the rows: where it is, and what it reads them with.
struct ImageRows {
    const Source* image = nullptr;
    const Source* mask = nullptr;  ///< null when the layout stores no alpha
    const Layout* layout = nullptr;
    const KeyTables* keys = nullptr;
    std::vector<uint16_t> value, alpha;  ///< the stored value of each sample value
    rgbpixel* pixels = nullptr;
    rgbpixel* alphas = nullptr;
    uint16_t* samples = nullptr;
    uint8_t* bytes = nullptr;  ///< a raw row of the image, then one of the mask
    KeyMemo memo;              ///< palette entries of census keys
    bool interlace = false;
    int pass = -1;  ///< the current pass
    int left = 0;   ///< its rows not yet read
    int y = 0;      ///< raster rows read in it
    RowPath path = RowPath::pixels;
    size_t rowbytes = 0;
};

/// Starts reading the rows of `image` (and `mask`) as `layout` stores them;
/// every argument outlives the reader.
void start_rows(ImageRows& r, const Source& image, const Source* mask, const Layout& layout,
                const KeyTables& keys, bool interlace);
/// The bytes of the next row, 0 after the last; `*fresh` when it opens a
/// pass (whose rows have none above them).
size_t next_row_bytes(ImageRows& r, bool* fresh);
/// Reads the next row into `out`, as many bytes as next_row_bytes said.
void read_row(ImageRows& r, uint8_t* out);
void free_rows(ImageRows& r);

}  // namespace belvane
