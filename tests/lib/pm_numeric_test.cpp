// Numeric helpers: bit counts of maxvals at every boundary, maxvals of bit
// counts up to 32, and least common multiples capped by their limit.
#include "lib_support.h"

using namespace tarvex_test;

TEST(PmNumeric, MaxvalsAndBitCountsAtTheirBoundaries) {
    const struct { int maxval, bits; } toBits[] = {
        {-7, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {255, 8}, {256, 9}, {65535, 16}};
    for (const auto& c : toBits)
        EXPECT_EQ(pm_maxvaltobits(c.maxval), c.bits) << c.maxval;
    const struct { int bits; unsigned int maxval; } toMaxval[] = {
        {0, 0}, {1, 1}, {8, 255}, {16, 65535}, {31, 2147483647u}, {32, 4294967295u}};
    for (const auto& c : toMaxval)
        EXPECT_EQ(pm_bitstomaxval(c.bits), c.maxval) << c.bits;
}

TEST(PmNumeric, LcmIsCappedByTheLimit) {
    const struct { unsigned int x, y, z, limit, want; } cases[] = {
        {2, 3, 4, 100, 12}, {7, 11, 13, 500, 500}, {4, 4, 4, 4, 4}, {4, 4, 4, 1000, 4},
        {1, 1, 1, 0, 0}, {6, 4, 1, 3, 3}, {3, 5, 65535, 65535, 65535},
        // Near the top of the range the next multiple would wrap around.
        {4294967295u, 4294967294u, 1, 4294967295u, 4294967295u},
        {65536, 65537, 65535, 4294967295u, 4294967295u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm_lcm(c.x, c.y, c.z, c.limit), c.want)
            << c.x << " " << c.y << " " << c.z << " " << c.limit;
}

TEST(PmNumericDeathTest, OutOfRangeArgumentsAreFatal) {
    ExpectFatal([] { pm_maxvaltobits(65536); }, "prog: maxval of 65536 is too large!\n");
    ExpectFatal([] { pm_lcm(3, 0, 2, 100); },
                "prog: pm_lcm(): Least common multiple of zero taken.\n");
}
