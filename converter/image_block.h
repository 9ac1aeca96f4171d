// SPDX-License-Identifier: MIT
// The decoded image as one block of memory, rows one after another: in
// transparent huge pages up to a size, pre-faulted by a second thread past it.
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>

namespace corvane {

struct BlockFiller;

/// Row pointers into one mapped block. Plain data, so that a block can be
/// reached, and released, from the path a libpng error jumps to.
struct ImageBlock {
    png_bytep* rows = nullptr;      ///< one pointer per row, into `block`
    png_byte* block = nullptr;      ///< the rows, one after another
    size_t mapped = 0;              ///< bytes mapped at `block`
    BlockFiller* filler = nullptr;  ///< the pre-faulting thread, if any
};

/// Pre-faults [addr, addr + len) for writing; madvise's contract (0, or -1
/// and errno). Refusal only means the pages are faulted in as rows reach them.
using PopulateFn = int (*)(void* addr, size_t len);

/// The kernel's MADV_POPULATE_WRITE (Linux 5.14); EINVAL on older kernels.
int populate_write(void* addr, size_t len);

/// Blocks of at least this many bytes are pre-faulted in small pages by a
/// second thread; smaller ones are mapped in huge pages and faulted on use.
constexpr size_t kFillFrom = size_t(64) << 20;

/// Gives *img `height` rows of `rowbytes` bytes each; false, with nothing
/// held, when `rowbytes` is 0, the size overflows or memory is short.
bool alloc_image_block(ImageBlock* img, uint32_t height, size_t rowbytes,
                       PopulateFn populate = populate_write);

/// Tells the filler that the decoder has reached `bytes` into the block; it
/// keeps a bounded distance ahead, so that a file that ends early never
/// costs the whole declared image.
void image_block_reached(ImageBlock* img, size_t bytes);

/// Bytes the filler has pre-faulted so far (0 without one).
size_t image_block_filled(const ImageBlock* img);

/// Releases what *img holds, stopping its filler first, and empties it; an
/// empty block is left alone.
void free_image_block(ImageBlock* img);

}  // namespace corvane
