// Damaged PNGs: every truncation of a set of files and every bit flip of a
// small one either fail cleanly (status 1, nothing written, a last line the
// converter prints) or write a complete image; none crashes.
#include <gtest/gtest.h>

#include "corvane.h"
#include "support/support.h"

namespace {

using namespace tarvex_test;
using namespace std::string_literals;

ChildResult Everything(const std::string& png) {  // every option that reads more of the file
    return RunMain(corvane::corvane_main,
                   {"corvane", "-mix", "-verbose", "-time", "-text", "/dev/null"}, png);
}

::testing::AssertionResult FailedCleanly(const ChildResult& r) {
    const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
    for (const char* end : {"input file is empty or too short", "input file is not a PNG file",
                            "setjmp returns error condition"})
        if (r.status == 1 && r.out.empty() && last == "corvane: "s + end + "\n")
            return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status " << r.status << ", " << r.out.size()
                                         << " bytes out, stderr:\n" << r.err;
}

// 3 x 2 RGBA, Adam7 (passes 1, 4, 6 and 7 hold pixels), with the chunks the
// converter reads, text before and the time after the image data.
const std::string kSmall = Png(3, 2, 8, 6,
    "\0\x10\x20\x30\xff" "\0\x40\x50\x60\x80" "\0\x70\x80\x90\0" "\0\1\2\3\4\5\6\7\x08\x09\x0a\x0b\x0c"s,
    Chunk("gAMA", Be32(45455)) + Chunk("bKGD", "\0\1\0\2\0\3"s) +
        Chunk("pHYs", Be32(2) + Be32(3) + '\1') + Chunk("tEXt", "Note\0text"s) +
        Chunk("zTXt", "Z\0\0"s + Deflated("z")),
    Chunk("tIME", "\x07\xe8\1\2\3\4\5"), 1);

TEST(DamagedPng, EveryTruncationFailsCleanly) {
    std::vector<std::string> files = {kSmall};
    for (const char* name : {"basn0g01", "basi0g04", "basn0g16", "bgai4a08", "basi3p02",
                             "basi2c08", "cm0n0g04", "ctzn0g04"})
        files.push_back(ReadFile(TARVEX_PNGSUITE_DIR "/"s + name + ".png"));
    for (const std::string& png : files) {
        ASSERT_EQ(Everything(png).status, 0);
        for (size_t size = 0; size < png.size(); ++size)
            ASSERT_TRUE(FailedCleanly(Everything(png.substr(0, size))))
                << "first " << size << " of " << png.size() << " bytes";
    }
}

TEST(DamagedPng, EveryBitFlipFailsCleanlyOrWritesTheWholeImage) {
    int written = 0;
    for (size_t bit = 0; bit < kSmall.size() * 8; ++bit) {
        std::string flipped = kSmall;
        flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << bit % 8));
        const ChildResult r = Everything(flipped);
        if (r.status != 0)
            ASSERT_TRUE(FailedCleanly(r)) << "bit " << bit;
        else if (++written; !r.out.starts_with("P6\n3 2\n255\n") || r.out.size() != 29)
            ADD_FAILURE() << "bit " << bit << ": " << Escape(r.out);
    }
    EXPECT_GT(written, 0);  // flips in the ancillary chunks only cost those chunks
}

// The handler names this program, and ends with 99 when there is no jump buffer.
TEST(DamagedPng, LibpngErrorWithoutAJumpBufferEndsWithStatus99) {
    const ChildResult r = RunChild([] {
        pm_init("corvane");
        corvane::corvane_error_handler(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                                              nullptr, nullptr), "broken");
    });
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.err, "corvane:  fatal libpng error: broken\n"
                     "corvane:  EXTREMELY fatal error: jmpbuf unrecoverable; terminating.\n");
}

}  // namespace
