// The decoded image as one block of memory, rows one after another, mapped
// in transparent huge pages where the kernel has them.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>

namespace corvane {

/// Row pointers into one mapped block. Plain data, so that a block can be
/// reached, and released, from the path a libpng error jumps to.
struct ImageBlock {
    png_bytep* rows = nullptr; ///< one pointer per row, into `block`
    png_byte* block = nullptr; ///< the rows, one after another
    size_t mapped = 0;         ///< bytes mapped at `block`
};

/// Gives *img `height` rows of `rowbytes` bytes each; false, with nothing
/// held, when `rowbytes` is 0, the size overflows or memory is short.
bool alloc_image_block(ImageBlock* img, uint32_t height, size_t rowbytes);

/// Releases what *img holds and empties it; an empty block is left alone.
void free_image_block(ImageBlock* img);

}  // namespace corvane
