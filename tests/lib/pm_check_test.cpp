// Raster size checks of every family against the rest of a file: exact,
// longer, shorter (fatal), untestable streams, and sizes beyond 32 bits.
#include "lib_support.h"

using namespace tarvex_test;

namespace {

using Checker = void (*)(FILE*, int, int, int, int, sampleval, int*);
void PbmCheck(FILE* f, int type, int format, int cols, int rows, sampleval, int* resultP) {
    pbm_check(f, type, format, cols, rows, resultP);
}

TEST(PmCheck, FamilyChecksAgainstARegularFileAPipeAndFilesBeyond32Bits) {
    const struct {
        Checker check;
        int type, format, cols, rows;
        sampleval maxval;
        int result;  // against the 12 bytes after the header
    } cases[] = {
        {PbmCheck, 0, P4, 9, 6, 0, PM_RASTER_EXACT},
        {PbmCheck, 0, P4, 8, 11, 0, PM_RASTER_EXCESS},
        {PbmCheck, 0, P1, 9, 6, 0, PM_RASTER_UNTESTABLE},
        {PbmCheck, 1, P4, 9, 6, 0, PM_CHECKTYPE_INVALID},
        {pgm_check, 0, P5, 3, 2, 256, PM_RASTER_EXACT},
        {pgm_check, 0, P5, 1, 1, 65535, PM_RASTER_EXCESS},
        {pgm_check, 0, P4, 16, 6, 255, PM_RASTER_EXACT},
        {pgm_check, 0, P6, 4, 1, 255, PM_RASTER_UNTESTABLE},
        {ppm_check, 0, P6, 2, 1, 65535, PM_RASTER_EXACT},
        {ppm_check, 0, P5, 6, 2, 255, PM_RASTER_EXACT},
        {ppm_check, 0, P4, 8, 12, 1, PM_RASTER_EXACT},
        {ppm_check, 0, P3, 2, 2, 255, PM_RASTER_UNTESTABLE},
        {pnm_check, 0, P6, 1, 3, 255, PM_RASTER_EXCESS},
        {pnm_check, 0, P4, 8, 5, 0, PM_RASTER_EXCESS},
    };
    FILE* f = DataFile("P5\n4 3\n255\nabcdefghijkl");
    std::fseek(f, 11, SEEK_SET);
    for (const auto& c : cases) {
        int result = -1;
        c.check(f, c.type, c.format, c.cols, c.rows, c.maxval, &result);
        EXPECT_EQ(result, c.result) << &c - cases;
    }
    EXPECT_EQ(std::getc(f), 'a');
    std::fclose(f);
    FILE* p = DataPipe("abcd");
    int untestable = -1;
    pm_check(p, PM_RASTERCHECK_SIZE, 100, &untestable);
    EXPECT_EQ(untestable, PM_RASTER_UNTESTABLE);
    EXPECT_EQ(std::getc(p), 'a');
    std::fclose(p);
    f = std::tmpfile();  // sparse: 4 GiB + 10 bytes that use no disk space
    ASSERT_EQ(ftruncate(fileno(f), 4294967306LL), 0);
    int exact = -1, excess = -1;
    pm_check(f, PM_RASTERCHECK_SIZE, 4294967306ULL, &exact);
    pm_check(f, PM_RASTERCHECK_SIZE, 10, &excess);
    EXPECT_EQ(exact, PM_RASTER_EXACT);
    EXPECT_EQ(excess, PM_RASTER_EXCESS);
    std::fclose(f);
}

TEST(PmCheckDeathTest, ShortFilesAndBadArguments) {
    auto tooShort = [](const char* raster, const char* left) {
        return "File has invalid format.  The raster should contain "s + raster +
               " bytes, but\nthe file ends after only " + left + " bytes.";
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { pm_check(stdin, 0, 5, nullptr); }, tooShort("5", "4")},
        {[] { pbm_check(stdin, 0, P4, 9, 3, nullptr); }, tooShort("6", "4")},
        // 2^33 bytes, which 32-bit arithmetic would wrap to 0, and beyond 64 bits.
        {[] { pgm_check(stdin, 0, P5, 65536, 65536, 65535, nullptr); },
         tooShort("8589934592", "4")},
        {[] { ppm_check(stdin, 0, P6, INT32_MAX, INT32_MAX, 65535, nullptr); },
         tooShort("27670116084794523654", "4")},
        {[] { pgm_check(stdin, 0, P5, -5, 6, 255, nullptr); },
         "Invalid number of columns passed to pgm_check(): -5"},
        {[] { pnm_check(stdin, 0, 0x5037, 1, 1, 255, nullptr); },
         "pnm_check() called with invalid format parameter"},
    };
    for (const auto& [check, message] : cases)
        ExpectFatal([&] { std::fseek(stdin, 11, SEEK_SET); check(); },
                    "prog: " + message + "\n", "P5\n2 2\n255\nabcd");
}

}  // namespace
