// The raster size check against the rest of a file: exact, longer, shorter
// (fatal), untestable streams, and files and rasters beyond 32 bits.
#include "read_support.h"

using namespace tarvex_test;

namespace {

int Check(FILE* f, uint64_t rasterSize) {
    int result = -1;
    pm_check(f, PM_RASTERCHECK_SIZE, rasterSize, &result);
    return result;
}

TEST(PmCheck, ComparesTheRestOfARegularFileAndKeepsItsPosition) {
    FILE* f = DataFile("P5\n2 2\n255\nabcd");
    std::fseek(f, 11, SEEK_SET);
    EXPECT_EQ(Check(f, 4), PM_RASTER_EXACT);
    EXPECT_EQ(Check(f, 3), PM_RASTER_EXCESS);
    EXPECT_EQ(Check(f, 0), PM_RASTER_EXCESS);
    EXPECT_EQ(std::getc(f), 'a');
    pm_check(f, PM_RASTERCHECK_SIZE, 3, nullptr);
    std::fclose(f);
}

TEST(PmCheck, PipeIsUntestable) {
    FILE* p = DataPipe("abcd");
    EXPECT_EQ(Check(p, 4), PM_RASTER_UNTESTABLE);
    EXPECT_EQ(Check(p, 100), PM_RASTER_UNTESTABLE);
    EXPECT_EQ(std::getc(p), 'a');
    std::fclose(p);
}

TEST(PmCheck, FilesBeyond32BitsAreMeasuredWhole) {
    FILE* f = std::tmpfile();
    // Sparse: 4 GiB + 10 bytes that use no disk space.
    ASSERT_EQ(ftruncate(fileno(f), 4294967306LL), 0);
    EXPECT_EQ(Check(f, 4294967306ULL), PM_RASTER_EXACT);
    EXPECT_EQ(Check(f, 10), PM_RASTER_EXCESS);
    ASSERT_EQ(fseeko(f, 4294967296LL, SEEK_SET), 0);
    EXPECT_EQ(Check(f, 10), PM_RASTER_EXACT);
    std::fclose(f);
}

TEST(PmCheckDeathTest, ShortFileIsFatalWithBothSizes) {
    auto shortByOne = InChild([] {
        std::fseek(stdin, 11, SEEK_SET);
        pm_check(stdin, PM_RASTERCHECK_SIZE, 5, nullptr);
    }, "P5\n2 2\n255\nabcd");
    ExpectFatal(shortByOne, "File has invalid format.  The raster should "
                            "contain 5 bytes, but\nthe file ends after only "
                            "4 bytes.");

    auto pastTheEnd = InChild([] {
        std::fseek(stdin, 20, SEEK_SET);
        pm_check(stdin, PM_RASTERCHECK_SIZE, 1, nullptr);
    }, "abcd");
    ExpectFatal(pastTheEnd, "File has invalid format.  The raster should "
                            "contain 1 bytes, but\nthe file ends after only "
                            "0 bytes.");

    auto huge = InChild([] {
        FILE* f = std::tmpfile();
        if (ftruncate(fileno(f), 4294967306LL) != 0)
            std::exit(3);
        pm_check(f, PM_RASTERCHECK_SIZE, 4294967307ULL, nullptr);
    });
    ExpectFatal(huge, "File has invalid format.  The raster should contain "
                      "4294967307 bytes, but\nthe file ends after only "
                      "4294967306 bytes.");
}

}  // namespace
