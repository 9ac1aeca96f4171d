// Numeric helpers: bit counts of maxvals at every boundary, maxvals of bit
// counts up to 32, and least common multiples capped by their limit.
#include <gtest/gtest.h>

#include "pnm.h"
#include "support/child.h"

using tarvex_test::RunChild;

TEST(PmNumeric, MaxvalToBitsAtEachBoundary) {
    const struct { int maxval, bits; } cases[] = {
        {-7, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {255, 8}, {256, 9},
        {32767, 15}, {32768, 16}, {65535, 16}};
    for (const auto& c : cases)
        EXPECT_EQ(pm_maxvaltobits(c.maxval), c.bits) << c.maxval;
}

TEST(PmNumeric, BitsToMaxvalUpTo32Bits) {
    const struct { int bits; unsigned int maxval; } cases[] = {
        {0, 0}, {1, 1}, {8, 255}, {16, 65535}, {31, 2147483647u},
        {32, 4294967295u}};
    for (const auto& c : cases)
        EXPECT_EQ(pm_bitstomaxval(c.bits), c.maxval) << c.bits;
}

TEST(PmNumeric, LcmIsCappedByTheLimit) {
    const struct { unsigned int x, y, z, limit, want; } cases[] = {
        {2, 3, 4, 100, 12},
        {7, 11, 13, 500, 500},
        {4, 4, 4, 4, 4},
        {4, 4, 4, 1000, 4},
        {1, 1, 1, 0, 0},
        {6, 4, 1, 3, 3},
        {3, 5, 65535, 65535, 65535},
        // Near the top of the range the next multiple would wrap around.
        {4294967295u, 4294967294u, 1, 4294967295u, 4294967295u},
        {65536, 65537, 65535, 4294967295u, 4294967295u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm_lcm(c.x, c.y, c.z, c.limit), c.want)
            << c.x << " " << c.y << " " << c.z << " " << c.limit;
}

TEST(PmNumericDeathTest, OutOfRangeArgumentsAreFatal) {
    auto big = RunChild([] {
        pm_init("prog");
        pm_maxvaltobits(65536);
    });
    EXPECT_EQ(big.status, 1);
    EXPECT_EQ(big.err, "prog: maxval of 65536 is too large!\n");
    auto zero = RunChild([] {
        pm_init("prog");
        pm_lcm(3, 0, 2, 100);
    });
    EXPECT_EQ(zero.status, 1);
    EXPECT_EQ(zero.err, "prog: pm_lcm(): Least common multiple of zero taken.\n");
}
