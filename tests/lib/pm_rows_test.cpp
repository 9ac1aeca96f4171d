// Rows and arrays: both array layouts, empty arrays, and sizes whose byte
// count overflows refused as out of memory (never a short block).
#include <cstring>

#include "pm_internal.h"
#include "lib_support.h"

using namespace tarvex_test;

// Impossible sizes are asked for on purpose: the sanitizers' allocator must
// answer null, as malloc does, instead of stopping the test (it still warns
// on stderr, so the fatal paths below check how stderr ends).
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

static void* RefuseBlock(size_t) { return nullptr; }

// The one-block layout has its rows back to back and the block after the
// last row; the row-by-row fallback (block refused) has a null there.
TEST(PmRows, OneBlockLayoutOrRowByRowWhenTheBlockIsRefused) {
    void* (*const allocators[])(size_t) = {std::malloc, RefuseBlock};
    for (auto alloc : allocators) {
        pm_arrayblock_alloc = alloc;
        char** rows = static_cast<char**>(pm_allocarray(5, 4, 12));
        EXPECT_EQ(rows[4], alloc == RefuseBlock ? nullptr : rows[0]);
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(alloc == RefuseBlock || rows[r] - rows[0] == r * 5 * 12) << r;
            std::memset(rows[r], r, 5 * 12);  // sanitizers catch a short row
        }
        pm_freearray(rows, 4);
        pm_freearray(pm_allocarray(10, 0, 4), 0);
        pm_freearray(pm_allocarray(0, 3, 4), 3);
    }
    pm_arrayblock_alloc = std::malloc;
    pm_freerow(pm_allocrow(0, 12));  // a zero size is no failure
}

TEST(PmRowsDeathTest, SizesThatCannotBeHadAreOutOfMemory) {
    const char* const noRow = "prog: out of memory allocating a row\n";
    const struct { std::function<void()> alloc; const char* want; } cases[] = {
        {[] { pm_allocarray(1, 4294967295u, 1); },
         "prog: out of memory allocating row index (4294967295 rows) for an array\n"},
        {[] { pm_allocarray(1, 536870912u, 1); },
         "prog: out of memory allocating row index (536870912 rows) for an array\n"},
        // The block's byte count overflows: the rows come one by one and fail.
        {[] { pm_allocarray(4294967295u, 2, 4294967295u); }, noRow},
        {[] { pm_arrayblock_alloc = RefuseBlock; pm_allocarray(1u << 31, 1, 1u << 31); }, noRow},
        {[] { pm_allocrow(4294967295u, 4294967295u); }, noRow},
    };
    for (const auto& c : cases) {
        auto r = RunChild([&c] { pm_init("prog"); c.alloc(); });
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.ends_with(c.want)) << r.err;
    }
}
