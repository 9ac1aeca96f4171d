// What the cases file cannot say: arrays when memory is refused (the
// sanitizers warn first) and the thousand-name colour table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "pm_internal.h"
#include "pnm.h"
#include "support/support.h"

using namespace tarvex_test;
using namespace std::string_literals;

// Impossible sizes are asked for on purpose: the sanitizers' allocator must
// answer null, as malloc does (it warns on stderr first), instead of stopping.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// What `body` writes to stderr in a child named "prog", and its exit status.
std::string Fatal(const std::function<void()>& body) {
    const ChildResult r = RunChild([&] { pm_init("prog"), pm_setMessage(1, nullptr), body(); });
    return r.err + "[exit " + std::to_string(r.status) + "]";
}

void* RefuseBlock(size_t) { return nullptr; }

// One block with the rows back to back and the block after the last row, or
// row by row when the block is refused; sizes that overflow are out of memory.
TEST(PmAllocarray, OneBlockOrRowByRowAndOverflowsAreOutOfMemory) {
    using Alloc = void* (*)(size_t);
    for (Alloc alloc : {Alloc(std::malloc), Alloc(RefuseBlock)}) {
        pm_arrayblock_alloc = alloc;
        char** rows = static_cast<char**>(pm_allocarray(5, 4, 12));
        EXPECT_EQ(rows[4], alloc == RefuseBlock ? nullptr : rows[0]);
        for (int r = 0; r < 4; ++r) {
            EXPECT_TRUE(alloc == RefuseBlock || rows[r] - rows[0] == r * 60);
            std::memset(rows[r], r, 60);  // sanitizers catch a short row
        }
        pm_freearray(rows, 4), pm_freearray(pm_allocarray(10, 0, 4), 0);
    }
    pm_arrayblock_alloc = std::malloc;
    const std::string noRow = "prog: out of memory allocating a row\n[exit 1]";
    EXPECT_TRUE(Fatal([] { pm_allocarray(1, 4294967295u, 1); }).ends_with(
        "prog: out of memory allocating row index (4294967295 rows) for an array\n[exit 1]"));
    EXPECT_TRUE(Fatal([] { pm_allocarray(4294967295u, 2, 4294967295u); }).ends_with(noRow));
    EXPECT_TRUE(Fatal([] { pm_allocrow(4294967295u, 4294967295u); }).ends_with(noRow));
}

// A thousand colours under their first names; one more, even a repeat, is fatal.
TEST(PpmColornames, HoldsAThousandColoursUnderTheirFirstNames) {
    std::string text = "0 0 7 c0\n0 0 7 alias\n";
    for (int i = 1; i < 1000; ++i)
        text += std::to_string(i % 256) + " " + std::to_string(i / 256) + " 7 c" + std::to_string(i) + "\n";
    colorhash cht;
    const char** names;
    ppm_readcolornamefile(TempFile(text).c_str(), 1, &cht, &names);
    const rgbpixel first{0, 0, 7}, last{999 % 256, 3, 7};
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &first)], "c0");
    EXPECT_STREQ(names[ppm_lookupcolor(cht, &last)], "c999");
    ppm_freecolornames(names), ppm_freecolorhash(cht);
    const std::string path = TempFile(text + "0 0 7 again\n");
    EXPECT_EQ(Fatal([&] { ppm_readcolornamefile(path.c_str(), 1, &cht, &names); }),
              "prog: Too many colors in colorname dictionary.  Max allowed is 1000\n[exit 1]");
}

}  // namespace
