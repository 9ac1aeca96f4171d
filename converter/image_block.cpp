// SPDX-License-Identifier: MIT
// The image block: one anonymous mapping on a 2 MiB boundary, advised into
// huge pages when small, pre-faulted ahead of the decoder when large, and the
// row pointers into it.
#include "image_block.h"

#include <pthread.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>

#include "pm_internal.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace corvane {

// The thread that faults the block's pages in while the decoder fills the
// rows before them: the kernel's page clearing then runs on the other core,
// beside inflate, instead of in the decoder's own faults.
struct BlockFiller {
    png_byte* block = nullptr;
    size_t bytes = 0;
    PopulateFn populate = nullptr;
    std::atomic<size_t> reached{0};
    std::atomic<size_t> filled{0};
    std::atomic<bool> stop{false};
    pthread_t thread{};
};

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// How far the filler may run ahead of the decoder, and its steps.
constexpr size_t kWindow = size_t(64) << 20;
constexpr size_t kStep = size_t(4) << 20;
// madvise takes page-aligned addresses only; the decoder's position is any
// byte, so the filler's limit is rounded down to a multiple of every page size.
constexpr size_t kAlign = size_t(64) << 10;

void* fill(void* arg) {
    auto* f = static_cast<BlockFiller*>(arg);
    size_t done = 0;
    while (done < f->bytes && !f->stop.load(std::memory_order_acquire)) {
        const size_t limit =
            (f->reached.load(std::memory_order_acquire) + kWindow) & ~(kAlign - 1);
        if (done >= limit) {
            const timespec pause{0, 1000000};
            ::nanosleep(&pause, nullptr);
            continue;
        }
        const size_t n = std::min({kStep, f->bytes - done, limit - done});
        // Refused (a kernel before 5.14) or short of memory: the decoder
        // faults in the rest itself, as it would without a filler.
        if (f->populate(f->block + done, n) != 0)
            break;
        done += n;
        f->filled.store(done, std::memory_order_release);
    }
    return nullptr;
}

BlockFiller* startFiller(png_byte* block, size_t bytes, PopulateFn populate) {
    auto* f = new (std::nothrow) BlockFiller;
    if (f == nullptr)
        return nullptr;
    f->block = block;
    f->bytes = bytes;
    f->populate = populate;
    if (::pthread_create(&f->thread, nullptr, fill, f) != 0) {
        delete f;
        return nullptr;
    }
    return f;
}

// Maps `bytes` on a 2 MiB boundary. A small block asks for transparent huge
// pages: most of the cost of holding an image is faulting in fresh small
// pages. Only the huge pages the image fills are advised; its tail stays in
// small pages, so that no more than the image itself is ever made resident.
// A large block stays in small pages, which the filler faults in faster than
// the kernel finds and clears huge ones.
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
    if (bytes >= kFillFrom)
        ::madvise(reinterpret_cast<void*>(aligned), keep, MADV_NOHUGEPAGE);
    else if (const size_t whole = bytes & ~(kHugePage - 1); whole != 0)
        ::madvise(reinterpret_cast<void*>(aligned), whole, MADV_HUGEPAGE);
    *mappedP = keep;
    return reinterpret_cast<png_byte*>(aligned);
}

}  // namespace

int populate_write(void* addr, size_t len) {
    return ::madvise(addr, len, MADV_POPULATE_WRITE);
}

bool alloc_image_block(ImageBlock* img, uint32_t height, size_t rowbytes,
                       PopulateFn populate) {
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
    if (bytes >= kFillFrom)
        img->filler = startFiller(img->block, bytes, populate);
    return true;
}

void image_block_reached(ImageBlock* img, size_t bytes) {
    if (img->filler != nullptr)
        img->filler->reached.store(bytes, std::memory_order_release);
}

size_t image_block_filled(const ImageBlock* img) {
    return img->filler == nullptr ? 0
                                  : img->filler->filled.load(std::memory_order_acquire);
}

void free_image_block(ImageBlock* img) {
    if (img->filler != nullptr) {
        img->filler->stop.store(true, std::memory_order_release);
        ::pthread_join(img->filler->thread, nullptr);
        delete img->filler;
    }
    if (img->block != nullptr)
        ::munmap(img->block, img->mapped);
    std::free(img->rows);
    *img = ImageBlock{};
}

}  // namespace corvane
