// The image block: one anonymous mapping on a 2 MiB boundary, advised into
// huge pages, and the row pointers into it.
#include "image_block.h"

#include <sys/mman.h>

#include <cstdlib>

#include "pm_internal.h"

namespace corvane {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

// Maps `bytes` on a 2 MiB boundary and asks for transparent huge pages: most
// of the cost of holding an image is faulting in fresh small pages. Only the
// huge pages the image fills are advised; its tail stays in small pages, so
// that no more than the image itself is ever made resident.
png_byte* mapBlock(size_t bytes, size_t* mappedP) {
    size_t len = 0;
    if (__builtin_add_overflow(bytes, 2 * kHugePage - 1, &len))
        return nullptr;
    len &= ~(kHugePage - 1);
    void* p = ::mmap(nullptr, len, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    const size_t head = aligned - start;
    const size_t keep = len - kHugePage;
    if (head != 0)
        ::munmap(p, head);
    if (kHugePage - head != 0)
        ::munmap(reinterpret_cast<void*>(aligned + keep), kHugePage - head);
    if (const size_t whole = bytes & ~(kHugePage - 1); whole != 0)
        ::madvise(reinterpret_cast<void*>(aligned), whole, MADV_HUGEPAGE);
    *mappedP = keep;
    return reinterpret_cast<png_byte*>(aligned);
}

}  // namespace

bool alloc_image_block(ImageBlock* img, uint32_t height, size_t rowbytes) {
    size_t bytes = 0;
    if (rowbytes == 0 || __builtin_mul_overflow(size_t(height), rowbytes, &bytes))
        return false;
    mallocProduct(&img->rows, height, unsigned(sizeof(png_bytep)));
    if (img->rows == nullptr)
        return false;
    img->block = mapBlock(bytes, &img->mapped);
    if (img->block == nullptr) {
        std::free(img->rows);
        img->rows = nullptr;
        return false;
    }
    for (uint32_t y = 0; y < height; ++y)
        img->rows[y] = img->block + size_t(y) * rowbytes;
    return true;
}

void free_image_block(ImageBlock* img) {
    if (img->block != nullptr)
        ::munmap(img->block, img->mapped);
    std::free(img->rows);
    *img = ImageBlock{};
}

}  // namespace corvane
