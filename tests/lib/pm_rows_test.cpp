// Rows and arrays: both array layouts, empty arrays, refused sizes (never a
// short block), and the overflow test of mallocProduct.
#include <gtest/gtest.h>

#include <cstring>

#include "pnm.h"
#include "pm_internal.h"
#include "support/child.h"

using tarvex_test::RunChild;

// Impossible sizes are asked for on purpose: the sanitizers' allocator must
// answer null, as malloc does, instead of stopping the test (it still warns
// on stderr, so the fatal paths below check how stderr ends).
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

void* RefuseBlock(size_t) { return nullptr; }

// Fills every byte of every row, so that the sanitizers catch a short row.
void FillAll(char** rows, unsigned int nrows, size_t rowBytes) {
    for (unsigned int r = 0; r < nrows; ++r)
        std::memset(rows[r], static_cast<int>(r), rowBytes);
}

}  // namespace

class PmRows : public ::testing::Test {
protected:
    void SetUp() override { pm_arrayblock_alloc = std::malloc; }
    void TearDown() override { pm_arrayblock_alloc = std::malloc; }
};

TEST_F(PmRows, OneBlockLayoutHasRowsBackToBack) {
    char** rows = static_cast<char**>(pm_allocarray(5, 4, 12));
    ASSERT_NE(rows[4], nullptr);
    EXPECT_EQ(rows[4], rows[0]);
    for (unsigned int r = 0; r + 1 < 4; ++r)
        EXPECT_EQ(rows[r + 1] - rows[r], 5 * 12);
    FillAll(rows, 4, 5 * 12);
    pm_freearray(rows, 4);
}

TEST_F(PmRows, RowByRowLayoutWhenTheBlockIsRefused) {
    pm_arrayblock_alloc = RefuseBlock;
    char** rows = static_cast<char**>(pm_allocarray(7, 3, 4));
    EXPECT_EQ(rows[3], nullptr);
    FillAll(rows, 3, 7 * 4);
    EXPECT_NE(rows[0], rows[1]);
    pm_freearray(rows, 3);
}

TEST_F(PmRows, EmptyArraysAndRowsAreFreeable) {
    void* (*const allocators[])(size_t) = {std::malloc, RefuseBlock};
    for (auto alloc : allocators) {
        pm_arrayblock_alloc = alloc;
        pm_freearray(pm_allocarray(10, 0, 4), 0);
        pm_freearray(pm_allocarray(0, 3, 4), 3);
    }
    void* row = pm_allocrow(0, 12);
    EXPECT_NE(row, nullptr);
    pm_freerow(row);
}

TEST_F(PmRows, MallocProductRefusesProductsBeyond32Bits) {
    unsigned char* p = reinterpret_cast<unsigned char*>(1);
    mallocProduct(&p, 65536, 65536);
    EXPECT_EQ(p, nullptr);
    mallocProduct(&p, 4294967295u / 7 + 1, 7);
    EXPECT_EQ(p, nullptr);
    mallocProduct(&p, 1000, 12);
    ASSERT_NE(p, nullptr);
    std::memset(p, 0, 12000);
    std::free(p);
}

class PmRowsDeathTest : public PmRows {};

TEST_F(PmRowsDeathTest, SizesThatCannotBeHadAreOutOfMemory) {
    const struct {
        unsigned int cols, rows, size;
        bool refuseBlock;
        const char* want;
    } cases[] = {
        {1, 4294967295u, 1, false,
         "prog: out of memory allocating row index (4294967295 rows) for an array\n"},
        {1, 536870912u, 1, false,
         "prog: out of memory allocating row index (536870912 rows) for an array\n"},
        // The block's byte count overflows: the rows come one by one and fail.
        {4294967295u, 2, 4294967295u, false, "prog: out of memory allocating a row\n"},
        {1u << 31, 1, 1u << 31, true, "prog: out of memory allocating a row\n"},
    };
    for (const auto& c : cases) {
        auto r = RunChild([&c] {
            pm_init("prog");
            if (c.refuseBlock)
                pm_arrayblock_alloc = RefuseBlock;
            pm_allocarray(c.cols, c.rows, c.size);
        });
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with(c.want)) << r.err;
    }
    auto row = RunChild([] {
        pm_init("prog");
        pm_allocrow(4294967295u, 4294967295u);
    });
    EXPECT_EQ(row.status, 1);
    EXPECT_TRUE(row.err.ends_with("prog: out of memory allocating a row\n")) << row.err;
}
