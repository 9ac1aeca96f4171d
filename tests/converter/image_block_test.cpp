// SPDX-License-Identifier: MIT
// The image block past the size where a second thread pre-faults it: the
// rows stay usable whether the kernel pre-faults or refuses, the filler
// keeps within its distance of the decoder, and releasing it stops it.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "image_block.h"

namespace {

using corvane::ImageBlock;

constexpr size_t kWindow = size_t(64) << 20;  // the filler's lead, as in image_block.cpp
constexpr size_t kRow = size_t(1) << 20;
constexpr uint32_t kHeight = uint32_t(corvane::kFillFrom / kRow) + 3;

std::atomic<size_t> calls{0};

// Stand-ins for the kernel's call; none touches the pages, so the test costs
// no more memory than the rows it writes. Like the kernel, they refuse an
// address off a page boundary.
int Refuses(void*, size_t) { ++calls; errno = EINVAL; return -1; }
int Accepts(void* addr, size_t n) { return reinterpret_cast<uintptr_t>(addr) % 4096 ? Refuses(addr, n) : (++calls, 0); }
int RefusesAfterOne(void* addr, size_t n) { return calls == 0 ? (++calls, 0) : Refuses(addr, n); }

// Waits up to five seconds for the filler to have pre-faulted `bytes`.
bool FillsTo(const ImageBlock& img, size_t bytes) {
    for (int i = 0; i < 5000 && corvane::image_block_filled(&img) < bytes; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return corvane::image_block_filled(&img) == bytes;
}

TEST(ImageBlock, RowsWorkWhetherPrefaultingIsDoneOrRefused) {
    // `lead`: what the filler reaches before the decoder moves.
    const struct { const char* name; corvane::PopulateFn populate; size_t lead; } cases[] = {
        {"accepted", Accepts, kWindow},
        {"refused", Refuses, 0}, {"refused after one step", RefusesAfterOne, size_t(4) << 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        calls = 0;
        ImageBlock img;
        ASSERT_TRUE(corvane::alloc_image_block(&img, kHeight, kRow, c.populate));
        ASSERT_NE(img.filler, nullptr);
        EXPECT_TRUE(FillsTo(img, c.lead));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(corvane::image_block_filled(&img), c.lead);  // no further
        for (uint32_t y : {0u, kHeight / 2, kHeight - 1}) {
            EXPECT_TRUE(img.rows[y][0] == 0 && img.rows[y][kRow - 1] == 0) << "row " << y;
            img.rows[y][0] = img.rows[y][kRow - 1] = 0x5a;
            EXPECT_EQ(img.rows[y][kRow - 1], 0x5a);
        }
        // The decoder's position is any byte, not a page boundary.
        corvane::image_block_reached(&img, kRow + 12345);
        EXPECT_TRUE(c.lead != kWindow || FillsTo(img, (kRow + kWindow) & ~size_t(0xffff)));
        corvane::image_block_reached(&img, kHeight * kRow);
        EXPECT_TRUE(c.lead != kWindow || FillsTo(img, kHeight * kRow));
        corvane::free_image_block(&img);
        EXPECT_TRUE(img.block == nullptr && img.filler == nullptr);
        corvane::free_image_block(&img);
    }
}

// A small block has no filler and asks the kernel nothing; releasing a large
// one stops a filler that is still waiting.
TEST(ImageBlock, SmallBlocksHaveNoFillerAndReleasingStopsAWaitingOne) {
    ImageBlock img;
    calls = 0;
    ASSERT_TRUE(corvane::alloc_image_block(&img, 100, 1000, Accepts));
    EXPECT_EQ(img.filler, nullptr);
    EXPECT_EQ(calls, 0u);
    corvane::free_image_block(&img);
    ASSERT_TRUE(corvane::alloc_image_block(&img, kHeight, kRow, Accepts));
    ASSERT_TRUE(FillsTo(img, kWindow));
    corvane::free_image_block(&img);  // returns: the filler saw the stop
    EXPECT_EQ(img.rows, nullptr);
}

}  // namespace
